#pragma once
// A former mail file as the carver put it together: pieces of an image, each
// a stretch of the file's offsets that lies in the image moved by its shift.
// Offsets no piece holds read as zeros and count as missing.

#include "dbx/ByteSource.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace dbx {

struct Piece {
    std::uint32_t from = 0;  // offsets [from, to) of the former file
    std::uint32_t to = 0;
    std::int64_t shift = 0;  // image position = offset + shift

    std::uint64_t Position(std::uint32_t offset) const { return static_cast<std::uint64_t>(offset + shift); }
    friend bool operator==(const Piece&, const Piece&) = default;
};

class PieceSource final : public ByteSource {
public:
    // `pieces` in ascending order, not overlapping, each inside the image.
    PieceSource(std::shared_ptr<const ByteSource> image, std::vector<Piece> pieces);

    // The former file ends where its last piece does.
    std::uint64_t Size() const override { return pieces_.empty() ? 0 : pieces_.back().to; }
    std::size_t Read(std::uint64_t pos, void* out, std::size_t n) const override;
    bool HasMissing(std::uint64_t pos, std::uint64_t n) const override;

    const std::vector<Piece>& Pieces() const { return pieces_; }
    // The piece holding `offset`, or nullptr when none does.
    const Piece* PieceAt(std::uint64_t offset) const;

private:
    std::shared_ptr<const ByteSource> image_;
    std::vector<Piece> pieces_;
};

} // namespace dbx
