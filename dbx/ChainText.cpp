#include "dbx/ChainText.h"

#include "dbx/DbxFormat.h"
#include "dbx/TextSearch.h"
#include "platform/GuardedRead.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dbx {

namespace {

constexpr std::size_t kSlot = format::kPayloadSize;
constexpr std::size_t kClobbered = format::kDeletedClobberedBytes;

} // namespace

void ChainText::Reset(const ByteSource& source, const EmailRecord& record, std::size_t most)
{
    source_ = &source;
    const std::uint64_t size = source.Size();
    view_ = source.Mapped() ? std::string_view(reinterpret_cast<const char*>(source.Mapped()), static_cast<std::size_t>(size))
                            : std::string_view();
    deleted_ = record.isDeleted;
    pieces_.clear();
    end_ = 0;
    // Every slot before the last is full, so a text position p lies in slot
    // p / 512. A slot that is not full ends the text: nothing after it counts.
    const char* const base = view_.empty() ? nullptr : view_.data();
    for (const BlockRef& block : record.blocks) {
        // A block past the end contributes nothing (and no pointer past the view).
        const std::uint64_t from = std::min(std::uint64_t{block.offset} + format::kHeaderSize, size);
        const auto length = static_cast<std::size_t>(
            std::min<std::uint64_t>(std::min(block.dataLength, format::kPayloadSize), size - from));
        pieces_.push_back({base ? base + from : nullptr, from, length});
        if (length < kSlot || kSlot * pieces_.size() >= most)
            break;
    }
    if (!pieces_.empty()) {
        const std::size_t last = pieces_.back().length;
        end_ = kSlot * (pieces_.size() - 1) + (deleted_ ? std::max(last, kClobbered) : last);
    }
}

namespace {

// One guarded copy. Plain data only: a fault leaves Run by a non-local jump,
// and `done` then counts the bytes of the slots copied whole before it.
template <class P>
struct CopyRun {
    const P* pieces;
    bool deleted;
    std::size_t pos;
    char* out;
    std::size_t n;
    volatile std::size_t done;

    static void Run(void* context)
    {
        auto& c = *static_cast<CopyRun*>(context);
        std::size_t w = 0;
        while (w < c.n) {
            const std::size_t p = c.pos + w;
            const P& piece = c.pieces[p / kSlot];
            const std::size_t o = p % kSlot;
            const std::size_t textLength = c.deleted ? std::max(piece.length, kClobbered) : piece.length;
            const std::size_t take = std::min(textLength - o, c.n - w);
            if (o < piece.length)
                std::memcpy(c.out + w, piece.source + o, std::min(take, piece.length - o));
            if (c.deleted && o < kClobbered)
                std::memset(c.out + w, ' ', std::min(take, kClobbered - o));
            w += take;
            c.done = w;
        }
    }
};

} // namespace

std::size_t ChainText::ReadUnmapped(std::size_t pos, char* out, std::size_t n)
{
    // Slot by slot from the source; a short read is the end of the source.
    std::size_t w = 0;
    while (w < n) {
        const std::size_t p = pos + w;
        const Piece& piece = pieces_[p / kSlot];
        const std::size_t o = p % kSlot;
        const std::size_t textLength = deleted_ ? std::max(piece.length, kClobbered) : piece.length;
        const std::size_t take = std::min(textLength - o, n - w);
        if (o < piece.length) {
            const std::size_t want = std::min(take, piece.length - o);
            const std::size_t got = source_->Read(piece.at + o, out + w, want);
            if (got < want) {
                end_ = p + got;
                return w + got;
            }
        }
        if (deleted_ && o < kClobbered)
            std::memset(out + w, ' ', std::min(take, kClobbered - o));
        w += take;
    }
    return n;
}

std::size_t ChainText::Read(std::size_t pos, char* out, std::size_t n)
{
    if (pos >= end_ || n == 0)
        return 0;
    n = std::min(n, end_ - pos);
    if (view_.empty()) {
        n = ReadUnmapped(pos, out, n);
    } else {
        CopyRun<Piece> copy{pieces_.data(), deleted_, pos, out, n, 0};
        if (!platform::RunGuarded(view_.data(), view_.size(), &CopyRun<Piece>::Run, &copy)) {
            n = copy.done;  // the file shrank: the text ends before the slot that failed
            end_ = pos + n;
        }
    }
    if (const void* zero = std::memchr(out, '\0', n)) {
        n = static_cast<std::size_t>(static_cast<const char*>(zero) - out);
        end_ = pos + n;
    }
    return n;
}

namespace {

// The in-place label search over a chain's slots, in one guarded run. Plain
// data only: a fault leaves Run by a non-local jump, and then nothing of it
// is used.
struct InPlaceSearch {
    static constexpr std::size_t kSeam = 24;  // the longest label, less one byte
    static_assert(kSeam <= 32, "the look for a label's first byte covers 32 bytes of the tail");
    static constexpr std::size_t kMaxLabels = 32;

    const ChainText::Piece* pieces;
    std::size_t count;
    const char* viewEnd;  // the end of the mapped bytes
    bool deleted;
    const TextSearcher* labels;
    std::uint32_t missing;
    std::size_t found[kMaxLabels];
    std::size_t end;  // where the text ends, when the search reached it

    // Labels that may begin in the last bytes of the full slot before
    // (`tail`) or in this slot's spaces, and run on into this slot: searched
    // in a small copy of the seam. Only a match that begins there counts;
    // one that begins later is found in the slot itself.
    void SearchSeam(const char* tail, std::size_t tailLength, const char* slot, std::size_t head, std::size_t length,
                    std::size_t pos)
    {
        char seam[2 * kSeam + kClobbered];
        bool built = false;
        std::size_t seamLength = 0;
#if defined(__SSE2__)
        // The tail is the end of a full slot: its last 32 bytes, loaded once
        // for every label's look for its first byte.
        __m128i tailBytes[2] = {};
        if (tailLength > 0) {
            tailBytes[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tail + tailLength - 32));
            tailBytes[1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tail + tailLength - 16));
        }
#endif
        for (std::uint32_t left = missing; left != 0; left &= left - 1) {
            const auto l = static_cast<std::size_t>(__builtin_ctz(left));
            const std::string_view needle = labels[l].Needle();
            const std::size_t reach = std::min(tailLength, needle.size() - 1);
            bool maybe = head > 0 && needle[0] == ' ';
            if (!maybe && reach > 0) {
#if defined(__SSE2__)
                const __m128i first = _mm_set1_epi8(needle[0]);
                const auto at = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(tailBytes[0], first)))
                                | static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(tailBytes[1], first))) << 16;
                maybe = (at >> (32 - reach)) != 0;
#else
                maybe = std::memchr(tail + tailLength - reach, needle[0], reach) != nullptr;
#endif
            }
            if (!maybe)
                continue;
            if (!built) {
                if (tailLength > 0)
                    std::memcpy(seam, tail, tailLength);
                std::memset(seam + tailLength, ' ', head);
                const std::size_t more = std::min(length - head, kSeam);
                const void* zero = std::memchr(slot + head, '\0', more);
                const std::size_t taken = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - (slot + head)) : more;
                std::memcpy(seam + tailLength + head, slot + head, taken);
                seamLength = tailLength + head + taken;
                built = true;
            }
            const std::size_t hit = labels[l].FindIn(std::string_view(seam, seamLength));
            if (hit != std::string_view::npos && hit < tailLength + head) {
                found[l] = pos - tailLength + hit;
                missing &= ~(1u << l);
            }
        }
    }

    static void Run(void* context)
    {
        auto& s = *static_cast<InPlaceSearch*>(context);
        const char* tail = nullptr;
        std::size_t tailLength = 0;
        for (std::size_t k = 0; k < s.count && s.missing != 0; ++k) {
            const ChainText::Piece& piece = s.pieces[k];
            const std::size_t pos = k * kSlot;
            // The slot's text: spaces over a deleted block's first bytes,
            // then the file's bytes up to the first zero.
            const std::size_t textLength = s.deleted ? std::max(piece.length, kClobbered) : piece.length;
            const std::size_t head = s.deleted ? kClobbered : 0;
            const char* const slot = piece.source;
            const std::size_t length = std::max(piece.length, head);  // bytes of the file from `head` on: length - head
            if (tailLength > 0 || head > 0)
                s.SearchSeam(tail, tailLength, slot, head, length, pos);
            std::size_t zero = length;
            if (s.missing != 0 && length > head) {
                if ((s.missing & (s.missing - 1)) == 0) {
                    // One label left (the attachment mark, as a rule): one
                    // pass finds it or the end of the text.
                    const auto l = static_cast<std::size_t>(__builtin_ctz(s.missing));
                    const TextSearcher& label = s.labels[l];
                    // The bytes after a slot are most often the next block's.
                    const std::size_t hit =
                        static_cast<std::size_t>(s.viewEnd - (slot + length)) >= label.ReadOn()
                            ? label.FindBeforeZeroReadingOn(slot + head, length - head, zero)
                            : label.FindBeforeZero(slot + head, length - head, zero);
                    zero += head;
                    if (hit != std::string_view::npos) {
                        s.found[l] = pos + head + hit;
                        s.missing = 0;
                        break;
                    }
                } else {
                    const void* z = std::memchr(slot + head, '\0', length - head);
                    zero = z ? static_cast<std::size_t>(static_cast<const char*>(z) - slot) : length;
                    const std::string_view text(slot + head, zero - head);
                    for (std::uint32_t left = s.missing; left != 0; left &= left - 1) {
                        const auto l = static_cast<std::size_t>(__builtin_ctz(left));
                        const std::size_t hit = s.labels[l].FindIn(text);
                        if (hit != std::string_view::npos) {
                            s.found[l] = pos + head + hit;
                            s.missing &= ~(1u << l);
                        }
                    }
                }
            }
            if (zero < length || textLength < kSlot) {
                s.end = pos + std::min(zero, textLength);
                break;
            }
            tail = slot + kSlot - kSeam;
            tailLength = kSeam;
        }
    }
};

} // namespace

bool ChainText::FindInPlace(const TextSearcher* labels, std::uint32_t wanted, std::size_t* found)
{
    if (view_.empty() || wanted == 0)
        return !view_.empty();
    InPlaceSearch search{pieces_.data(), pieces_.size(), view_.data() + view_.size(), deleted_, labels, wanted, {},
                         std::string_view::npos};
    for (std::size_t& f : search.found)
        f = std::string_view::npos;
    if (!platform::RunGuarded(view_.data(), view_.size(), &InPlaceSearch::Run, &search))
        return false;
    for (std::uint32_t left = wanted; left != 0; left &= left - 1) {
        const auto l = static_cast<std::size_t>(__builtin_ctz(left));
        found[l] = search.found[l];
    }
    if (search.end < end_)
        end_ = search.end;  // the first zero: reads stop there as well
    return true;
}

void ChainText::Release()
{
    std::vector<Piece>().swap(pieces_);
    view_ = {};
    source_ = nullptr;
    end_ = 0;
}

} // namespace dbx
