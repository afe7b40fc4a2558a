#pragma once
// Block headers of an image grouped into pieces: a piece is a stretch of
// headers of one shift (position minus self offset) that lie together in
// the image. Internal to the carver (CarveLayout.cpp).

#include "dbx/CarveCandidates.h"

#include <cstdint>
#include <vector>

namespace dbx {

class ByteSource;

constexpr std::uint32_t kNoCandidate = ~std::uint32_t{0};

struct Group {
    std::size_t first = 0, last = 0;  // candidates [first, last), ascending self offsets
    std::int64_t shift = 0;
    std::uint64_t lo = 0, hi = 0;     // offsets its blocks cover
    std::uint32_t maxSelf = 0;
    std::uint64_t internalLinks = 0;
    bool signature = false;           // a message file's signature lies where its file begins
    bool real = false;                // a piece of a mail file, not chance

    bool Overlaps(const Group& o) const { return lo < o.hi && o.lo < hi; }
};

struct Groups {
    std::vector<Group> groups;
    std::vector<std::uint32_t> groupOf;        // per candidate
    std::vector<std::uint32_t> pred;           // a block of its group that links to it
    std::vector<std::uint8_t> linkedInGroup;   // its next names a block of its group
    std::uint64_t loneHeaders = 0;             // headers in groups that are not real
    std::vector<std::uint64_t> shared;         // image positions of headers whose shift others hold too, ascending
};

// Whether a 4-aligned word of image bytes [from, to) holds its own offset
// in the file of `shift` (position minus shift), as the index objects of a
// mail file do. Reads at most `budget` bytes (taken off it); false when the
// budget runs out first. `anyData`, when given, tells whether a byte that is
// not zero was read.
bool HoldsOwnOffset(const ByteSource& image, std::int64_t shift, std::uint64_t from, std::uint64_t to,
                    std::uint64_t& budget, bool* anyData = nullptr);

// Sorts `c` by shift and self offset and groups it. Reads the image only
// inside stretches of one shift, to tell one piece from two.
Groups FormGroups(std::vector<Candidate>& c, const std::vector<std::uint64_t>& signatures, const ByteSource& image);

} // namespace dbx
