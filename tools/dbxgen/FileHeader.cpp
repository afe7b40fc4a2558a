#include "tools/dbxgen/FileHeader.h"

#include "tools/dbxgen/OeLayout.h"

#include <algorithm>

namespace dbxgen {

namespace {

void Put(std::string& s, std::uint32_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<std::uint32_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace

std::string MakeFirstSector(const FileHeaderFields& f)
{
    using namespace oe;
    std::string s(kMiddleSectorStart, '\0');
    std::copy(kMessageFileSignature.begin(), kMessageFileSignature.end(), s.begin());
    Put(s, kHdrFileInfoLength, kFileInfoSize);
    Put(s, kHdrLastVariableSegment, f.lastVariableSegment);
    Put(s, kHdrVariableSegmentSize, kVariableSegmentSize);
    Put(s, kHdrLastVariableSegmentUsed, f.lastVariableSegmentUsed);
    Put(s, kHdrLastTreeSegment, f.lastTreeSegment);
    Put(s, kHdrTreeSegmentSize, kTreeSegmentSize);
    Put(s, kHdrLastTreeSegmentUsed, f.lastTreeSegmentUsed);
    Put(s, kHdrLastMessageSegment, f.lastMessageSegment);
    Put(s, kHdrMessageSegmentSize, kMessageSegmentSize);
    Put(s, kHdrLastMessageSegmentUsed, f.lastMessageSegmentUsed);
    Put(s, kHdrDeletedMessageList, f.deletedMessageList);
    Put(s, kHdrMiddleSectorUsed, f.middleSectorUsed);
    Put(s, kHdrMiddleSectorReusable, f.middleSectorReusable);
    Put(s, kHdrLastMessageIndex, f.lastMessageIndex);
    Put(s, kHdrConstantOne, 1);
    Put(s, kHdrUsedFileSize, f.usedFileSize);
    Put(s, kHdrMessageFileMark, 2);
    Put(s, kHdrMessageCount, f.messageCount);
    Put(s, kHdrMessageTreeRoot, f.messageTreeRoot);

    const std::uint32_t fi = kFileInfoOffset;
    Put(s, fi + kFiConstantOne, 1);
    s[fi + kFiSourceType] = static_cast<char>(kSourceLocalFolder);
    const std::size_t nameLen = std::min<std::size_t>(f.folderName.size(), kFiFolderNameMax - 1);
    s.replace(fi + kFiFolderName, nameLen, f.folderName, 0, nameLen);
    Put(s, fi + kFiSmallValue, 3);
    Put(s, fi + kFiConstants, 1);
    Put(s, fi + kFiConstants + 8, 0xFFA);
    Put(s, fi + kFiSession, 1);
    Put(s, fi + kFiTail, 0x00010001);
    return s;
}

} // namespace dbxgen
