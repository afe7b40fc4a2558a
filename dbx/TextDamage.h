#pragma once
// Where the text of an e-mail, as WriteMessage writes it, does not hold the
// sender's bytes. The text itself stays exactly as stored; this travels
// beside it to whatever shows the e-mail, so that the damage can be read
// around and marked.

#include <cstddef>
#include <vector>

namespace dbx {

struct TextDamage {
    struct Range {
        std::size_t offset = 0;  // in the written text
        std::size_t length = 0;
        friend bool operator==(const Range&, const Range&) = default;
    };

    // Ranges whose bytes were overwritten when the e-mail's blocks were
    // freed (they read as spaces), in ascending order, never overlapping.
    std::vector<Range> overwritten;
    // The last block was taken whole: the message ends at its last byte
    // that is not zero, and the zeros after it are only the block's slack.
    bool paddedEnd = false;

    bool Empty() const { return overwritten.empty() && !paddedEnd; }
    friend bool operator==(const TextDamage&, const TextDamage&) = default;
};

} // namespace dbx
