#include "dbx/ChainText.h"

#include "dbx/DbxFormat.h"
#include "platform/GuardedRead.h"

#include <algorithm>
#include <cstring>

namespace dbx {

namespace {

constexpr std::size_t kSlot = format::kPayloadSize;
constexpr std::size_t kClobbered = format::kDeletedClobberedBytes;

} // namespace

void ChainText::Reset(const ByteSource& source, const EmailRecord& record)
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
    for (const BlockRef& block : record.blocks) {
        const std::uint64_t start = std::uint64_t{block.offset} + format::kHeaderSize;
        const std::uint64_t available = start < size ? size - start : 0;
        const auto length = static_cast<std::size_t>(
            std::min<std::uint64_t>(std::min(block.dataLength, format::kPayloadSize), available));
        // A block past the end contributes nothing (and no pointer past the view).
        const std::uint64_t from = std::min(start, size);
        pieces_.push_back({view_.empty() ? nullptr : view_.data() + from, from, length});
        end_ = kSlot * (pieces_.size() - 1) + (deleted_ ? std::max(length, kClobbered) : length);
        if (length < kSlot)
            break;
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

void ChainText::Release()
{
    std::vector<Piece>().swap(pieces_);
    view_ = {};
    source_ = nullptr;
    end_ = 0;
}

} // namespace dbx
