#pragma once
// The first sector of a message file: the 0x24BC-byte file header and the
// file info object behind it.

#include <cstdint>
#include <string>

namespace dbxgen {

struct FileHeaderFields {
    std::string folderName = "Inbox";
    std::uint32_t lastVariableSegment = 0;
    std::uint32_t lastVariableSegmentUsed = 0;
    std::uint32_t lastTreeSegment = 0;
    std::uint32_t lastTreeSegmentUsed = 0;
    std::uint32_t lastMessageSegment = 0;
    std::uint32_t lastMessageSegmentUsed = 0;
    std::uint32_t deletedMessageList = 0; // first freed message object, 0 for none
    std::uint32_t middleSectorUsed = 0;
    std::uint32_t middleSectorReusable = 0;
    std::uint32_t lastMessageIndex = 0;
    std::uint32_t usedFileSize = 0;       // end of the middle sector
    std::uint32_t messageCount = 0;       // values in the message tree
    std::uint32_t messageTreeRoot = 0;
};

// The first oe::kMiddleSectorStart bytes of the file.
std::string MakeFirstSector(const FileHeaderFields& fields);

} // namespace dbxgen
