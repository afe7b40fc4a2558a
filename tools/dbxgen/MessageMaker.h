#pragma once
// Composes realistic Internet messages as Outlook Express stored them:
// header lines of an incoming mail, then a plain, HTML, multipart/alternative,
// multipart/related (cid: images) or multipart/mixed (attachments) body.

#include "tools/dbxgen/MailMessage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dbxgen {

struct Person {
    std::string name;    // display name as it goes into the header (plain or encoded words)
    std::string address;
};

enum class Transfer { SevenBit, EightBit, QuotedPrintable, Base64 };

struct Attachment {
    std::string fileName;
    std::string contentType; // "application/pdf", "image/png", ...
    std::string data;        // the file's bytes (sent as Base64)
    std::string contentId;   // set for an inline image that the HTML refers to as cid:
};

class MessageMaker {
public:
    MessageMaker& From(Person person);
    MessageMaker& To(Person person);   // each call adds a recipient
    MessageMaker& Cc(Person person);
    // The Subject value as it stands in the header: plain ASCII, encoded
    // words or raw 8-bit bytes.
    MessageMaker& Subject(std::string headerValue);
    MessageMaker& Date(std::int64_t unixSeconds, int zoneMinutes);
    MessageMaker& MessageId(std::string idWithoutBrackets);
    MessageMaker& InReplyTo(std::string idWithoutBrackets);
    // Host that delivered the mail: adds Return-Path and Received lines.
    MessageMaker& ReceivedBy(std::string host);
    MessageMaker& Mailer(std::string xMailer);
    MessageMaker& Priority(int priority); // 1 high, 3 normal, 5 low

    // Body text in the given charset's bytes, lines ended by LF or CR LF.
    MessageMaker& Plain(std::string bytes, std::string charset = "us-ascii",
                        Transfer transfer = Transfer::SevenBit);
    MessageMaker& Html(std::string bytes, std::string charset = "us-ascii",
                       Transfer transfer = Transfer::QuotedPrintable);
    MessageMaker& Inline(Attachment image);   // needs an HTML body
    MessageMaker& Attach(Attachment file);

    // The finished message. Needs From, at least one To and a Date; throws
    // std::logic_error otherwise.
    MailMessage Make() const;

private:
    struct TextBody {
        std::string bytes;
        std::string charset;
        Transfer transfer = Transfer::SevenBit;
        bool present = false;
    };

    Person from_;
    std::vector<Person> to_;
    std::vector<Person> cc_;
    std::string subject_;
    std::int64_t date_ = 0;
    int zone_ = 0;
    bool hasDate_ = false;
    std::string messageId_;
    std::string inReplyTo_;
    std::string receivedBy_;
    std::string mailer_ = "Microsoft Outlook Express 6.00.2800.1158";
    int priority_ = 3;
    TextBody plain_;
    TextBody html_;
    std::vector<Attachment> inline_;
    std::vector<Attachment> attachments_;
};

// "Name" <address>, or a bare address when there is no name.
std::string FormatPerson(const Person& person);

} // namespace dbxgen
