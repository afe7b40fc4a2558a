#pragma once
#include <cstdint>

namespace dbx {

// One data block of an e-mail, as found by the scan.
struct BlockRef {
    std::uint32_t offset = 0;      // file offset of the block header; payload at offset + 16
    std::uint32_t blockSize = 0;   // 512 live, 528 deleted; recorded, not consulted later
    std::uint32_t dataLength = 0;  // payload bytes of the message: 0..512 live, 512 deleted
    std::uint32_t nextOffset = 0;  // header offset of the next block; 0 in the last one

    friend bool operator==(const BlockRef&, const BlockRef&) = default;
};

} // namespace dbx
