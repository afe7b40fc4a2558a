#include "dbx/CarveLayout.h"

#include "dbx/ByteSource.h"
#include "dbx/Continuity.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <numeric>
#include <set>
#include <string>

namespace dbx {

namespace {

constexpr std::uint32_t kNone = ~std::uint32_t{0};
constexpr std::uint64_t kSpan = format::kHeaderSize + format::kPayloadSize;  // 528

// Shifts agree on at most this power of two (the largest cluster of common
// file systems) and at least on the 4 bytes headers are aligned to.
constexpr std::uint32_t kMaxAlignment = 64 * 1024;
constexpr std::uint32_t kMinAlignment = 4;
// A group of this many headers with one shift is a piece of a mail file even
// when no link joins them: in noise, two headers share a shift by chance
// about once in 2^60 positions.
constexpr std::uint64_t kSureGroupSize = 3;
// How far back a chain is walked for the text around a link, in blocks.
constexpr std::size_t kMaxWalk = 4096;
// Blocks of a chain's start read for its header and MIME boundaries.
constexpr std::size_t kHeadBlocks = 4;
// A link that this many pieces could continue is left undecided: real files
// put a handful of pieces at any one offset, only a crafted image more.
constexpr std::size_t kMaxOptions = 64;

struct Group {
    std::size_t first = 0, last = 0;  // candidates [first, last)
    std::int64_t shift = 0;
    std::uint64_t lo = 0, hi = 0;     // offsets its blocks cover
    std::uint32_t maxSelf = 0;
    std::uint64_t internalLinks = 0;
    bool signature = false;
    bool real = false;

    bool Overlaps(const Group& o) const { return lo < o.hi && o.lo < hi; }
};

// A block another piece may continue a link with: a header found there, or
// one split between two pieces at `boundary`.
struct Option {
    std::uint32_t group = kNone;
    std::uint32_t block = kNone;      // candidate index, or kNone for a split header
    std::uint32_t boundary = 0;       // the split's boundary offset
    std::uint32_t dataLength = 0;
    bool deleted = false;
    std::uint64_t affinity = 0;
    int score = 0;
    std::string text;                 // its payload
};

struct Decision {
    std::uint32_t from = kNone;       // linking block
    std::uint32_t fromGroup = kNone;
    Option to;
};

class Planner {
public:
    Planner(std::vector<Candidate>& c, const std::vector<std::uint64_t>& signatures, const ByteSource& image)
        : c_(c), signatures_(signatures), image_(image)
    {
    }

    Layout Run();

private:
    void FormGroups();
    void FindAlignment();
    std::vector<Option> OptionsFor(std::uint32_t x, std::uint32_t g) const;
    void AddSplitOptions(std::uint32_t x, std::uint32_t g, std::vector<Option>& options) const;
    std::string Payload(std::uint64_t position, bool deleted, std::uint32_t dataLength) const;
    std::string Payload(std::uint32_t block) const
    {
        return Payload(c_[block].Position(), c_[block].Deleted(), c_[block].DataLength());
    }
    void ChainText(std::uint32_t x, std::string& head, std::string& tail) const;
    void Decide();
    void Join();
    Layout Files();

    std::uint32_t Root(std::uint32_t g)
    {
        while (parent_[g] != g)
            g = parent_[g] = parent_[parent_[g]];
        return g;
    }

    std::vector<Candidate>& c_;
    const std::vector<std::uint64_t>& signatures_;
    const ByteSource& image_;
    std::vector<Group> groups_;
    std::vector<std::uint32_t> groupOf_;
    std::vector<std::uint32_t> pred_;         // in-group predecessor of each candidate
    std::vector<std::uint8_t> linkedInGroup_; // its next names a block of its group
    std::vector<std::uint32_t> bySelf_;       // candidates of real groups by self offset
    std::vector<std::uint32_t> realByLo_;     // real groups by their lowest offset
    std::uint32_t alignment_ = 512;
    std::vector<Decision> decisions_;
    std::vector<std::uint32_t> parent_;
    using Extent = std::pair<std::uint64_t, std::uint64_t>;
    std::vector<std::set<Extent>> extents_;  // offsets each file's pieces cover, per root
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> boundaries_;  // (lower, upper group)
    LayoutCounts counts_;
};

void Planner::FormGroups()
{
    std::sort(c_.begin(), c_.end(), [](const Candidate& a, const Candidate& b) {
        return a.Shift() != b.Shift() ? a.Shift() < b.Shift() : a.self < b.self;
    });
    groupOf_.assign(c_.size(), kNone);
    pred_.assign(c_.size(), kNone);
    linkedInGroup_.assign(c_.size(), 0);
    for (std::size_t i = 0; i < c_.size();) {
        Group g;
        g.first = i;
        g.shift = c_[i].Shift();
        while (i < c_.size() && c_[i].Shift() == g.shift)
            groupOf_[i++] = static_cast<std::uint32_t>(groups_.size());
        g.last = i;
        g.lo = c_[g.first].self;
        g.maxSelf = c_[g.last - 1].self;
        g.hi = std::uint64_t{g.maxSelf} + kSpan;
        // Links inside the group, and each block's predecessor in it.
        const auto begin = c_.begin() + static_cast<std::ptrdiff_t>(g.first);
        const auto end = c_.begin() + static_cast<std::ptrdiff_t>(g.last);
        for (std::size_t x = g.first; x < g.last; ++x) {
            const std::uint32_t next = c_[x].next;
            if (next == 0 || next == c_[x].self)
                continue;
            const auto it = std::lower_bound(begin, end, next, [](const Candidate& a, std::uint32_t s) { return a.self < s; });
            if (it == end || it->self != next || it->Deleted() != c_[x].Deleted())
                continue;
            const auto y = static_cast<std::size_t>(it - c_.begin());
            ++g.internalLinks;
            linkedInGroup_[x] = 1;
            if (pred_[y] == kNone)
                pred_[y] = static_cast<std::uint32_t>(x);
        }
        g.signature = g.shift >= 0 && std::binary_search(signatures_.begin(), signatures_.end(),
                                                         static_cast<std::uint64_t>(g.shift));
        g.real = g.internalLinks > 0 || g.signature || g.last - g.first >= kSureGroupSize;
        if (!g.real)
            counts_.loneHeaders += g.last - g.first;
        groups_.push_back(g);
    }
    for (std::uint32_t i = 0; i < c_.size(); ++i)
        if (groups_[groupOf_[i]].real)
            bySelf_.push_back(i);
    for (std::uint32_t g = 0; g < groups_.size(); ++g)
        if (groups_[g].real)
            realByLo_.push_back(g);
    std::stable_sort(realByLo_.begin(), realByLo_.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return groups_[a].lo < groups_[b].lo; });
    std::sort(bySelf_.begin(), bySelf_.end(), [&](std::uint32_t a, std::uint32_t b) {
        return c_[a].self != c_[b].self ? c_[a].self < c_[b].self : a < b;
    });
}

void Planner::FindAlignment()
{
    // File offsets of piece starts are multiples of the cluster size, and so
    // are the distances between cluster starts in the image: all shifts of
    // one file system agree modulo the cluster size.
    std::uint64_t g = 0;
    const Group* first = nullptr;
    for (const Group& group : groups_) {
        if (!group.real)
            continue;
        if (!first)
            first = &group;
        else
            g = std::gcd(g, static_cast<std::uint64_t>(group.shift - first->shift));
    }
    if (g == 0)
        return;  // one piece: boundaries never matter
    const std::uint64_t lowest = g & (~g + 1);
    alignment_ = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(lowest, kMinAlignment, kMaxAlignment));
}

std::string Planner::Payload(std::uint64_t position, bool deleted, std::uint32_t dataLength) const
{
    std::string text(deleted ? format::kPayloadSize : std::min(dataLength, format::kPayloadSize), '\0');
    text.resize(image_.Read(position + format::kHeaderSize, text.data(), text.size()));
    if (deleted)
        std::memset(text.data(), ' ', std::min(text.size(), format::kDeletedClobberedBytes));
    // A block's slack is not text.
    text.erase(text.find_last_not_of('\0') + 1);
    return text;
}

void Planner::ChainText(std::uint32_t x, std::string& head, std::string& tail) const
{
    std::vector<std::uint32_t> path{x};
    for (std::uint32_t p = pred_[x]; p != kNone && path.size() < kMaxWalk; p = pred_[p])
        path.push_back(p);
    std::reverse(path.begin(), path.end());
    head.clear();
    for (std::size_t k = 0; k < path.size() && k < kHeadBlocks; ++k)
        head += Payload(path[k]);
    tail = path.size() >= 2 ? Payload(path[path.size() - 2]) : std::string();
    tail += Payload(x);
}

void Planner::AddSplitOptions(std::uint32_t x, std::uint32_t g, std::vector<Option>& options) const
{
    // The header at the link's offset may lie across the boundary between
    // this piece and the next: try each group whose first block follows
    // closely, at each boundary the alignment allows inside the header.
    const Candidate& from = c_[x];
    const std::uint64_t at = from.next;
    const std::uint32_t step = std::min<std::uint32_t>(alignment_, 512);
    const auto first = std::upper_bound(realByLo_.begin(), realByLo_.end(), at,
                                        [&](std::uint64_t o, std::uint32_t h) { return o < groups_[h].lo; });
    for (auto it = first; it != realByLo_.end() && groups_[*it].lo <= at + kSpan + format::kHeaderSize; ++it) {
        const std::uint32_t h = *it;
        const Group& group = groups_[h];
        if (h == g || group.Overlaps(groups_[g]) || options.size() >= kMaxOptions)
            continue;
        for (std::uint64_t b = (at / step + 1) * step; b < at + format::kHeaderSize; b += step) {
            std::array<std::uint8_t, format::kHeaderSize> bytes{};
            const auto low = static_cast<std::size_t>(b - at);
            const auto lowAt = static_cast<std::uint64_t>(static_cast<std::int64_t>(at) + groups_[g].shift);
            const auto highAt = static_cast<std::uint64_t>(static_cast<std::int64_t>(b) + group.shift);
            if (image_.Read(lowAt, bytes.data(), low) != low
                || image_.Read(highAt, bytes.data() + low, bytes.size() - low) != bytes.size() - low)
                continue;
            const BlockHeader header = LoadBlockHeader(bytes.data());
            const BlockKind kind = KindOf(header.blockSize, header.dataLength);
            if (header.self != at || kind == BlockKind::kNone || (kind == BlockKind::kDeleted) != from.Deleted())
                continue;
            Option o;
            o.group = h;
            o.boundary = static_cast<std::uint32_t>(b);
            o.deleted = from.Deleted();
            o.dataLength = header.dataLength;
            o.text = Payload(highAt - low, o.deleted, o.dataLength);
            options.push_back(std::move(o));
        }
    }
}

std::vector<Option> Planner::OptionsFor(std::uint32_t x, std::uint32_t g) const
{
    std::vector<Option> options;
    const Candidate& from = c_[x];
    auto lo = std::lower_bound(bySelf_.begin(), bySelf_.end(), from.next,
                               [&](std::uint32_t i, std::uint32_t s) { return c_[i].self < s; });
    for (; lo != bySelf_.end() && c_[*lo].self == from.next; ++lo) {
        const std::uint32_t y = *lo;
        const std::uint32_t h = groupOf_[y];
        // A block whose predecessor lies in its own piece continues that
        // chain, not this one; a piece overlapping this one is another file.
        if (h == g || c_[y].Deleted() != from.Deleted() || pred_[y] != kNone || groups_[h].Overlaps(groups_[g]))
            continue;
        if (options.size() == kMaxOptions)
            return {};  // no evidence can pick one of so many
        Option o;
        o.group = h;
        o.block = y;
        o.deleted = from.Deleted();
        o.dataLength = c_[y].DataLength();
        options.push_back(std::move(o));
    }
    if (options.empty())
        AddSplitOptions(x, g, options);
    return options;
}

void Planner::Decide()
{
    // Links that leave their piece: the block they name is neither in the
    // piece nor where the piece could have held it.
    struct Link {
        std::uint32_t x, g;
        std::vector<Option> options;
    };
    std::vector<Link> links;
    for (std::uint32_t g = 0; g < groups_.size(); ++g) {
        const Group& group = groups_[g];
        if (!group.real)
            continue;
        for (std::size_t x = group.first; x < group.last; ++x) {
            const std::uint64_t next = c_[x].next;
            if (next == 0 || linkedInGroup_[x] || !(next >= group.hi || next + kSpan <= group.lo))
                continue;
            Link link{static_cast<std::uint32_t>(x), g, OptionsFor(static_cast<std::uint32_t>(x), g)};
            if (!link.options.empty())
                links.push_back(std::move(link));
        }
    }
    // Pieces of one file share links: count them per pair of groups.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint64_t> shared;
    for (const Link& link : links)
        for (const Option& o : link.options)
            ++shared[std::minmax(link.g, o.group)];

    std::string head, tail;
    for (Link& link : links) {
        for (Option& o : link.options) {
            o.affinity = shared[std::minmax(link.g, o.group)];
            if (o.block != kNone)
                o.text = Payload(o.block);
        }
        ChainText(link.x, head, tail);
        for (Option& o : link.options)
            o.score = ContinuityScore(head, tail, o.text);
        std::stable_sort(link.options.begin(), link.options.end(), [](const Option& a, const Option& b) {
            return a.affinity != b.affinity ? a.affinity > b.affinity : a.score > b.score;
        });
        const Option& best = link.options[0];
        bool decided = best.score > -kDecisive;
        if (decided && link.options.size() > 1) {
            const Option& second = link.options[1];
            // Two copies of the same bytes continue the text alike.
            decided = best.affinity > second.affinity || best.score - second.score >= kDecisive
                      || best.text == second.text;
        }
        if (!decided) {
            ++counts_.linksUndecided;
            continue;
        }
        decisions_.push_back({link.x, link.g, std::move(link.options[0])});
    }
}

void Planner::Join()
{
    parent_.resize(groups_.size());
    std::iota(parent_.begin(), parent_.end(), 0u);
    extents_.resize(groups_.size());
    for (std::uint32_t g = 0; g < groups_.size(); ++g)
        extents_[g] = {{groups_[g].lo, groups_[g].hi}};
    // The surest decisions first.
    std::stable_sort(decisions_.begin(), decisions_.end(), [&](const Decision& a, const Decision& b) {
        if (a.to.affinity != b.to.affinity)
            return a.to.affinity > b.to.affinity;
        if (a.to.score != b.to.score)
            return a.to.score > b.to.score;
        return c_[a.from].Position() < c_[b.from].Position();
    });
    std::vector<std::uint8_t> claimed(c_.size(), 0);
    for (const Decision& d : decisions_) {
        if (d.to.block != kNone && claimed[d.to.block]) {
            ++counts_.linksRefused;  // another chain continues into it
            continue;
        }
        std::uint32_t a = Root(d.fromGroup), b = Root(d.to.group);
        if (a != b) {
            // The pieces of one file never overlap in its offsets. The smaller
            // list is checked against (and moved into) the larger one.
            if (extents_[a].size() < extents_[b].size())
                std::swap(a, b);
            auto& large = extents_[a];
            auto& small = extents_[b];
            const bool overlap = std::any_of(small.begin(), small.end(), [&](const Extent& e) {
                auto it = large.lower_bound({e.second, 0});  // first extent starting at or after e's end
                return it != large.begin() && std::prev(it)->second > e.first;
            });
            if (overlap) {
                ++counts_.linksRefused;
                continue;
            }
            large.insert(small.begin(), small.end());
            small.clear();
            parent_[b] = a;
        }
        if (d.to.block != kNone)
            claimed[d.to.block] = 1;
        else
            boundaries_[{d.fromGroup, d.to.group}] = d.to.boundary;
        ++counts_.linksDecided;
    }
}

Layout Planner::Files()
{
    Layout layout;
    layout.alignment = alignment_;
    std::map<std::uint32_t, std::vector<std::uint32_t>> members;
    for (std::uint32_t g = 0; g < groups_.size(); ++g)
        if (groups_[g].real)
            members[Root(g)].push_back(g);
    const auto imageSize = static_cast<std::int64_t>(image_.Size());
    for (auto& [root, list] : members) {
        std::sort(list.begin(), list.end(), [&](std::uint32_t a, std::uint32_t b) { return groups_[a].lo < groups_[b].lo; });
        FormerFile file;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;  // [from, to) per group
        for (const std::uint32_t g : list) {
            spans.emplace_back(groups_[g].lo, groups_[g].hi);
            file.blocks += groups_[g].last - groups_[g].first;
        }
        const Group& lowest = groups_[list.front()];
        file.signature = lowest.signature;
        if (lowest.signature)
            spans.front().first = 0;  // the file's own header and index come with it
        for (std::size_t k = 0; k + 1 < list.size(); ++k) {
            const Group& a = groups_[list[k]];
            const Group& b = groups_[list[k + 1]];
            std::uint64_t boundary = 0;
            if (const auto it = boundaries_.find({list[k], list[k + 1]}); it != boundaries_.end()) {
                boundary = it->second;
            } else {
                // The one boundary the alignment allows between the last
                // header of the lower piece and the first of the upper;
                // where it allows several, the bytes between stay missing.
                const std::uint64_t low = std::uint64_t{a.maxSelf} + format::kHeaderSize, high = b.lo;
                for (std::uint64_t step = alignment_; step >= kMinAlignment && boundary == 0; step /= 2) {
                    const std::uint64_t first = (low + step - 1) / step * step;
                    if (first > high)
                        continue;
                    if (first + step > high)
                        boundary = first;
                    break;
                }
            }
            if (boundary != 0) {
                spans[k].second = boundary;
                spans[k + 1].first = boundary;
            } else {
                spans[k].second = std::min(spans[k].second, spans[k + 1].first);
            }
        }
        for (std::size_t k = 0; k < list.size(); ++k) {
            const std::int64_t shift = groups_[list[k]].shift;
            // Only what lies inside the image, and inside 32-bit offsets.
            const std::int64_t from = std::max<std::int64_t>(static_cast<std::int64_t>(spans[k].first), -shift);
            const std::int64_t to = std::min<std::int64_t>({static_cast<std::int64_t>(spans[k].second),
                                                            imageSize - shift, std::int64_t{0xFFFFFFFF}});
            if (from < to)
                file.pieces.push_back({static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(to), shift});
        }
        if (!file.pieces.empty())
            layout.files.push_back(std::move(file));
    }
    std::sort(layout.files.begin(), layout.files.end(), [](const FormerFile& a, const FormerFile& b) {
        return a.pieces.front().Position(a.pieces.front().from) < b.pieces.front().Position(b.pieces.front().from);
    });
    layout.counts = counts_;
    return layout;
}

Layout Planner::Run()
{
    FormGroups();
    FindAlignment();
    Decide();
    Join();
    return Files();
}

} // namespace

Layout PlanLayout(std::vector<Candidate>& candidates, const std::vector<std::uint64_t>& signatures,
                  const ByteSource& image)
{
    return Planner(candidates, signatures, image).Run();
}

} // namespace dbx
