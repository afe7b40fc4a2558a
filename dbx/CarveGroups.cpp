#include "dbx/CarveGroups.h"

#include "dbx/ByteSource.h"

#include <algorithm>
#include <array>

namespace dbx {

namespace {

// A group of this many headers with one shift is a piece of a mail file even
// when no link joins them: in noise, two headers share a shift by chance
// about once in 2^60 positions.
constexpr std::size_t kSureGroupSize = 3;
// Headers of one shift this far apart are two pieces: no mail file leaves
// that much room between its blocks, and a view of a file stays bounded.
constexpr std::uint32_t kMaxGap = 16u << 20;
// Room between two headers of one shift beyond this (two blocks) is looked
// at: a mail file fills it with its index, whose objects each begin with
// their own offset; noise and other files' data do not.
constexpr std::uint64_t kQuietGap = 2 * format::kBlockSpan;
// At most this much of such room is read in all; beyond it, room that
// no link crosses splits a stretch unread.
constexpr std::uint64_t kGapReadBudget = 256u << 20;

class Grouper {
public:
    Grouper(std::vector<Candidate>& c, const std::vector<std::uint64_t>& signatures, const ByteSource& image)
        : c_(c), signatures_(signatures), image_(image)
    {
    }

    Groups Run();

private:
    void SplitShift(std::size_t i, std::size_t j, std::vector<std::size_t>& cuts);
    bool ForeignBetween(const Candidate& a, const Candidate& b) const;
    void AddGroup(std::size_t first, std::size_t last, bool signature);

    std::vector<Candidate>& c_;
    const std::vector<std::uint64_t>& signatures_;
    const ByteSource& image_;
    std::vector<std::uint64_t> shared_;  // positions of headers of shifts held by more than one
    std::uint64_t budget_ = kGapReadBudget;
    Groups out_;
};

bool Grouper::ForeignBetween(const Candidate& a, const Candidate& b) const
{
    // Headers of another piece, or the start of another mail file, inside a
    // stretch of one shift: two pieces that happen to share the shift.
    const auto it = std::upper_bound(shared_.begin(), shared_.end(), a.Position());
    const auto sig = std::upper_bound(signatures_.begin(), signatures_.end(), a.Position());
    return (it != shared_.end() && *it < b.Position()) || (sig != signatures_.end() && *sig < b.Position());
}

void Grouper::SplitShift(std::size_t i, std::size_t j, std::vector<std::size_t>& cuts)
{
    // Which blocks of the stretch link to which: a gap that a link crosses
    // lies inside one file.
    const std::size_t n = j - i;
    std::vector<std::size_t> target(n, n);
    for (std::size_t k = 0; k < n; ++k) {
        const Candidate& x = c_[i + k];
        const auto begin = c_.begin() + static_cast<std::ptrdiff_t>(i);
        const auto end = c_.begin() + static_cast<std::ptrdiff_t>(j);
        const auto it = std::lower_bound(begin, end, x.next, [](const Candidate& a, std::uint32_t s) { return a.self < s; });
        if (x.next != 0 && it != end && it->self == x.next && it->Deleted() == x.Deleted())
            target[k] = static_cast<std::size_t>(it - begin);
    }
    std::vector<std::size_t> reach(n), back(n);  // furthest forward link so far, lowest backward link from here on
    for (std::size_t k = 0; k < n; ++k)
        reach[k] = std::max(k > 0 ? reach[k - 1] : 0, target[k] != n && target[k] > k ? target[k] : 0);
    for (std::size_t k = n; k-- > 0;)
        back[k] = std::min(k + 1 < n ? back[k + 1] : n, target[k] < k ? target[k] : n);
    const bool signature = c_[i].Shift() >= 0 && std::binary_search(signatures_.begin(), signatures_.end(),
                                                                      static_cast<std::uint64_t>(c_[i].Shift()));
    for (std::size_t k = 1; k < n; ++k) {
        const Candidate& a = c_[i + k - 1];
        const Candidate& b = c_[i + k];
        const std::uint64_t gap = b.self - a.self;
        if (gap > kMaxGap) {
            cuts.push_back(i + k);
            continue;
        }
        if (reach[k - 1] >= k || back[k] <= k - 1)
            continue;
        // A mail file's own start holds it together whatever lies inside it
        // (its blocks moved elsewhere in it, say).
        if ((!signature && ForeignBetween(a, b))
            || (gap > kQuietGap && !HoldsOwnOffset(image_, a.Shift(), a.Position() + format::kBlockSpan, b.Position(), budget_)))
            cuts.push_back(i + k);
    }
}

void Grouper::AddGroup(std::size_t first, std::size_t last, bool signature)
{
    Group g;
    g.first = first;
    g.last = last;
    g.shift = c_[first].Shift();
    g.signature = signature;
    g.lo = c_[first].self;
    g.maxSelf = c_[last - 1].self;
    g.hi = std::uint64_t{g.maxSelf} + format::kBlockSpan;
    const auto id = static_cast<std::uint32_t>(out_.groups.size());
    const auto begin = c_.begin() + static_cast<std::ptrdiff_t>(first);
    const auto end = c_.begin() + static_cast<std::ptrdiff_t>(last);
    for (std::size_t x = first; x < last; ++x) {
        out_.groupOf[x] = id;
        const std::uint32_t next = c_[x].next;
        if (next == 0 || next == c_[x].self)
            continue;
        const auto it = std::lower_bound(begin, end, next, [](const Candidate& a, std::uint32_t s) { return a.self < s; });
        if (it == end || it->self != next || it->Deleted() != c_[x].Deleted())
            continue;
        const auto y = static_cast<std::size_t>(it - c_.begin());
        ++g.internalLinks;
        out_.linkedInGroup[x] = 1;
        if (out_.pred[y] == kNoCandidate)
            out_.pred[y] = static_cast<std::uint32_t>(x);
    }
    g.real = g.internalLinks > 0 || g.signature || last - first >= kSureGroupSize;
    if (!g.real)
        out_.loneHeaders += last - first;
    out_.groups.push_back(g);
}

Groups Grouper::Run()
{
    std::sort(c_.begin(), c_.end(), [](const Candidate& a, const Candidate& b) {
        return a.Shift() != b.Shift() ? a.Shift() < b.Shift() : a.self < b.self;
    });
    out_.groupOf.assign(c_.size(), kNoCandidate);
    out_.pred.assign(c_.size(), kNoCandidate);
    out_.linkedInGroup.assign(c_.size(), 0);
    for (std::size_t i = 0, j = 0; i < c_.size(); i = j) {
        for (j = i; j < c_.size() && c_[j].Shift() == c_[i].Shift(); ++j)
            ;
        if (j - i >= 2)
            for (std::size_t k = i; k < j; ++k)
                shared_.push_back(c_[k].Position());
    }
    std::sort(shared_.begin(), shared_.end());

    std::vector<std::size_t> cuts;
    for (std::size_t i = 0, j = 0; i < c_.size(); i = j) {
        for (j = i; j < c_.size() && c_[j].Shift() == c_[i].Shift(); ++j)
            ;
        cuts.clear();
        SplitShift(i, j, cuts);
        cuts.push_back(j);
        const std::int64_t shift = c_[i].Shift();
        const bool signature = shift >= 0 && std::binary_search(signatures_.begin(), signatures_.end(),
                                                                  static_cast<std::uint64_t>(shift));
        std::size_t from = i;
        for (const std::size_t cut : cuts) {
            AddGroup(from, cut, signature && from == i);  // the signature is where the first stretch begins
            from = cut;
        }
    }
    out_.shared = std::move(shared_);
    return std::move(out_);
}

} // namespace

bool HoldsOwnOffset(const ByteSource& image, std::int64_t shift, std::uint64_t from, std::uint64_t to,
                    std::uint64_t& budget, bool* anyData)
{
    if (anyData)
        *anyData = false;
    std::array<std::uint8_t, 64 * 1024> buffer;
    for (std::uint64_t at = from; at < to;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(to - at, buffer.size()));
        if (want > budget)
            return false;
        budget -= want;
        const std::size_t got = image.Read(at, buffer.data(), want);
        for (std::size_t k = 0; k + 4 <= got; k += 4) {
            const std::uint32_t word = format::LoadU32(buffer.data() + k);
            if (anyData && word != 0)
                *anyData = true;
            if (word == static_cast<std::uint64_t>(static_cast<std::int64_t>(at + k) - shift))
                return true;
        }
        if (got < want)
            return false;
        at += want;
    }
    return false;
}

Groups FormGroups(std::vector<Candidate>& c, const std::vector<std::uint64_t>& signatures, const ByteSource& image)
{
    return Grouper(c, signatures, image).Run();
}

} // namespace dbx
