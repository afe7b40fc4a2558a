#include "dbx/Scanner.h"

#include "dbx/BlockRules.h"
#include "dbx/DbxFormat.h"
#include "dbx/HeaderFields.h"
#include "platform/GuardedRead.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>

namespace dbx {

namespace {

using format::LoadU32;

constexpr std::uint64_t kChunkPositions = 1u << 16;  // 256 KiB per progress report
constexpr std::uint64_t kPagePositions = 1u << 10;   // 4 KiB: retry granularity after a fault
constexpr std::uint64_t kSweep = 16;                 // positions tested together

} // namespace

// State of one guarded stretch of the scan pass. Plain data only: a fault
// leaves the stretch by a non-local jump.
struct Stretch {
    struct Hit {
        BlockRef block;
        bool deleted;
    };
    const std::uint8_t* data;  // the bytes of position index `origin`
    std::uint64_t origin;
    std::uint64_t next;  // first position index not yet examined
    std::uint64_t end;
    std::size_t hitCount;
    std::array<Hit, 4096> hits;
};

namespace {

inline bool Examine(const std::uint8_t* data, std::uint64_t origin, std::uint64_t i, Stretch& s)
{
    const std::uint8_t* p = data + 4 * (i - origin);
    const auto position = static_cast<std::uint32_t>(4 * i);
    if (LoadU32(p) != position)
        return false;
    const BlockHeader header = LoadBlockHeader(p);
    const BlockKind kind = KindOf(header.blockSize, header.dataLength);
    if (kind == BlockKind::kNone)
        return false;
    s.hits[s.hitCount++] = {RecordOf(header, kind), kind == BlockKind::kDeleted};
    return true;
}

// Examines positions s.next .. s.end - 1 until the hit buffer is full. The
// common case, no header among 16 positions, costs one vector compare.
void ScanStretch(void* context)
{
    Stretch& s = *static_cast<Stretch*>(context);
    const std::uint8_t* const data = s.data;
    const std::uint64_t origin = s.origin;
    std::uint64_t i = s.next;
    const std::uint64_t end = s.end;
    while (i < end) {
        if (end - i >= kSweep) {
            const auto first = static_cast<std::uint32_t>(4 * i);
            const std::uint8_t* p = data + 4 * (i - origin);
            std::uint32_t any = 0;
            for (std::uint32_t k = 0; k < kSweep; ++k)
                any |= static_cast<std::uint32_t>(LoadU32(p + 4 * k) == first + 4 * k);
            if (!any) {
                i += kSweep;
                continue;
            }
        }
        const std::uint64_t stop = std::min(end, i + kSweep);
        for (; i < stop; ++i) {
            if (Examine(data, origin, i, s) && s.hitCount == s.hits.size()) {
                s.next = i + 1;
                return;
            }
        }
    }
    s.next = i;
}

} // namespace

Scanner::Scanner(DbxFile& file, IProgressSink& progress)
    : file_(file), progress_(progress), source_(file.Source()), view_(file.View())
{
}

Scanner::~Scanner() = default;

void Scanner::ReportStep(std::int64_t first, std::int64_t last)
{
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (first > kMax)
        return;
    progress_.SetPosRange(static_cast<std::int32_t>(first), static_cast<std::int32_t>(std::min(last, kMax)));
}

void Scanner::Run()
{
    const std::uint64_t size = source_.Size();
    // Positions a 32-bit selfOffset can name; the step total keeps the 20 %
    // allowance for the chain passes.
    const std::uint64_t quads = std::min<std::uint64_t>(size / 4, format::kMaxExaminedPositions + 4);
    const double total = static_cast<double>(quads) * 1.2;
    file_.scanned_ = true;
    progress_.SetTotal(static_cast<std::int32_t>(std::min(total, double{std::numeric_limits<std::int32_t>::max()})));

    const std::uint64_t positions = quads > 4 ? quads - 4 : 0;
    ScanPass(positions);

    AssembleMessages(deleted_, true);
    AssembleMessages(live_, false);
    std::vector<BlockRef>().swap(live_);
    std::vector<BlockRef>().swap(deleted_);
    ReleaseExtractBuffers();
}

bool Scanner::ScanGuarded(std::uint64_t from, std::uint64_t to, std::uint64_t& reached)
{
    Stretch& s = *stretch_;
    s.next = from;
    s.end = to;
    while (s.next < to) {
        const std::uint64_t start = s.next;
        s.hitCount = 0;
        if (!platform::RunGuarded(view_.data(), view_.size(), ScanStretch, &s)) {
            reached = start;  // what this stretch found is not trustworthy
            return false;
        }
        for (std::size_t h = 0; h < s.hitCount; ++h)
            (s.hits[h].deleted ? deleted_ : live_).push_back(s.hits[h].block);
    }
    reached = to;
    return true;
}

void Scanner::ScanPass(std::uint64_t positions)
{
    stretch_ = std::make_unique<Stretch>();
    if (view_.empty()) {
        ScanUnmapped(positions);
        stretch_.reset();
        return;
    }
    stretch_->data = reinterpret_cast<const std::uint8_t*>(view_.data());
    stretch_->origin = 0;
    std::uint64_t i = 0;
    while (i < positions) {
        const std::uint64_t chunkEnd = std::min(positions, i + kChunkPositions);
        std::uint64_t reached = i;
        if (!ScanGuarded(i, chunkEnd, reached)) {
            // The file was truncated behind the mapping: keep what the pages
            // before the first unreadable one hold, and end the pass there.
            for (std::uint64_t page = reached; page < chunkEnd;) {
                const std::uint64_t pageEnd = std::min(chunkEnd, page + kPagePositions);
                if (!ScanGuarded(page, pageEnd, reached))
                    break;
                page = pageEnd;
            }
            ReportStep(step_, static_cast<std::int64_t>(reached) - 1);
            step_ = static_cast<std::int64_t>(reached);
            break;
        }
        ReportStep(step_, static_cast<std::int64_t>(chunkEnd) - 1);
        step_ = static_cast<std::int64_t>(chunkEnd);
        i = chunkEnd;
    }
    stretch_.reset();
}

void Scanner::ScanUnmapped(std::uint64_t positions)
{
    // A source that is not mapped is read a chunk at a time, with the 12
    // bytes the last position's header needs beyond it.
    std::vector<std::uint8_t> buffer(4 * kChunkPositions + format::kHeaderSize);
    Stretch& s = *stretch_;
    for (std::uint64_t i = 0; i < positions;) {
        const std::uint64_t chunkEnd = std::min(positions, i + kChunkPositions);
        const std::size_t want = static_cast<std::size_t>(4 * (chunkEnd - i)) + format::kHeaderSize - 4;
        const std::size_t got = source_.Read(4 * i, buffer.data(), want);
        // A source that ends early (it cannot, unless broken) ends the pass.
        const std::uint64_t readable = got < format::kHeaderSize ? i : i + (got - format::kHeaderSize) / 4 + 1;
        const std::uint64_t end = std::min(chunkEnd, readable);
        s.data = buffer.data();
        s.origin = i;
        s.next = i;
        s.end = end;
        while (s.next < end) {
            s.hitCount = 0;
            ScanStretch(&s);
            for (std::size_t h = 0; h < s.hitCount; ++h)
                (s.hits[h].deleted ? deleted_ : live_).push_back(s.hits[h].block);
        }
        ReportStep(step_, static_cast<std::int64_t>(end) - 1);
        step_ = static_cast<std::int64_t>(end);
        if (end < chunkEnd)
            break;
        i = chunkEnd;
    }
}

void Scanner::AssembleMessages(const std::vector<BlockRef>& list, bool deleted)
{
    const std::size_t n = list.size();
    if (n == 0)
        return;
    // The scan produced the list in ascending offset order; searches go over
    // a dense copy of the offsets.
    std::vector<std::uint32_t> offsets(n);
    for (std::size_t i = 0; i < n; ++i)
        offsets[i] = list[i].offset;

    auto find = [&](std::uint32_t key, std::size_t at) -> std::size_t {
        // Blocks usually follow each other in the file, one way or the other.
        if (at + 1 < n && offsets[at + 1] == key)
            return at + 1;
        if (at > 0 && offsets[at - 1] == key)
            return at - 1;
        const auto it = std::lower_bound(offsets.begin(), offsets.end(), key);
        return it != offsets.end() && *it == key ? static_cast<std::size_t>(it - offsets.begin()) : n;
    };

    // Which blocks start chains. In file order, a block starts one unless an
    // earlier chain went through it or the next block links back to it. The
    // blocks a chain goes through are marked as it would go; past a block an
    // earlier chain already marked, that chain marked everything that can
    // still matter, so each block is visited about once.
    std::vector<std::uint8_t> used(n, 0);
    std::vector<std::uint32_t> starts;
    for (std::size_t j = 0; j < n; ++j) {
        if (used[j])
            continue;
        if (j + 1 < n && list[j + 1].nextOffset == list[j].offset)
            continue;
        starts.push_back(static_cast<std::uint32_t>(j));
        for (std::size_t k = find(list[j].nextOffset, j); k != n && k != j && !used[k];) {
            used[k] = 1;
            if (list[k].nextOffset == 0)
                break;
            k = find(list[k].nextOffset, k);
        }
    }
    std::vector<std::uint8_t>().swap(used);

    // The chains themselves, walked from the highest start down: a chain that
    // runs through other starts (a message stored backwards, say) is walked
    // before them. Past the work budget a chain stops at a block that one
    // walked before it holds, so the full message still comes out whole and
    // only its overlapping pieces are cut.
    std::vector<std::uint32_t> chainOf(n, 0);  // the chain that last took a block: ends cycles
    std::vector<std::uint8_t> taken(n, 0);
    const std::uint64_t budget =
        std::min<std::uint64_t>(Scanner::kStepsPerBlock * n, source_.Size() / Scanner::kBytesPerStep)
        + Scanner::kStepAllowance;
    std::uint64_t steps = 0;
    std::uint32_t chainId = 0;
    const std::size_t firstRecord = file_.records_.size();

    // Each kind has its own record budget, so that fake deleted fragments
    // can never push out a file's existing mail.
    const std::uint64_t maxRecords = source_.Size() / Scanner::kBytesPerRecord + Scanner::kRecordAllowance;
    EmailRecord work;
    for (auto start = starts.rbegin(); start != starts.rend(); ++start) {
        if (file_.records_.size() - firstRecord >= maxRecords) {
            file_.omittedChains_ += static_cast<std::uint64_t>(starts.rend() - start);
            break;
        }
        work.blocks.clear();
        ++chainId;
        std::size_t current = *start;
        chainOf[current] = chainId;
        taken[current] = 1;
        std::uint32_t key = list[current].nextOffset;
        const std::int64_t firstStep = step_;
        for (;;) {
            const std::size_t k = find(key, current);
            ++step_;
            ++steps;
            work.blocks.push_back(list[current]);
            if (k == n)
                break;
            if (chainOf[k] == chainId)
                break;  // a link back into this chain: end it instead of looping
            if (steps > budget && taken[k])
                break;
            current = k;
            chainOf[current] = chainId;
            taken[current] = 1;
            key = list[current].nextOffset;
            if (key == 0) {
                work.blocks.push_back(list[current]);
                break;
            }
        }
        ReportStep(firstStep, step_ - 1);

        work.isDeleted = deleted;
        if (ExtractHeader(source_, work)) {
            file_.records_.push_back(std::move(work));
            work = EmailRecord{};
        }
    }
    // Listed in the order of the chains' first blocks.
    std::reverse(file_.records_.begin() + static_cast<std::ptrdiff_t>(firstRecord), file_.records_.end());
}

void DbxFile::Scan(IProgressSink& progress)
{
    if (!IsOpen() || !records_.empty())
        return;
    Scanner(*this, progress).Run();
}

} // namespace dbx
