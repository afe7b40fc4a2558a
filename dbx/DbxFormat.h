#pragma once
// The one on-disk structure the engine relies on: the message data block.
// All integers are 32-bit little-endian; offsets count from the file start.
// See FORMAT.md for the layout as we understand it.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace dbx::format {

// Block header: four 32-bit values followed by the payload.
constexpr std::size_t kSelfOffsetAt = 0;  // file offset of this header
constexpr std::size_t kBlockSizeAt = 4;   // 512 live, 508 deleted
constexpr std::size_t kDataLengthAt = 8;  // payload bytes (live) or 528 (deleted)
constexpr std::size_t kNextOffsetAt = 12; // header offset of the next block, 0 = last
constexpr std::uint32_t kHeaderSize = 16;
constexpr std::uint32_t kPayloadSize = 512;
// A block whole, header and payload; 64-bit so that sums with offsets never wrap.
constexpr std::uint64_t kBlockSpan = kHeaderSize + kPayloadSize;  // 528

constexpr std::uint32_t kLiveBlockSize = 0x200;     // 512
constexpr std::uint32_t kMaxLiveDataLength = 0x200; // 512
constexpr std::uint32_t kDeletedBlockSize = 0x1FC;  // 508
constexpr std::uint32_t kDeletedDataLength = 0x210; // 528 = header + full payload

// What the scan records for a deleted block (its header says 508/528).
constexpr std::uint32_t kDeletedRecordedBlockSize = 528;
constexpr std::uint32_t kDeletedRecordedDataLength = 512;

// Bytes at the start of each deleted block's payload that the free-space
// bookkeeping overwrote; they are shown as spaces.
constexpr std::size_t kDeletedClobberedBytes = 4;

// Only offsets a 32-bit selfOffset can name are examined.
constexpr std::uint64_t kMaxExaminedPositions = 1ULL << 30;

inline std::uint32_t LoadU32(const std::uint8_t* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    return v;
}

} // namespace dbx::format
