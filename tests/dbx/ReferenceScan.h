#pragma once
// The block scan written the plain way, step by step as the engine's rules
// state it, with nothing made fast: the yardstick the engine's scan is
// compared with. The one change to the literal rules is the agreed one: a
// chain ends at the first block that is already in it.

#include "dbx/EmailRecord.h"
#include "dbx/HeaderFields.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace dbxtest {

inline std::uint32_t ReferenceU32(std::string_view bytes, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

// One chain pass over `list` (ascending offsets), appending qualifying
// records to `records`.
inline void ReferenceAssemble(std::string_view bytes, const std::vector<dbx::BlockRef>& list, bool deleted,
                              std::vector<dbx::EmailRecord>& records)
{
    const std::size_t n = list.size();
    // Binary search over the offsets, compared as unsigned values.
    auto lookup = [&](std::uint32_t key) -> std::size_t {
        std::size_t lo = 0, hi = n;
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (list[mid].offset == key)
                return mid;
            if (list[mid].offset < key)
                lo = mid + 1;
            else
                hi = mid;
        }
        return n;
    };
    auto inChain = [](const dbx::EmailRecord& r, const dbx::BlockRef& b) {
        return std::find(r.blocks.begin(), r.blocks.end(), b) != r.blocks.end();
    };

    std::vector<bool> used(n, false);
    for (std::size_t j = 0; j < n; ++j) {
        if (used[j])
            continue;
        if (j + 1 < n && list[j + 1].nextOffset == list[j].offset)
            continue;
        dbx::EmailRecord work;
        std::size_t current = j;
        std::uint32_t key = list[current].nextOffset;
        for (;;) {
            const std::size_t k = lookup(key);
            if (k == n) {
                work.blocks.push_back(list[current]);
                break;
            }
            work.blocks.push_back(list[current]);
            if (inChain(work, list[k]))
                break;
            current = k;
            key = list[current].nextOffset;
            used[k] = true;
            if (key == 0) {
                work.blocks.push_back(list[current]);
                break;
            }
        }
        work.isDeleted = deleted;
        if (dbx::ExtractHeader(bytes, work))
            records.push_back(work);
    }
}

// Every record the scan of a file holding `bytes` lists, in its order.
inline std::vector<dbx::EmailRecord> ReferenceScan(std::string_view bytes)
{
    std::vector<dbx::BlockRef> live, deleted;
    const std::size_t quads = bytes.size() / 4;
    for (std::size_t i = 0; i + 4 < quads; ++i) {
        const std::size_t p = 4 * i;
        const std::uint32_t self = ReferenceU32(bytes, p);
        const std::uint32_t blockSize = ReferenceU32(bytes, p + 4);
        const std::uint32_t dataLength = ReferenceU32(bytes, p + 8);
        const std::uint32_t next = ReferenceU32(bytes, p + 12);
        if (self != p)
            continue;
        if (blockSize == 512 && dataLength <= 512)
            live.push_back({self, 512, dataLength, next});
        if (blockSize == 508 && dataLength == 528)
            deleted.push_back({self, 528, 512, next});
    }
    std::vector<dbx::EmailRecord> records;
    ReferenceAssemble(bytes, deleted, true, records);
    ReferenceAssemble(bytes, live, false, records);
    return records;
}

} // namespace dbxtest
