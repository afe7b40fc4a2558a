#pragma once
// A plain message for the fixture makers' tests, of exactly the size asked
// for (at least its header's). Every ninth body line holds a "to: " label,
// so that chains starting inside the body are listed as e-mails too.

#include "tools/dbxgen/MessageMaker.h"
#include "tools/dbxgen/MimeText.h"

#include <string>

namespace testing_oe {

inline dbxgen::MailMessage SampleMail(int n, std::size_t size)
{
    const std::string no = std::to_string(n);
    auto make = [&](const std::string& body) {
        return dbxgen::MessageMaker()
            .From({"Sender " + no, "sender" + no + "@example.org"})
            .To({"Reader", "reader@example.com"})
            .Subject("Message number " + no)
            .Date(dbxgen::UnixFromCivil(2006, 5, 1 + n % 28, 9, n % 60), 60)
            .MessageId("msg" + no + "@example.org")
            .ReceivedBy("pop.example.com")
            .Plain(body)
            .Make();
    };
    const std::size_t header = make("").text.size();
    std::string body;
    for (int line = 0; header + body.size() < size; ++line) {
        if (line % 9 == 8)
            body += "Copy sent to: archive@example.org\r\n";
        else
            body.append("Line ").append(std::to_string(line)).append(" of ").append(no).append(".\r\n");
    }
    body.resize(size > header ? size - header : 0);
    return make(body);
}

} // namespace testing_oe
