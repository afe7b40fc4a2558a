#pragma once
// A minimal reader of Outlook Express message files, written apart from the
// fixture maker (its own offsets, from the published format notes) so that
// the tests check the maker's output against an independent reading:
// header, message tree, message-info objects, message chains and the list
// of freed message objects.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing_oe {

struct ListedMessage {
    std::uint32_t info = 0;       // offset of its message-info object
    std::uint32_t number = 0;     // message number (index 0x00)
    std::uint32_t firstBlock = 0; // index 0x04
    std::uint32_t textLength = 0; // index 0x11
    std::string subject;          // index 0x08
    std::vector<std::uint32_t> blocks; // chain from firstBlock
    std::string text;             // concatenated text segments
};

struct OeFile {
    bool signatureOk = false;
    std::uint32_t usedFileSize = 0;  // header 0x7C
    std::uint32_t messageCount = 0;  // header 0xC4
    std::uint32_t treeRoot = 0;      // header 0xE4
    std::uint32_t lastIndex = 0;     // header 0x5C
    std::string folderName;          // file info
    std::vector<ListedMessage> listed;       // tree order
    std::vector<std::uint32_t> freedBlocks;  // the freed-message list from header 0x48
    std::vector<std::pair<std::uint32_t, std::uint32_t>> extents; // [begin, end) of every object read
    std::vector<std::string> errors; // every inconsistency met
};

std::uint32_t U32(std::string_view bytes, std::size_t at);
OeFile ReadOeFile(std::string_view bytes);

struct FoundHeader {
    std::uint32_t offset;
    bool deleted;
    std::uint32_t next;
};
// Every 4-aligned position whose 16 bytes form a live or a freed block header.
std::vector<FoundHeader> FindBlockHeaders(std::string_view bytes);

// The first pair of overlapping extents, as text; empty when none overlap.
std::string FirstOverlap(std::vector<std::pair<std::uint32_t, std::uint32_t>> extents);

} // namespace testing_oe
