#pragma once
// The index part of a message file: one message-info object per listed
// message, packed into variable segments, and the message tree over them.

#include "tools/dbxgen/IndexedInfo.h"
#include "tools/dbxgen/MailMessage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dbxgen {

class FolderIndex {
public:
    // Lists a message: `index` is its message number, `firstBlock` the offset
    // of its first message object. The folder lists messages in this order.
    void Add(const MailMessage& message, std::uint32_t index, std::uint32_t firstBlock);
    std::size_t Count() const { return infos_.size(); }

    struct Area {
        std::string bytes;                  // everything, from the base offset on
        std::uint32_t treeRoot = 0;         // 0 when nothing is listed
        std::uint32_t lastVariableSegment = 0;
        std::uint32_t lastVariableSegmentUsed = 0;
        std::uint32_t lastTreeSegment = 0;
        std::uint32_t lastTreeSegmentUsed = 0;
        std::uint32_t objectBytes = 0;      // bytes taken by objects (not free segment space)
        std::vector<std::uint32_t> infoOffsets; // message-info objects, in listing order
    };
    // Lays the area out from `base` (4-aligned): whole variable segments with
    // the info objects, then whole tree segments with the tree nodes.
    Area Serialize(std::uint32_t base) const;

private:
    std::vector<IndexedInfo> infos_;
};

} // namespace dbxgen
