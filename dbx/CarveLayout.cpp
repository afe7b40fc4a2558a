#include "dbx/CarveLayout.h"

#include "dbx/ByteSource.h"
#include "dbx/CarveGroups.h"
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

constexpr std::uint32_t kNone = kNoCandidate;

// Shifts agree on at most this power of two (the largest cluster of common
// file systems) and at least on the 4 bytes headers are aligned to.
constexpr std::uint32_t kMaxAlignment = 64 * 1024;
constexpr std::uint32_t kMinAlignment = 4;
// How far back a chain is walked for the text around a link, in blocks.
constexpr std::size_t kMaxWalk = 4096;
// Blocks of a chain's start read for its header and MIME boundaries.
constexpr std::size_t kHeadBlocks = 4;
// A header is known by its first 12 bytes; a boundary may cut it before its
// link, which then lies in the next piece.
constexpr std::uint64_t kNextFieldAt = format::kNextOffsetAt;
// Shifts of this many pieces agree on the cluster size and no more, but
// for a chance of 1 in 2^(pieces - 1).
constexpr std::size_t kSureAlignmentGroups = 6;
// At most this much is read in all to see whether a piece's file goes on
// after its last block.
constexpr std::uint64_t kNeighbourReadBudget = 256u << 20;
// A link that this many pieces could continue is left undecided: real files
// put a handful of pieces at any one offset, only a crafted image more.
constexpr std::size_t kMaxOptions = 64;

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

// A link that leaves its piece, and the blocks of other pieces it may
// lead to, the likeliest first.
struct Link {
    std::uint32_t x = kNone;  // the linking block
    std::uint32_t g = kNone;  // its group
    std::vector<Option> options;
};

// The one offset in [low, high] that is a multiple of `alignment`; 0 when
// there are several, or none. Where the alignment is only a guess (few
// pieces agreed on it), smaller powers of two are tried when it has none.
std::uint64_t UniqueBoundary(std::uint64_t low, std::uint64_t high, std::uint32_t alignment, bool sure)
{
    for (std::uint64_t step = alignment; step >= kMinAlignment; step /= 2) {
        const std::uint64_t first = (low + step - 1) / step * step;
        if (first > high) {
            if (sure)
                return 0;
            continue;
        }
        return first + step > high ? first : 0;
    }
    return 0;
}

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
    // The text of the chain ending at block x (its last `drop` bytes left
    // out): its first blocks, and its last two.
    void ChainText(std::uint32_t x, std::size_t drop, std::string& head, std::string& tail) const;
    void Decide();
    void Join();
    bool Merge(std::uint32_t lower, std::uint32_t upper);
    void JoinNeighbours();
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
    std::vector<std::uint64_t> shared_;       // positions of headers of shifts held by several
    std::uint32_t alignment_ = 512;
    bool alignmentSure_ = false;
    std::vector<Link> links_;
    std::vector<std::uint32_t> parent_;
    using Extent = std::pair<std::uint64_t, std::uint64_t>;
    std::vector<std::set<Extent>> extents_;  // offsets each file's pieces cover, per root
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> boundaries_;  // (lower, upper group)
    std::set<std::uint32_t> upperDecided_;  // groups a decided link leads out of
    std::map<std::uint32_t, std::uint32_t> ends_;  // groups known to end at a boundary
    LayoutCounts counts_;
};

void Planner::FormGroups()
{
    Groups formed = dbx::FormGroups(c_, signatures_, image_);
    groups_ = std::move(formed.groups);
    groupOf_ = std::move(formed.groupOf);
    pred_ = std::move(formed.pred);
    linkedInGroup_ = std::move(formed.linkedInGroup);
    counts_.loneHeaders = formed.loneHeaders;
    shared_ = std::move(formed.shared);
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
    // Two shifts may by chance agree on more than the cluster size; many
    // seldom do.
    alignmentSure_ = static_cast<std::size_t>(std::count_if(groups_.begin(), groups_.end(), [](const Group& x) { return x.real; })) >= kSureAlignmentGroups;
    const std::uint64_t lowest = g & (~g + 1);
    alignment_ = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(lowest, kMinAlignment, kMaxAlignment));
}

std::string Planner::Payload(std::uint64_t position, bool deleted, std::uint32_t dataLength) const
{
    std::string text(deleted ? format::kPayloadSize : std::min(dataLength, format::kPayloadSize), '\0');
    text.resize(image_.Read(position + format::kHeaderSize, text.data(), text.size()));
    if (deleted)
        std::memset(text.data(), ' ', std::min(text.size(), format::kDeletedClobberedBytes));
    return text;
}

void Planner::ChainText(std::uint32_t x, std::size_t drop, std::string& head, std::string& tail) const
{
    std::vector<std::uint32_t> path{x};
    for (std::uint32_t p = pred_[x]; p != kNone && path.size() < kMaxWalk; p = pred_[p])
        path.push_back(p);
    std::reverse(path.begin(), path.end());
    auto text = [&](std::size_t k) {
        std::string t = Payload(path[k]);
        if (k + 1 == path.size())
            t.resize(t.size() - std::min(t.size(), drop));
        return t;
    };
    head.clear();
    for (std::size_t k = 0; k < path.size() && k < kHeadBlocks; ++k)
        head += text(k);
    tail = path.size() >= 2 ? text(path.size() - 2) : std::string();
    tail += text(path.size() - 1);
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
    for (auto it = first; it != realByLo_.end() && groups_[*it].lo <= at + format::kBlockSpan + format::kHeaderSize; ++it) {
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
    for (std::uint32_t g = 0; g < groups_.size(); ++g) {
        const Group& group = groups_[g];
        if (!group.real)
            continue;
        for (std::size_t x = group.first; x < group.last; ++x) {
            const std::uint64_t next = c_[x].next;
            if (next == 0 || linkedInGroup_[x] || !(next >= group.hi || next + format::kBlockSpan <= group.lo))
                continue;
            Link link{static_cast<std::uint32_t>(x), g, OptionsFor(static_cast<std::uint32_t>(x), g)};
            if (!link.options.empty())
                links_.push_back(std::move(link));
        }
    }
    // Pieces of one file share links: count them per pair of groups.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint64_t> shared;
    for (const Link& link : links_)
        for (const Option& o : link.options)
            ++shared[std::minmax(link.g, o.group)];

    std::string head, tail;
    for (Link& link : links_) {
        for (Option& o : link.options) {
            o.affinity = shared[std::minmax(link.g, o.group)];
            if (o.block != kNone)
                o.text = Payload(o.block);
        }
        // Where the linking block's own text runs past the boundary its
        // piece ends at, the rest of it lies in the next piece too: that is
        // where the texts join.
        const Candidate& x = c_[link.x];
        const std::uint64_t textEnd = std::uint64_t{x.self} + format::kHeaderSize +
                                      (x.Deleted() ? format::kPayloadSize : x.DataLength());
        const std::uint64_t cut = x.next > x.self ? UniqueBoundary(std::uint64_t{x.self} + format::kHeaderSize,
                                                                   x.next, alignment_, alignmentSure_)
                                                  : 0;
        const bool crosses = cut != 0 && cut < textEnd;
        ChainText(link.x, crosses ? static_cast<std::size_t>(textEnd - cut) : 0, head, tail);
        for (Option& o : link.options) {
            std::string next;
            if (crosses && o.block != kNone) {
                next.resize(static_cast<std::size_t>(textEnd - cut));
                next.resize(image_.Read(static_cast<std::uint64_t>(static_cast<std::int64_t>(cut) + groups_[o.group].shift),
                                        next.data(), next.size()));
            }
            o.score = ContinuityScore(head, tail, next + o.text, next.size(), o.deleted);
            o.text.clear();  // only compared below; kept short
            o.text = next.substr(0, 64) + o.text;
        }
        std::stable_sort(link.options.begin(), link.options.end(), [](const Option& a, const Option& b) {
            return a.affinity != b.affinity ? a.affinity > b.affinity : a.score > b.score;
        });
    }
}

void Planner::Join()
{
    parent_.resize(groups_.size());
    std::iota(parent_.begin(), parent_.end(), 0u);
    extents_.resize(groups_.size());
    for (std::uint32_t g = 0; g < groups_.size(); ++g)
        extents_[g] = {{groups_[g].lo, groups_[g].hi}};
    // Links are decided in rounds, the surest first; a block one link
    // continues into is no longer open to the others, which may then decide.
    std::vector<std::uint8_t> claimed(c_.size(), 0);
    std::vector<Link*> pending;
    for (Link& link : links_)
        pending.push_back(&link);
    auto margin = [](const Link& link) {
        const auto& o = link.options;
        return o.size() < 2 ? std::int64_t{1} << 40
                            : (static_cast<std::int64_t>(o[0].affinity - o[1].affinity) << 20) + (o[0].score - o[1].score);
    };
    for (bool progress = true; progress && !pending.empty();) {
        progress = false;
        for (Link* link : pending)
            std::erase_if(link->options, [&](const Option& o) {
                return (o.block != kNone && claimed[o.block]) || Root(o.group) == Root(link->g);
            });
        std::erase_if(pending, [](const Link* link) { return link->options.empty(); });
        std::stable_sort(pending.begin(), pending.end(), [&](const Link* a, const Link* b) {
            const std::int64_t ma = margin(*a), mb = margin(*b);
            return ma != mb ? ma > mb : c_[a->x].Position() < c_[b->x].Position();
        });
        for (auto it = pending.begin(); it != pending.end();) {
            Link& link = **it;
            const Option& best = link.options[0];
            bool decided = best.score > -kDecisive && !(best.block != kNone && claimed[best.block]);
            if (decided && link.options.size() > 1) {
                const Option& second = link.options[1];
                // Two copies of the same bytes continue the text alike.
                decided = best.affinity > second.affinity || best.score - second.score >= kDecisive
                          || best.text == second.text;
            }
            if (!decided) {
                ++it;
                continue;
            }
            if (!Merge(link.g, best.group)) {
                ++counts_.linksRefused;  // it would make two pieces of one file overlap
                link.options.erase(link.options.begin());
                ++it;
                continue;
            }
            if (best.block != kNone)
                claimed[best.block] = 1;
            else
                boundaries_[{link.g, best.group}] = best.boundary;
            upperDecided_.insert(link.g);
            ++counts_.linksDecided;
            progress = true;
            it = pending.erase(it);
        }
    }
    counts_.linksUndecided += pending.size();
}

bool Planner::Merge(std::uint32_t lower, std::uint32_t upper)
{
    std::uint32_t a = Root(lower), b = Root(upper);
    if (a == b)
        return true;
    // The pieces of one file never overlap in its offsets. The smaller list
    // is checked against (and moved into) the larger one.
    if (extents_[a].size() < extents_[b].size())
        std::swap(a, b);
    auto& large = extents_[a];
    auto& small = extents_[b];
    const bool overlap = std::any_of(small.begin(), small.end(), [&](const Extent& e) {
        auto it = large.lower_bound({e.second, 0});  // the first extent starting at or after e's end
        return it != large.begin() && std::prev(it)->second > e.first;
    });
    if (overlap)
        return false;
    large.insert(small.begin(), small.end());
    small.clear();
    parent_[b] = a;
    return true;
}

void Planner::JoinNeighbours()
{
    // A piece that no link leads out of, whose last block reaches past the
    // one boundary the alignment allows there: the image either goes on with
    // its file there, or the piece ends and the piece whose first block
    // follows that boundary continues it. The texts decide; where they do
    // not, the piece is left as it lies.
    std::uint64_t budget = kNeighbourReadBudget;
    std::string head, tail;
    for (const std::uint32_t a : realByLo_) {
        const Group& low = groups_[a];
        const auto x = static_cast<std::uint32_t>(low.last - 1);
        const std::uint64_t end = std::uint64_t{low.maxSelf} + format::kBlockSpan;
        const std::uint64_t boundary = UniqueBoundary(std::uint64_t{low.maxSelf} + kNextFieldAt,
                                                      end + format::kHeaderSize - 1, alignment_, alignmentSure_);
        if (boundary == 0)
            continue;
        const std::uint64_t textEnd = std::uint64_t{low.maxSelf} + format::kHeaderSize +
                                      (c_[x].Deleted() ? format::kPayloadSize : c_[x].DataLength());
        if (textEnd > boundary)
            ChainText(x, static_cast<std::size_t>(textEnd - boundary), head, tail);
        // How well the text goes on across the boundary with the bytes a
        // piece of this shift holds there.
        auto score = [&](const Group& group) {
            int s = 0;
            if (boundary == std::uint64_t{low.maxSelf} + kNextFieldAt) {
                // The boundary cuts the last header before its link: the
                // link read there must end the chain or name a block of the
                // group that no block of its own links to.
                std::array<std::uint8_t, 4> word{};
                image_.Read(static_cast<std::uint64_t>(static_cast<std::int64_t>(boundary) + group.shift), word.data(), 4);
                const std::uint32_t next = format::LoadU32(word.data());
                const auto first = c_.begin() + static_cast<std::ptrdiff_t>(group.first);
                const auto last = c_.begin() + static_cast<std::ptrdiff_t>(group.last);
                const auto it = std::lower_bound(first, last, next, [](const Candidate& c, std::uint32_t v) { return c.self < v; });
                const bool names = it != last && it->self == next && pred_[static_cast<std::size_t>(it - c_.begin())] == kNone;
                s += next == 0 || names ? 2 * kDecisive : -2 * kDecisive;
            }
            if (textEnd > boundary) {
                std::string next(static_cast<std::size_t>(textEnd - boundary), '\0');
                next.resize(image_.Read(static_cast<std::uint64_t>(static_cast<std::int64_t>(boundary) + group.shift),
                                        next.data(), next.size()));
                s += ContinuityScore(head, tail, next);
            }
            return s;
        };
        // The image going on: its file's index follows within a segment,
        // before anything of another piece or file.
        const auto after = static_cast<std::uint64_t>(static_cast<std::int64_t>(end) + low.shift);
        std::uint64_t limit = std::min(after + format::kBlockSpan * 128, image_.Size());
        if (const auto h = std::lower_bound(shared_.begin(), shared_.end(), after); h != shared_.end())
            limit = std::min(limit, *h);
        if (const auto sig = std::lower_bound(signatures_.begin(), signatures_.end(), after); sig != signatures_.end())
            limit = std::min(limit, *sig);
        bool anyData = false;
        const bool goesOn = HoldsOwnOffset(image_, low.shift, after, std::max(after, limit), budget, &anyData);
        const int own = score(low) + (goesOn ? kDecisive : anyData ? -1 : 0);

        std::vector<std::pair<std::uint32_t, int>> options;  // group, score
        if (!upperDecided_.count(a)) {
            for (const std::uint32_t h : realByLo_) {
                const Group& high = groups_[h];
                if (high.lo < boundary || high.lo > boundary + format::kBlockSpan + format::kHeaderSize || Root(h) == Root(a)
                    || high.Overlaps(low))
                    continue;
                options.emplace_back(h, score(high));
                if (options.size() == kMaxOptions)
                    break;
            }
        }
        std::stable_sort(options.begin(), options.end(), [](const auto& p, const auto& q) { return p.second > q.second; });
        // A piece whose own bytes clearly do not go on ends at the boundary,
        // and so does one another piece goes on from as well as it does:
        // bytes that may be another file's are left out, not shown.
        if (own <= -kDecisive || (!options.empty() && options[0].second >= own))
            ends_[a] = static_cast<std::uint32_t>(boundary);
        if (options.empty())
            continue;
        const int rival = options.size() > 1 ? std::max(own, options[1].second) : own;
        const bool decided = options[0].second > -kDecisive
                             && (options[0].second - rival >= kDecisive || (options.size() == 1 && own < 0 && options[0].second >= 0));
        if (!decided) {
            ++counts_.linksUndecided;
            continue;
        }
        if (!Merge(a, options[0].first)) {
            ++counts_.linksRefused;
            continue;
        }
        ends_[a] = static_cast<std::uint32_t>(boundary);
        boundaries_[{a, options[0].first}] = static_cast<std::uint32_t>(boundary);
        ++counts_.neighboursJoined;
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
                boundary = UniqueBoundary(std::uint64_t{a.maxSelf} + kNextFieldAt, b.lo, alignment_, alignmentSure_);
            }
            if (boundary != 0) {
                spans[k].second = boundary;
                spans[k + 1].first = boundary;
            } else {
                spans[k].second = std::min(spans[k].second, spans[k + 1].first);
            }
        }
        // A piece known to end at a boundary maps nothing behind it.
        for (std::size_t k = 0; k < list.size(); ++k)
            if (const auto it = ends_.find(list[k]); it != ends_.end())
                spans[k].second = std::min<std::uint64_t>(spans[k].second, it->second);
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
    JoinNeighbours();
    return Files();
}

} // namespace

Layout PlanLayout(std::vector<Candidate>& candidates, const std::vector<std::uint64_t>& signatures,
                  const ByteSource& image)
{
    return Planner(candidates, signatures, image).Run();
}

} // namespace dbx
