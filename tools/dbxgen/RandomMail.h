#pragma once
// A stream of varied, realistic e-mails for large fixture mailboxes: plain,
// HTML, alternative, related and mixed messages from a cast of senders,
// subjects in several encodings, sizes from a few hundred bytes to about
// 1 MB (or shaped like a real mailbox's). Fast enough to write hundreds of
// megabytes in seconds.

#include "tools/dbxgen/MailMessage.h"
#include "tools/dbxgen/MessageMaker.h"
#include "tools/dbxgen/Prng.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dbxgen {

// How large the messages of each kind are.
enum class SizeMix {
    kUsual,  // a few hundred bytes to about 1 MB
    kReal,   // as in real mailboxes: most 2-20 KB, a tail to about 300 KB
};

class RandomMail {
public:
    // The usual mix has attachments in 15 % of the messages; a smaller
    // `attachmentShare` (0 to 0.15) makes plain-text messages of the rest,
    // for mailboxes of many small e-mails. The default mix is unchanged.
    static constexpr double kUsualAttachmentShare = 0.15;
    explicit RandomMail(std::uint64_t seed, double attachmentShare = kUsualAttachmentShare,
                        SizeMix sizes = SizeMix::kUsual);

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
    std::uint64_t attachmentPercent_ = 15;
    SizeMix sizes_ = SizeMix::kUsual;
};

} // namespace dbxgen
