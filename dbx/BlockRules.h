#pragma once
// The test that makes 16 bytes a block header, in one place for the scan
// (which wants the header at the offset it names) and the carver (which
// takes it wherever it lies and groups it by how far it was moved).

#include "dbx/BlockRef.h"
#include "dbx/DbxFormat.h"

#include <cstdint>

namespace dbx {

enum class BlockKind : std::uint8_t { kNone, kLive, kDeleted };

struct BlockHeader {
    std::uint32_t self = 0;        // the offset the header names as its own
    std::uint32_t blockSize = 0;
    std::uint32_t dataLength = 0;
    std::uint32_t next = 0;
};

inline BlockHeader LoadBlockHeader(const std::uint8_t* p)
{
    return {format::LoadU32(p + format::kSelfOffsetAt), format::LoadU32(p + format::kBlockSizeAt),
            format::LoadU32(p + format::kDataLengthAt), format::LoadU32(p + format::kNextOffsetAt)};
}

// The kind of block a header's size and length words make it, whatever its
// self offset: live is 512 with a length of at most 512, deleted 508 with
// 528; anything else is no block.
inline BlockKind KindOf(std::uint32_t blockSize, std::uint32_t dataLength)
{
    if (blockSize == format::kLiveBlockSize && dataLength <= format::kMaxLiveDataLength)
        return BlockKind::kLive;
    if (blockSize == format::kDeletedBlockSize && dataLength == format::kDeletedDataLength)
        return BlockKind::kDeleted;
    return BlockKind::kNone;
}

// The block as the scan records it: a deleted block as 528/512, whatever it
// was before it was freed.
inline BlockRef RecordOf(const BlockHeader& h, BlockKind kind)
{
    if (kind == BlockKind::kDeleted)
        return {h.self, format::kDeletedRecordedBlockSize, format::kDeletedRecordedDataLength, h.next};
    return {h.self, format::kLiveBlockSize, h.dataLength, h.next};
}

} // namespace dbx
