#include "tools/dbxgen/MailboxStream.h"

#include "tools/dbxgen/FileHeader.h"
#include "tools/dbxgen/OeLayout.h"

#include <limits>
#include <stdexcept>

namespace dbxgen {

namespace {

constexpr std::size_t kBufferSize = 4 << 20;

void Put(std::string& s, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace

MailboxStream::MailboxStream(const std::string& path, std::string folderName)
    : buffer_(new char[kBufferSize]), folderName_(std::move(folderName))
{
    out_.rdbuf()->pubsetbuf(buffer_.get(), kBufferSize);
    out_.open(path, std::ios::binary | std::ios::trunc);
    // The first sector is written last, when its fields are known.
    out_.write(std::string(oe::kMiddleSectorStart, '\0').data(), oe::kMiddleSectorStart);
}

std::uint64_t MailboxStream::MessageAreaEnd() const
{
    return oe::kMiddleSectorStart + blocks_ * oe::kBlockSpan;
}

std::vector<std::uint32_t> MailboxStream::Append(const MailMessage& m, bool deleted)
{
    using namespace oe;
    using oe::kBlockSpan, oe::kLiveBlockSize;  // not the image's own, of the same values
    const std::size_t n = m.text.empty() ? 1 : (m.text.size() + kBlockBodySize - 1) / kBlockBodySize;
    // Room for the index and a margin behind the last block.
    if (MessageAreaEnd() + n * kBlockSpan + (64u << 20) > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("message file would outgrow 32-bit offsets");

    std::vector<std::uint32_t> offsets(n);
    for (std::size_t k = 0; k < n; ++k)
        offsets[k] = static_cast<std::uint32_t>(MessageAreaEnd() + k * kBlockSpan);

    scratch_.assign(n * kBlockSpan, '\0');
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t at = k * kBlockSpan;
        const std::size_t from = k * kBlockBodySize;
        const std::size_t length = std::min<std::size_t>(kBlockBodySize, m.text.size() - std::min(from, m.text.size()));
        const std::uint32_t next = k + 1 < n ? offsets[k + 1] : 0;
        Put(scratch_, at + kBlkSelf, offsets[k]);
        Put(scratch_, at + kBlkSize, deleted ? kFreedFieldSize : kLiveBlockSize);
        Put(scratch_, at + kBlkLength, deleted ? kFreedObjectSize : static_cast<std::uint32_t>(length));
        Put(scratch_, at + kBlkNext, next);
        scratch_.replace(at + kBlkBody, length, m.text, from, length);
        if (deleted) { // the freed-object list runs through the first body word
            Put(scratch_, at + kBlkBody, freeList_);
            freeList_ = offsets[k];
            freedBytes_ += kFreedObjectSize;
        }
    }
    out_.write(scratch_.data(), static_cast<std::streamsize>(scratch_.size()));

    ++messages_;
    if (!deleted)
        index_.Add(m, messages_, offsets.front());
    blocks_ += n;
    return offsets;
}

std::uint64_t MailboxStream::Finish()
{
    using namespace oe;
    using oe::kBlockSpan, oe::kLiveBlockSize;  // not the image's own, of the same values
    const std::uint64_t segments = (blocks_ + kBlocksPerSegment - 1) / kBlocksPerSegment;
    const std::uint64_t areaEnd = kMiddleSectorStart + segments * kMessageSegmentSize;
    out_.write(std::string(areaEnd - MessageAreaEnd(), '\0').data(),
               static_cast<std::streamsize>(areaEnd - MessageAreaEnd()));
    const auto area = index_.Serialize(static_cast<std::uint32_t>(areaEnd));
    out_.write(area.bytes.data(), static_cast<std::streamsize>(area.bytes.size()));
    const std::uint64_t size = areaEnd + area.bytes.size();

    FileHeaderFields h;
    h.folderName = folderName_;
    h.lastVariableSegment = area.lastVariableSegment;
    h.lastVariableSegmentUsed = area.lastVariableSegmentUsed;
    h.lastTreeSegment = area.lastTreeSegment;
    h.lastTreeSegmentUsed = area.lastTreeSegmentUsed;
    if (blocks_) {
        h.lastMessageSegment = static_cast<std::uint32_t>(kMiddleSectorStart + (segments - 1) * kMessageSegmentSize);
        h.lastMessageSegmentUsed = static_cast<std::uint32_t>(((blocks_ - 1) % kBlocksPerSegment + 1) * kBlockSpan);
    }
    h.deletedMessageList = freeList_;
    h.middleSectorUsed = static_cast<std::uint32_t>(blocks_ * kBlockSpan + area.objectBytes);
    h.middleSectorReusable = freedBytes_;
    h.lastMessageIndex = messages_;
    h.usedFileSize = static_cast<std::uint32_t>(size);
    h.messageCount = static_cast<std::uint32_t>(index_.Count());
    h.messageTreeRoot = area.treeRoot;
    const std::string first = MakeFirstSector(h);
    out_.seekp(0);
    out_.write(first.data(), static_cast<std::streamsize>(first.size()));
    out_.close();
    return out_ ? size : 0;
}

} // namespace dbxgen
