#include "tools/dbxgen/FolderIndex.h"

#include "tools/dbxgen/MessageTree.h"
#include "tools/dbxgen/MimeText.h"
#include "tools/dbxgen/OeLayout.h"

#include <stdexcept>

namespace dbxgen {

namespace {

std::string OriginalSubject(const std::string& subject)
{
    for (const char* prefix : {"Re: ", "RE: ", "Fw: ", "FW: ", "Fwd: "}) {
        const std::string p(prefix);
        if (subject.compare(0, p.size(), p) == 0)
            return subject.substr(p.size());
    }
    return subject;
}

} // namespace

void FolderIndex::Add(const MailMessage& m, std::uint32_t index, std::uint32_t firstBlock)
{
    using namespace oe;
    IndexedInfo info;
    const std::uint64_t sent = m.date ? FileTimeFromUnix(m.date) : 0;
    const std::uint64_t received = m.date ? FileTimeFromUnix(m.date + 97) : 0;
    info.AddDirect(kMiIndex, index);
    info.AddDirect(kMiFlags, kFlagDownloaded | kFlagRead | (m.hasAttachment ? kFlagHasAttachment : 0));
    info.AddFileTime(kMiSentTime, sent);
    info.AddU32(kMiMessagePointer, firstBlock);
    info.AddString(kMiOriginalSubject, OriginalSubject(m.subject));
    info.AddFileTime(kMiSavedTime, received);
    if (!m.messageId.empty())
        info.AddString(kMiMessageId, m.messageId);
    info.AddString(kMiSubject, m.subject);
    info.AddString(kMiSenderAddressAndName, m.from);
    info.AddString(kMiSenderName, m.senderName.empty() ? m.senderAddress : m.senderName);
    info.AddString(kMiSenderAddress, m.senderAddress);
    info.AddDirect(kMiPriority, 3);
    info.AddDirect(kMiTextLength, static_cast<std::uint32_t>(m.text.size()));
    info.AddFileTime(kMiReceivedTime, received);
    info.AddString(kMiReceiverName, m.receiverName.empty() ? m.receiverAddress : m.receiverName);
    info.AddString(kMiReceiverAddress, m.receiverAddress);
    info.AddString(kMiAccountName, "pop.example.net");
    info.AddString(kMiAccountKey, "00000001");
    infos_.push_back(std::move(info));
}

FolderIndex::Area FolderIndex::Serialize(std::uint32_t base) const
{
    using namespace oe;
    if (base % 4 != 0)
        throw std::invalid_argument("index area not 4-aligned");
    Area area;
    if (infos_.empty())
        return area;

    // Info objects, a new variable segment whenever the next one does not fit.
    std::uint32_t segment = base;
    std::uint32_t used = 0;
    area.bytes.assign(kVariableSegmentSize, '\0');
    for (const auto& info : infos_) {
        const std::uint32_t size = info.Size();
        if (size > kVariableSegmentSize)
            throw std::length_error("message info larger than a segment");
        if (used + size > kVariableSegmentSize) {
            segment += kVariableSegmentSize;
            used = 0;
            area.bytes.resize(area.bytes.size() + kVariableSegmentSize, '\0');
        }
        const std::uint32_t at = segment + used;
        area.bytes.replace(at - base, size, info.Serialize(at));
        area.infoOffsets.push_back(at);
        used += size;
        area.objectBytes += size;
    }
    area.lastVariableSegment = segment;
    area.lastVariableSegmentUsed = used;

    // The tree, in whole tree segments (25 nodes each, back to back).
    const std::uint32_t treeBase = segment + kVariableSegmentSize;
    const MessageTree tree(area.infoOffsets, treeBase);
    const std::uint32_t nodes = tree.NodeCount();
    const std::uint32_t segments = (nodes + kNodesPerTreeSegment - 1) / kNodesPerTreeSegment;
    std::string treeBytes = tree.Bytes();
    treeBytes.resize(static_cast<std::size_t>(segments) * kTreeSegmentSize, '\0');
    area.bytes += treeBytes;
    area.treeRoot = tree.Root();
    area.lastTreeSegment = treeBase + (segments - 1) * kTreeSegmentSize;
    area.lastTreeSegmentUsed = (nodes - (segments - 1) * kNodesPerTreeSegment) * kTreeNodeSize;
    area.objectBytes += nodes * kTreeNodeSize;
    return area;
}

} // namespace dbxgen
