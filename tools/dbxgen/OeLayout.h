#pragma once
// The Outlook Express 5/6 message-file layout, as far as the fixture maker
// writes it: every size, field offset and constant in one place. All
// integers on disk are 32-bit little-endian unless noted; offsets are from
// the start of the file. See tools/dbxgen/FORMAT.md for the picture.

#include <array>
#include <cstdint>

namespace dbxgen::oe {

// ---- File header (first sector) -------------------------------------------
constexpr std::uint32_t kFileHeaderSize = 0x24BC;

// Magic, the message-database class id and the two version words: 28 bytes.
constexpr std::array<std::uint8_t, 28> kMessageFileSignature = {
    0xCF, 0xAD, 0x12, 0xFE,                         // same in every .dbx file
    0xC5, 0xFD, 0x74, 0x6F,                         // message file (folders.dbx: C6)
    0x66, 0xE3, 0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0, // rest of the class id
    0x4F, 0xA3, 0x09, 0xD4,
    0x05, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, // version words
};

// Header fields (byte offsets into the file header).
constexpr std::uint32_t kHdrFileInfoLength = 0x1C;
constexpr std::uint32_t kHdrLastVariableSegment = 0x24;
constexpr std::uint32_t kHdrVariableSegmentSize = 0x28;
constexpr std::uint32_t kHdrLastVariableSegmentUsed = 0x2C;
constexpr std::uint32_t kHdrLastTreeSegment = 0x30;
constexpr std::uint32_t kHdrTreeSegmentSize = 0x34;
constexpr std::uint32_t kHdrLastTreeSegmentUsed = 0x38;
constexpr std::uint32_t kHdrLastMessageSegment = 0x3C;
constexpr std::uint32_t kHdrMessageSegmentSize = 0x40;
constexpr std::uint32_t kHdrLastMessageSegmentUsed = 0x44;
constexpr std::uint32_t kHdrDeletedMessageList = 0x48; // first freed message object
constexpr std::uint32_t kHdrDeletedTreeList = 0x4C;
constexpr std::uint32_t kHdrMiddleSectorUsed = 0x54;
constexpr std::uint32_t kHdrMiddleSectorReusable = 0x58;
constexpr std::uint32_t kHdrLastMessageIndex = 0x5C;   // highest message number handed out
constexpr std::uint32_t kHdrConstantOne = 0x64;        // always 1
constexpr std::uint32_t kHdrUsedFileSize = 0x7C;       // end of the middle sector
constexpr std::uint32_t kHdrMessageFileMark = 0x80;    // 2 in message files
constexpr std::uint32_t kHdrMessageCount = 0xC4;       // values in the message tree
constexpr std::uint32_t kHdrWatchedCount = 0xC8;       // values in the watched/ignored tree
constexpr std::uint32_t kHdrMessageTreeRoot = 0xE4;
constexpr std::uint32_t kHdrWatchedTreeRoot = 0xE8;

// ---- File info (follows the header) -----------------------------------------
constexpr std::uint32_t kFileInfoOffset = kFileHeaderSize;
constexpr std::uint32_t kFileInfoSize = 0x618;
constexpr std::uint32_t kFiConstantOne = 0x000;
constexpr std::uint32_t kFiSourceType = 0x004;    // one byte: 0 news, 1 IMAP, 3 local folder
constexpr std::uint32_t kFiAccountKey = 0x005;    // zero-terminated
constexpr std::uint32_t kFiFolderName = 0x105;    // zero-terminated, name given at creation
constexpr std::uint32_t kFiFolderNameMax = 0x100; // bytes, terminator included
constexpr std::uint32_t kFiSmallValue = 0x210;
constexpr std::uint32_t kFiConstants = 0x214;     // 01 00 00 00 00 00 00 00 FA 0F 00 00
constexpr std::uint32_t kFiSession = 0x220;       // session number of the last change
constexpr std::uint32_t kFiTail = 0x348;          // 01 00 01 00
constexpr std::uint8_t kSourceLocalFolder = 3;

// Objects start after the first sector: the middle sector.
constexpr std::uint32_t kMiddleSectorStart = kFileInfoOffset + kFileInfoSize; // 0x2AD4

// ---- Segments of the middle sector -----------------------------------------
constexpr std::uint32_t kVariableSegmentSize = 0xC000; // message-info objects
constexpr std::uint32_t kTreeSegmentSize = 0x3E1C;     // 25 tree nodes
constexpr std::uint32_t kMessageSegmentSize = 0xF780;  // 120 message objects

// ---- Message object: one data block of a message's text ---------------------
// Live:    {self, 0x200, text bytes in this block (0..512), next} + 512-byte body.
// Freed:   {self, 0x1FC, 0x210, next left as it was} + body whose first four
//          bytes now link to the next freed message object.
constexpr std::uint32_t kBlockHeaderSize = 16;
constexpr std::uint32_t kBlockBodySize = 0x200;
constexpr std::uint32_t kBlockSpan = kBlockHeaderSize + kBlockBodySize; // 0x210
constexpr std::uint32_t kLiveBlockSize = 0x200;
constexpr std::uint32_t kFreedFieldSize = kBlockSpan - 0x14; // 0x1FC
constexpr std::uint32_t kFreedObjectSize = kBlockSpan;       // 0x210
constexpr std::uint32_t kBlkSelf = 0;
constexpr std::uint32_t kBlkSize = 4;
constexpr std::uint32_t kBlkLength = 8;
constexpr std::uint32_t kBlkNext = 12;
constexpr std::uint32_t kBlkBody = 16;
constexpr std::uint32_t kBlocksPerSegment = kMessageSegmentSize / kBlockSpan; // 120

// ---- Tree node: the message index --------------------------------------------
constexpr std::uint32_t kTreeNodeSize = 0x27C;
constexpr std::uint32_t kTreeNodeHeaderSize = 0x18;
constexpr std::uint32_t kTreeEntrySize = 12; // {value, child node, values under child}
constexpr std::uint32_t kTreeMaxEntries = 0x33;
constexpr std::uint32_t kTnSelf = 0;
constexpr std::uint32_t kTnLeftChild = 8;       // values below the first entry's value
constexpr std::uint32_t kTnParent = 12;
constexpr std::uint32_t kTnNodeId = 16;         // one byte
constexpr std::uint32_t kTnEntryCount = 17;     // one byte
constexpr std::uint32_t kTnLeftChildCount = 20;
constexpr std::uint32_t kNodesPerTreeSegment = kTreeSegmentSize / kTreeNodeSize; // 25

// ---- Indexed info: the message-info object -----------------------------------
// Header {self, body length, u16 object length, u8 entry count, u8 changes},
// then entry count 4-byte entries {u8 index | 0x80 when the value is direct,
// u24 value or offset into the data field}, then the data field.
constexpr std::uint32_t kInfoHeaderSize = 12;
constexpr std::uint32_t kIiSelf = 0;
constexpr std::uint32_t kIiBodyLength = 4;
constexpr std::uint32_t kIiObjectLength = 8; // u16
constexpr std::uint32_t kIiEntryCount = 10;  // u8
constexpr std::uint32_t kIiChanges = 11;     // u8
constexpr std::uint8_t kIiDirect = 0x80;

// Message-info indexes.
enum MessageInfoIndex : std::uint8_t {
    kMiIndex = 0x00,           // message number (direct)
    kMiFlags = 0x01,
    kMiSentTime = 0x02,        // FILETIME
    kMiMessagePointer = 0x04,  // first message object of the text
    kMiOriginalSubject = 0x05, // subject without "Re:"
    kMiSavedTime = 0x06,       // FILETIME
    kMiMessageId = 0x07,
    kMiSubject = 0x08,
    kMiSenderAddressAndName = 0x09,
    kMiSenderName = 0x0D,
    kMiSenderAddress = 0x0E,
    kMiPriority = 0x10,        // 1 high, 3 normal, 5 low
    kMiTextLength = 0x11,      // header and body bytes
    kMiReceivedTime = 0x12,    // FILETIME
    kMiReceiverName = 0x13,
    kMiReceiverAddress = 0x14,
    kMiAccountName = 0x1A,
    kMiAccountKey = 0x1B,
};

// Message flags.
constexpr std::uint32_t kFlagDownloaded = 0x01;
constexpr std::uint32_t kFlagMarked = 0x20;
constexpr std::uint32_t kFlagRead = 0x80;
constexpr std::uint32_t kFlagHasAttachment = 0x4000;

} // namespace dbxgen::oe
