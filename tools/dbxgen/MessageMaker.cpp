#include "tools/dbxgen/MessageMaker.h"

#include "tools/dbxgen/MimeText.h"

#include <cstdio>
#include <stdexcept>

namespace dbxgen {

namespace {

const char* TransferName(Transfer t)
{
    switch (t) {
    case Transfer::SevenBit: return "7bit";
    case Transfer::EightBit: return "8bit";
    case Transfer::QuotedPrintable: return "quoted-printable";
    case Transfer::Base64: return "base64";
    }
    return "7bit";
}

std::string EncodeBody(const std::string& bytes, Transfer t)
{
    switch (t) {
    case Transfer::QuotedPrintable: return QuotedPrintable(Crlf(bytes));
    case Transfer::Base64: return Base64(bytes);
    default: return Crlf(bytes);
    }
}

std::string EndWithCrlf(std::string s)
{
    if (s.size() < 2 || s.compare(s.size() - 2, 2, "\r\n") != 0)
        s += "\r\n";
    return s;
}

// One MIME entity: its Content-* header lines (CR LF ended) and its body.
struct Entity {
    std::string headers;
    std::string body;
};

std::string Boundary(int level, std::int64_t date, unsigned sequence)
{
    // Outlook Express style: ----=_NextPart_<level>_<seq>_<time-derived>.
    const auto t = static_cast<std::uint64_t>(date) * 10000000ULL + 0x01C0000000000000ULL;
    char buf[64];
    std::snprintf(buf, sizeof buf, "----=_NextPart_%03d_%04X_%08X.%08X", level, sequence & 0xFFFF,
                  static_cast<unsigned>(t >> 32), static_cast<unsigned>(t & 0xFFFFFFFF));
    return buf;
}

Entity Multipart(const std::string& subtype, const std::vector<Entity>& parts, int level,
                 std::int64_t date, const std::string& extraParams)
{
    const std::string boundary = Boundary(level, date, static_cast<unsigned>(level * 0x11 + 0x2E));
    Entity e;
    e.headers = "Content-Type: multipart/" + subtype + ";\r\n" + extraParams + "\tboundary=\""
                + boundary + "\"\r\n";
    if (level == 0)
        e.body = "This is a multi-part message in MIME format.\r\n\r\n";
    else
        e.body = "\r\n";
    for (const auto& p : parts)
        e.body += "--" + boundary + "\r\n" + p.headers + "\r\n" + EndWithCrlf(p.body) + "\r\n";
    e.body += "--" + boundary + "--\r\n";
    return e;
}

Entity TextEntity(const std::string& subtype, const std::string& bytes, const std::string& charset,
                  Transfer transfer)
{
    Entity e;
    e.headers = "Content-Type: text/" + subtype + ";\r\n\tcharset=\"" + charset + "\"\r\n"
                + "Content-Transfer-Encoding: " + TransferName(transfer) + "\r\n";
    e.body = EncodeBody(bytes, transfer);
    return e;
}

Entity FileEntity(const Attachment& a)
{
    Entity e;
    e.headers = "Content-Type: " + a.contentType + ";\r\n\tname=\"" + a.fileName + "\"\r\n"
                + "Content-Transfer-Encoding: base64\r\n";
    if (a.contentId.empty())
        e.headers += "Content-Disposition: attachment;\r\n\tfilename=\"" + a.fileName + "\"\r\n";
    else
        e.headers += "Content-ID: <" + a.contentId + ">\r\n";
    e.body = Base64(a.data);
    return e;
}

std::string JoinPeople(const std::vector<Person>& people)
{
    std::string out;
    for (const auto& p : people) {
        if (!out.empty())
            out += ", ";
        out += FormatPerson(p);
    }
    return out;
}

} // namespace

std::string FormatPerson(const Person& person)
{
    if (person.name.empty())
        return person.address;
    if (person.name.rfind("=?", 0) == 0)
        return person.name + " <" + person.address + ">";
    return "\"" + person.name + "\" <" + person.address + ">";
}

MessageMaker& MessageMaker::From(Person p) { from_ = std::move(p); return *this; }
MessageMaker& MessageMaker::To(Person p) { to_.push_back(std::move(p)); return *this; }
MessageMaker& MessageMaker::Cc(Person p) { cc_.push_back(std::move(p)); return *this; }
MessageMaker& MessageMaker::Subject(std::string v) { subject_ = std::move(v); return *this; }
MessageMaker& MessageMaker::MessageId(std::string id) { messageId_ = std::move(id); return *this; }
MessageMaker& MessageMaker::InReplyTo(std::string id) { inReplyTo_ = std::move(id); return *this; }
MessageMaker& MessageMaker::ReceivedBy(std::string host) { receivedBy_ = std::move(host); return *this; }
MessageMaker& MessageMaker::Mailer(std::string m) { mailer_ = std::move(m); return *this; }
MessageMaker& MessageMaker::Priority(int p) { priority_ = p; return *this; }
MessageMaker& MessageMaker::Inline(Attachment a) { inline_.push_back(std::move(a)); return *this; }
MessageMaker& MessageMaker::Attach(Attachment a) { attachments_.push_back(std::move(a)); return *this; }

MessageMaker& MessageMaker::Date(std::int64_t unixSeconds, int zoneMinutes)
{
    date_ = unixSeconds;
    zone_ = zoneMinutes;
    hasDate_ = true;
    return *this;
}

MessageMaker& MessageMaker::Plain(std::string bytes, std::string charset, Transfer transfer)
{
    plain_ = {std::move(bytes), std::move(charset), transfer, true};
    return *this;
}

MessageMaker& MessageMaker::Html(std::string bytes, std::string charset, Transfer transfer)
{
    html_ = {std::move(bytes), std::move(charset), transfer, true};
    return *this;
}

MailMessage MessageMaker::Make() const
{
    if (from_.address.empty() || to_.empty() || !hasDate_)
        throw std::logic_error("a message needs From, To and Date");
    if (!inline_.empty() && !html_.present)
        throw std::logic_error("inline images need an HTML body");

    // Build the body from the inside out.
    int levels = (plain_.present && html_.present ? 1 : 0) + (inline_.empty() ? 0 : 1)
                 + (attachments_.empty() ? 0 : 1);
    int level = levels - 1; // the outermost multipart gets level 0
    Entity body;
    if (plain_.present && html_.present) {
        body = Multipart("alternative",
                         {TextEntity("plain", plain_.bytes, plain_.charset, plain_.transfer),
                          TextEntity("html", html_.bytes, html_.charset, html_.transfer)},
                         level--, date_, "");
    } else if (html_.present) {
        body = TextEntity("html", html_.bytes, html_.charset, html_.transfer);
    } else {
        body = TextEntity("plain", plain_.present ? plain_.bytes : std::string(),
                          plain_.present ? plain_.charset : "us-ascii",
                          plain_.present ? plain_.transfer : Transfer::SevenBit);
    }
    if (!inline_.empty()) {
        std::vector<Entity> parts = {body};
        for (const auto& img : inline_)
            parts.push_back(FileEntity(img));
        const std::string type = plain_.present ? "multipart/alternative" : "text/html";
        body = Multipart("related", parts, level--, date_, "\ttype=\"" + type + "\";\r\n");
    }
    if (!attachments_.empty()) {
        std::vector<Entity> parts = {body};
        for (const auto& a : attachments_)
            parts.push_back(FileEntity(a));
        body = Multipart("mixed", parts, level--, date_, "");
    }

    MailMessage m;
    m.from = FormatPerson(from_);
    m.to = JoinPeople(to_);
    m.subject = subject_;
    m.senderName = from_.name;
    m.senderAddress = from_.address;
    m.receiverName = to_.front().name;
    m.receiverAddress = to_.front().address;
    m.date = date_;
    m.hasAttachment = !attachments_.empty();
    if (!messageId_.empty())
        m.messageId = "<" + messageId_ + ">";

    const std::string date = MailDate(date_, zone_);
    std::string& t = m.text;
    t.reserve(body.body.size() + 1024);
    if (!receivedBy_.empty()) {
        const auto at = from_.address.find('@');
        const std::string senderHost =
            "mail." + (at == std::string::npos ? std::string("example.com") : from_.address.substr(at + 1));
        t += "Return-Path: <" + from_.address + ">\r\n";
        t += "Received: from " + senderHost + " ([192.0.2." + std::to_string(20 + date_ % 200)
             + "])\r\n\tby " + receivedBy_ + " with ESMTP id " + std::to_string(date_ % 99991)
             + ";\r\n\t" + date + "\r\n";
    }
    if (!m.messageId.empty())
        t += "Message-ID: " + m.messageId + "\r\n";
    t += "From: " + m.from + "\r\n";
    t += "To: " + m.to + "\r\n";
    if (!cc_.empty())
        t += "Cc: " + JoinPeople(cc_) + "\r\n";
    if (!inReplyTo_.empty())
        t += "References: <" + inReplyTo_ + ">\r\n";
    t += "Subject: " + subject_ + "\r\n";
    t += "Date: " + date + "\r\n";
    t += "MIME-Version: 1.0\r\n";
    t += body.headers;
    t += "X-Priority: " + std::to_string(priority_) + "\r\n";
    t += std::string("X-MSMail-Priority: ")
         + (priority_ < 3 ? "High" : priority_ > 3 ? "Low" : "Normal") + "\r\n";
    t += "X-Mailer: " + mailer_ + "\r\n";
    t += "X-MimeOLE: Produced By Microsoft MimeOLE V6.00.2800.1165\r\n";
    t += "\r\n";
    t += body.body;
    return m;
}

} // namespace dbxgen
