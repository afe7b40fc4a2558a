#include "dbx/PieceSource.h"

#include <algorithm>
#include <cstring>

namespace dbx {

PieceSource::PieceSource(std::shared_ptr<const ByteSource> image, std::vector<Piece> pieces)
    : image_(std::move(image)), pieces_(std::move(pieces))
{
}

const Piece* PieceSource::PieceAt(std::uint64_t offset) const
{
    // The first piece ending after the offset holds it, if any does.
    const auto it = std::upper_bound(pieces_.begin(), pieces_.end(), offset,
                                     [](std::uint64_t o, const Piece& p) { return o < p.to; });
    return it != pieces_.end() && it->from <= offset ? &*it : nullptr;
}

std::size_t PieceSource::Read(std::uint64_t pos, void* out, std::size_t n) const
{
    const std::uint64_t size = Size();
    if (pos >= size)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size - pos));
    auto* bytes = static_cast<std::uint8_t*>(out);
    std::size_t done = 0;
    auto it = std::upper_bound(pieces_.begin(), pieces_.end(), pos,
                               [](std::uint64_t o, const Piece& p) { return o < p.to; });
    while (done < n) {
        const std::uint64_t at = pos + done;
        if (it == pieces_.end() || at < it->from) {
            // A gap: up to the next piece.
            const std::uint64_t gapEnd = it == pieces_.end() ? size : it->from;
            const auto zeros = static_cast<std::size_t>(std::min<std::uint64_t>(n - done, gapEnd - at));
            std::memset(bytes + done, 0, zeros);
            done += zeros;
            continue;
        }
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(n - done, it->to - at));
        const std::size_t got = image_->Read(static_cast<std::uint64_t>(static_cast<std::int64_t>(at) + it->shift),
                                             bytes + done, take);
        if (got < take)
            std::memset(bytes + done + got, 0, take - got);  // past the end of the image
        done += take;
        ++it;
    }
    return done;
}

bool PieceSource::HasMissing(std::uint64_t pos, std::uint64_t n) const
{
    const std::uint64_t end = std::min(pos + n, Size());
    for (std::uint64_t at = pos; at < end;) {
        const Piece* piece = PieceAt(at);
        if (!piece)
            return true;
        const std::uint64_t stop = std::min<std::uint64_t>(end, piece->to);
        if (image_->HasMissing(static_cast<std::uint64_t>(static_cast<std::int64_t>(at) + piece->shift), stop - at))
            return true;
        at = stop;
    }
    return false;
}

} // namespace dbx
