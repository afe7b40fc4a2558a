#include "dbx/Scanner.h"

#include "dbx/BlockRules.h"
#include "dbx/DbxFormat.h"
#include "dbx/HeaderFields.h"
#include "dbx/Simd.h"
#include "platform/GuardedRead.h"
#include "platform/WorkerPool.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <limits>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if QUILLMEND_WIDE_SIMD
#include <immintrin.h>
#endif

namespace dbx {

namespace {

using format::LoadU32;

constexpr std::uint64_t kPagePositions = 1u << 10;  // 4 KiB: retry granularity after a fault
constexpr std::uint64_t kSweep = 16;                // positions tested together

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

#if QUILLMEND_WIDE_SIMD
// How many of the `count` positions from `p` on, 32 at a step, name none of
// themselves (the first names `first`); AVX2 only.
__attribute__((target("avx2"))) std::uint64_t QuietPositionsWide(const std::uint8_t* p, std::uint32_t first,
                                                                std::uint64_t count)
{
    const __m256i step = _mm256_set1_epi32(32);
    __m256i at0 = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(first)),
                                   _mm256_setr_epi32(0, 4, 8, 12, 16, 20, 24, 28));
    std::uint64_t k = 0;
    for (; k + 32 <= count; k += 32) {
        const auto* v = reinterpret_cast<const __m256i*>(p + 4 * k);
        const __m256i at1 = _mm256_add_epi32(at0, step), at2 = _mm256_add_epi32(at1, step);
        const __m256i at3 = _mm256_add_epi32(at2, step);
        const __m256i named = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi32(_mm256_loadu_si256(v), at0),
                                                              _mm256_cmpeq_epi32(_mm256_loadu_si256(v + 1), at1)),
                                              _mm256_or_si256(_mm256_cmpeq_epi32(_mm256_loadu_si256(v + 2), at2),
                                                              _mm256_cmpeq_epi32(_mm256_loadu_si256(v + 3), at3)));
        if (!_mm256_testz_si256(named, named))
            break;
        at0 = _mm256_add_epi32(at3, step);
    }
    return k;
}
#endif

// Examines positions s.next .. s.end - 1 until the hit buffer is full. The
// common case, no header among 16 positions, costs one vector compare.
void ScanStretch(void* context)
{
    Stretch& s = *static_cast<Stretch*>(context);
    const std::uint8_t* const data = s.data;
    const std::uint64_t origin = s.origin;
    std::uint64_t i = s.next;
    const std::uint64_t end = s.end;
#if QUILLMEND_WIDE_SIMD
    const bool wide = simd::Wide();
#endif
    while (i < end) {
#if QUILLMEND_WIDE_SIMD
        // Most of a file names no position: 32 of them skipped per test.
        if (wide)
            i += QuietPositionsWide(data + 4 * (i - origin), static_cast<std::uint32_t>(4 * i), end - i);
#endif
        if (end - i >= kSweep) {
            const auto first = static_cast<std::uint32_t>(4 * i);
            const std::uint8_t* p = data + 4 * (i - origin);
#if defined(__SSE2__)
            // x86 is little-endian: the words compare as they lie. Bit k of
            // the mask: position i + k names itself.
            const auto load = [p](int k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p) + k); };
            const __m128i at = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(first)), _mm_set_epi32(12, 8, 4, 0));
            const __m128i step = _mm_set1_epi32(16);
            const __m128i at1 = _mm_add_epi32(at, step), at2 = _mm_add_epi32(at1, step), at3 = _mm_add_epi32(at2, step);
            auto mask = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_packs_epi16(_mm_packs_epi32(_mm_cmpeq_epi32(load(0), at), _mm_cmpeq_epi32(load(1), at1)),
                                _mm_packs_epi32(_mm_cmpeq_epi32(load(2), at2), _mm_cmpeq_epi32(load(3), at3)))));
            for (; mask != 0; mask &= mask - 1) {
                const std::uint64_t hit = i + static_cast<unsigned>(__builtin_ctz(mask));
                if (Examine(data, origin, hit, s) && s.hitCount == s.hits.size()) {
                    s.next = hit + 1;
                    return;
                }
            }
            i += kSweep;
            continue;
#else
            std::uint32_t any = 0;
            for (std::uint32_t k = 0; k < kSweep; ++k)
                any |= static_cast<std::uint32_t>(LoadU32(p + 4 * k) == first + 4 * k);
            if (!any) {
                i += kSweep;
                continue;
            }
#endif
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

// Room in `found` for the blocks of `positions` as real mail lays them out
// (one block per 528 bytes), of either kind, so that the lists do not copy
// themselves as they grow; memory that stays unused is never touched. Files
// packed more densely grow the lists as usual.
void Reserve(Scanner::Found& found, std::uint64_t positions)
{
    const auto blocks = static_cast<std::size_t>(positions * 4 / format::kBlockSpan + 64);
    found.live.reserve(blocks);
    found.deleted.reserve(blocks);
}

// Drops the blocks whose header lies past `readable`: found before the
// file was cut in front of them, they can no longer be read, and the chain
// passes would fault on each.
void DropPast(Scanner::Found& found, std::uint64_t readable)
{
    const auto gone = [readable](const BlockRef& b) { return b.offset + std::uint64_t{format::kHeaderSize} > readable; };
    std::erase_if(found.live, gone);
    std::erase_if(found.deleted, gone);
}

void Keep(const Stretch& s, Scanner::Found& found)
{
    for (std::size_t h = 0; h < s.hitCount; ++h)
        (s.hits[h].deleted ? found.deleted : found.live).push_back(s.hits[h].block);
}

// Examines positions [from, to) of the mapped `view` into `found`, a
// guarded stretch at a time. False when a read faulted (the file was cut
// behind the mapping): `reached` is then where the stretch that faulted
// began, and what it found is dropped.
bool ScanGuarded(std::string_view view, Stretch& s, Scanner::Found& found, std::uint64_t from, std::uint64_t to,
                 std::uint64_t& reached)
{
    s.data = reinterpret_cast<const std::uint8_t*>(view.data());
    s.origin = 0;
    s.next = from;
    s.end = to;
    while (s.next < to) {
        const std::uint64_t start = s.next;
        s.hitCount = 0;
        if (!platform::RunGuarded(view.data(), view.size(), ScanStretch, &s)) {
            reached = start;
            return false;
        }
        Keep(s, found);
    }
    reached = to;
    return true;
}

// The same for one piece of the pass, and where the file was cut, what the
// pages before the first unreadable one hold. Returns where the readable
// part ends: `to` unless the file was cut.
std::uint64_t ScanPiece(std::string_view view, Stretch& s, Scanner::Found& found, std::uint64_t from,
                        std::uint64_t to)
{
    std::uint64_t reached = from;
    if (ScanGuarded(view, s, found, from, to, reached))
        return to;
    for (std::uint64_t page = reached; page < to;) {
        const std::uint64_t pageEnd = std::min(to, page + kPagePositions);
        if (!ScanGuarded(view, s, found, page, pageEnd, reached))
            break;
        page = pageEnd;
    }
    return reached;
}

} // namespace

Scanner::Scanner(DbxFile& file, IProgressSink& progress, const ScanOptions& options)
    : file_(file), progress_(progress), options_(options), source_(file.Source()), view_(file.View())
{
    options_.piecePositions = std::max<std::uint64_t>(options_.piecePositions, kSweep);
    options_.roundChains = std::max<std::size_t>(options_.roundChains, 1);
    // A source that is not mapped is read by one thread: its readers keep
    // a cache.
    const unsigned threads = options_.threads != 0 ? options_.threads : platform::WorkerThreads();
    if (view_.empty() || threads <= 1)
        return;
    if (options_.threads == 0) {
        pool_ = &platform::SharedWorkers();
    } else {
        ownPool_ = std::make_unique<platform::WorkerPool>(threads);
        pool_ = ownPool_.get();
    }
}

Scanner::~Scanner() = default;

void Scanner::Share(const std::function<void(unsigned)>& job)
{
    if (pool_)
        pool_->Run(job);
    else
        job(0u);
}

void Scanner::ReportStep(std::int64_t first, std::int64_t last)
{
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (first > kMax || last < first)
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
    // The pass reports every position it examined: fewer means it met the
    // cut. A cut inside the last page, or one during the chain passes,
    // shows only in the file's size.
    const bool passCut = step_ < static_cast<std::int64_t>(positions);
    if (const std::uint64_t readable = source_.ReadableSize(); readable < size)
        DropPast(found_, readable);

    AssembleMessages(found_.deleted, true);
    AssembleMessages(found_.live, false);
    file_.cutWhileScanned_ = passCut || source_.ReadableSize() < size;
    found_ = Found{};
    if (pool_)
        pool_->Run([](unsigned) { ReleaseExtractBuffers(); });
    else
        ReleaseExtractBuffers();
}

void Scanner::ScanPass(std::uint64_t positions)
{
    if (view_.empty()) {
        ScanUnmapped(positions);
        return;
    }
    if (pool_ && positions > options_.piecePositions) {
        ScanShared(positions);
        return;
    }
    // One thread: the pass in pieces, each reported as it is done.
    Reserve(found_, positions);
    auto stretch = std::make_unique<Stretch>();
    for (std::uint64_t i = 0; i < positions;) {
        const std::uint64_t pieceEnd = std::min(positions, i + options_.piecePositions);
        const std::uint64_t reached = ScanPiece(view_, *stretch, found_, i, pieceEnd);
        ReportStep(step_, static_cast<std::int64_t>(reached) - 1);
        step_ = static_cast<std::int64_t>(reached);
        if (reached < pieceEnd)
            break;  // the file was cut: the pass ends at the first unreadable page
        i = pieceEnd;
    }
}

void Scanner::ScanShared(std::uint64_t positions)
{
    // Threads take pieces in file order; each keeps what it finds in a list
    // of its own, and the lists are put together in piece order after.
    const std::uint64_t pieces = (positions + options_.piecePositions - 1) / options_.piecePositions;
    struct PieceState {
        std::atomic<std::uint8_t> state{0};  // 0 not done, 1 whole, 2 cut short (the file shrank)
        unsigned slot = 0;
        std::size_t live = 0, deleted = 0;   // where its blocks lie in that thread's lists
        std::size_t liveEnd = 0, deletedEnd = 0;
        std::uint64_t reached = 0;
    };
    std::vector<PieceState> done(pieces);
    std::vector<Found> found(pool_->Threads());
    std::atomic<std::uint64_t> next{0};
    std::atomic<std::uint64_t> stopAt{pieces};  // pieces from here on are not needed
    std::uint64_t reported = 0;                 // pieces reported as done

    // A step per piece, as the scan on one thread reports them, so that a
    // progress bar moves as evenly.
    const auto reportDone = [&] {
        while (reported < pieces && done[reported].state.load(std::memory_order_acquire) == 1) {
            ++reported;
            const auto end = static_cast<std::int64_t>(std::min(positions, reported * options_.piecePositions));
            ReportStep(step_, end - 1);
            step_ = std::max(step_, end);
        }
    };
    Share([&](unsigned slot) {
        auto stretch = std::make_unique<Stretch>();
        Found& mine = found[slot];
        Reserve(mine, positions / pool_->Threads());
        for (std::uint64_t p; (p = next.fetch_add(1, std::memory_order_relaxed)) < stopAt.load(std::memory_order_relaxed);) {
            const std::uint64_t from = p * options_.piecePositions;
            const std::uint64_t to = std::min(positions, from + options_.piecePositions);
            PieceState& piece = done[p];
            piece.slot = slot;
            piece.live = mine.live.size();
            piece.deleted = mine.deleted.size();
            piece.reached = ScanPiece(view_, *stretch, mine, from, to);
            piece.liveEnd = mine.live.size();
            piece.deletedEnd = mine.deleted.size();
            const bool cut = piece.reached < to;
            if (cut) {
                std::uint64_t stop = stopAt.load(std::memory_order_relaxed);
                while (p + 1 < stop && !stopAt.compare_exchange_weak(stop, p + 1, std::memory_order_relaxed))
                    ;
            }
            piece.state.store(cut ? 2 : 1, std::memory_order_release);
            if (slot == 0)
                reportDone();  // only the calling thread talks to the progress sink
        }
    });
    reportDone();

    // The lists in piece order, up to the first piece that was cut short.
    std::size_t live = 0, deleted = 0;
    for (const Found& f : found) {
        live += f.live.size();
        deleted += f.deleted.size();
    }
    found_.live.reserve(live);
    found_.deleted.reserve(deleted);
    for (std::uint64_t p = 0; p < pieces; ++p) {
        const PieceState& piece = done[p];
        const Found& from = found[piece.slot];
        const auto at = [](const std::vector<BlockRef>& v, std::size_t i) { return v.begin() + static_cast<std::ptrdiff_t>(i); };
        found_.live.insert(found_.live.end(), at(from.live, piece.live), at(from.live, piece.liveEnd));
        found_.deleted.insert(found_.deleted.end(), at(from.deleted, piece.deleted), at(from.deleted, piece.deletedEnd));
        if (piece.state.load(std::memory_order_relaxed) == 2) {
            ReportStep(step_, static_cast<std::int64_t>(piece.reached) - 1);
            step_ = static_cast<std::int64_t>(piece.reached);
            break;
        }
    }
}

void Scanner::ScanUnmapped(std::uint64_t positions)
{
    // A source that is not mapped is read a piece at a time, with the 12
    // bytes the last position's header needs beyond it.
    const std::uint64_t piece = options_.piecePositions;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(4 * piece) + format::kHeaderSize);
    auto stretch = std::make_unique<Stretch>();
    Stretch& s = *stretch;
    for (std::uint64_t i = 0; i < positions;) {
        const std::uint64_t pieceEnd = std::min(positions, i + piece);
        const std::size_t want = static_cast<std::size_t>(4 * (pieceEnd - i)) + format::kHeaderSize - 4;
        const std::size_t got = source_.Read(4 * i, buffer.data(), want);
        // A source that ends early (it cannot, unless broken) ends the pass.
        const std::uint64_t readable = got < format::kHeaderSize ? i : i + (got - format::kHeaderSize) / 4 + 1;
        const std::uint64_t end = std::min(pieceEnd, readable);
        s.data = buffer.data();
        s.origin = i;
        s.next = i;
        s.end = end;
        while (s.next < end) {
            s.hitCount = 0;
            ScanStretch(&s);
            Keep(s, found_);
        }
        ReportStep(step_, static_cast<std::int64_t>(end) - 1);
        step_ = static_cast<std::int64_t>(end);
        if (end < pieceEnd)
            break;
        i = pieceEnd;
    }
}

void DbxFile::Scan(IProgressSink& progress)
{
    Scan(progress, ScanOptions{});
}

void DbxFile::Scan(IProgressSink& progress, const ScanOptions& options)
{
    if (!IsOpen() || !records_.empty())
        return;
    Scanner(*this, progress, options).Run();
}

} // namespace dbx
