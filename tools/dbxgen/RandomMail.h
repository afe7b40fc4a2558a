#pragma once
// A stream of varied, realistic e-mails for large fixture mailboxes: plain,
// HTML, alternative, related and mixed messages from a cast of senders,
// subjects in several encodings, sizes from a few hundred bytes to about
// 1 MB. Fast enough to write hundreds of megabytes in seconds.

#include "tools/dbxgen/MailMessage.h"
#include "tools/dbxgen/MessageMaker.h"
#include "tools/dbxgen/Prng.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dbxgen {

class RandomMail {
public:
    explicit RandomMail(std::uint64_t seed);

    // The next message; dates rise from one message to the next.
    MailMessage Next();

private:
    std::string TextSlice(std::size_t bytes);
    std::string HtmlFrom(const std::string& text);

    Prng prng_;
    std::vector<Person> people_;
    std::vector<std::string> subjects_;
    std::string textPool_;  // CR LF lines of prose
    std::string noisePool_; // attachment bytes
    std::string png_;
    std::int64_t clock_;
    std::uint64_t serial_ = 0;
};

} // namespace dbxgen
