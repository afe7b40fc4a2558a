#pragma once
// One e-mail as the fixture maker stores it: its full text (RFC 822, CRLF
// line ends) and the header values that the folder's index and the tests
// need.

#include <cstdint>
#include <string>

namespace dbxgen {

struct MailMessage {
    std::string text;    // the message bytes, header and body

    // Header values exactly as they stand in `text` (first line of each).
    std::string from;
    std::string to;
    std::string subject;
    std::string messageId;

    // Parts of From and To (first recipient) for the folder index.
    std::string senderName;
    std::string senderAddress;
    std::string receiverName;
    std::string receiverAddress;

    std::int64_t date = 0;      // seconds since 1970, UTC; 0 when unknown
    bool hasAttachment = false; // carries a file attachment

    // A message from raw bytes; header values are read from its header
    // block as well as they can be (unknown ones stay empty, date 0).
    static MailMessage FromText(std::string text);
};

} // namespace dbxgen
