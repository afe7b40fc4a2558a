#include "tools/dbxgen/MailboxBuilder.h"

#include "tools/dbxgen/FileHeader.h"
#include "tools/dbxgen/FolderIndex.h"
#include "tools/dbxgen/OeLayout.h"
#include "tools/dbxgen/Prng.h"

#include <limits>
#include <stdexcept>

namespace dbxgen {

namespace {

// Words of the text that occupied a body before: lower case and without
// colons, so that no header label can appear in it.
const std::vector<std::string> kStaleWords = {
    "thanks", "for", "the", "update", "we", "will", "send", "invoice", "next", "week",
    "please", "find", "attached", "regards", "meeting", "agenda", "moved", "to", "friday",
    "quoted", "printable", "boundary", "part", "old", "draft", "copy", "and", "see", "you",
};

std::string StaleText(Prng& prng, std::size_t n)
{
    std::string s;
    while (s.size() < n) {
        s += prng.Pick(kStaleWords);
        s += prng.Chance(0.1) ? "\r\n" : " ";
    }
    s.resize(n);
    return s;
}

} // namespace

void FillGarbage(DbxImage& image, std::uint32_t at, std::uint32_t length, std::uint64_t seed)
{
    Prng prng(seed);
    std::string noise(length, '\0');
    for (std::uint32_t i = 0; i < length; ++i)
        noise[i] = static_cast<char>(prng.Next() & 0xFF);
    image.PutBytes(at, noise);
    for (std::uint32_t q = (at + 3) & ~3u; q + 4 <= at + length; q += 4)
        if (image.GetU32(q) == q)
            image.PutU32(q, q ^ 0x5A5A5A5Au);
}

MailboxBuilder::MailboxBuilder(std::uint64_t seed) : seed_(seed) {}

int MailboxBuilder::Add(MailMessage message, bool deleted)
{
    messages_.emplace_back(std::move(message), deleted);
    return static_cast<int>(messages_.size()) - 1;
}

int MailboxBuilder::AddText(std::string text, bool deleted)
{
    return Add(MailMessage::FromText(std::move(text)), deleted);
}

void MailboxBuilder::Overwrite(int id, int block) { overwrites_.emplace_back(id, block); }

void MailboxBuilder::Relink(int id, int from, int to) { relinks_.push_back({id, from, to}); }

std::vector<std::pair<int, int>> MailboxBuilder::BlockOrder(const std::vector<int>& counts) const
{
    std::vector<std::pair<int, int>> order;
    const int n = static_cast<int>(counts.size());
    switch (options_.placement) {
    case Placement::Ascending:
    case Placement::Shuffled:
        for (int m = 0; m < n; ++m)
            for (int b = 0; b < counts[m]; ++b)
                order.emplace_back(m, b);
        if (options_.placement == Placement::Shuffled) {
            Prng prng(seed_ ^ 0x53485546464C45ull);
            prng.Shuffle(order);
        }
        break;
    case Placement::Descending:
        for (int m = 0; m < n; ++m)
            for (int b = counts[m] - 1; b >= 0; --b)
                order.emplace_back(m, b);
        break;
    case Placement::Interleaved:
        for (int round = 0, left = 1; left; ++round) {
            left = 0;
            for (int m = 0; m < n; ++m) {
                if (round < counts[m]) {
                    order.emplace_back(m, round);
                    left = 1;
                }
            }
        }
        break;
    }
    return order;
}

Mailbox MailboxBuilder::Build() const
{
    if (options_.gap % 4 != 0)
        throw std::invalid_argument("gap must be a multiple of 4");
    Prng prng(seed_);
    Mailbox box;

    // Cut every message into 512-byte pieces; an empty text still takes a block.
    std::vector<int> counts;
    std::vector<std::vector<std::size_t>> blockIds(messages_.size());
    for (std::size_t m = 0; m < messages_.size(); ++m) {
        const auto& [msg, deleted] = messages_[m];
        const std::size_t n = msg.text.empty() ? 1 : (msg.text.size() + oe::kBlockBodySize - 1) / oe::kBlockBodySize;
        counts.push_back(static_cast<int>(n));
        for (std::size_t k = 0; k < n; ++k) {
            Mailbox::Block b;
            b.deleted = deleted;
            b.message = static_cast<int>(m);
            const std::size_t from = k * oe::kBlockBodySize;
            b.body = msg.text.substr(std::min(from, msg.text.size()), oe::kBlockBodySize);
            b.length = static_cast<std::uint32_t>(b.body.size());
            const std::size_t slack = oe::kBlockBodySize - b.body.size();
            b.body += options_.staleSlack ? StaleText(prng, slack) : std::string(slack, '\0');
            blockIds[m].push_back(box.blocks_.size());
            box.blocks_.push_back(std::move(b));
        }
    }

    // Place them.
    const auto order = BlockOrder(counts);
    const std::uint64_t stride = oe::kBlockSpan + options_.gap;
    const std::uint64_t areaEnd = order.empty() ? oe::kMiddleSectorStart
                                  : options_.gap == 0
                                      ? oe::kMiddleSectorStart + (order.size() + oe::kBlocksPerSegment - 1)
                                                                 / oe::kBlocksPerSegment * oe::kMessageSegmentSize
                                      : oe::kMiddleSectorStart + order.size() * stride - options_.gap;
    if (areaEnd > std::numeric_limits<std::uint32_t>::max() - (64u << 20))
        throw std::invalid_argument("mailbox too large for 32-bit offsets");
    for (std::size_t s = 0; s < order.size(); ++s) {
        const auto& [m, k] = order[s];
        box.blocks_[blockIds[m][k]].offset = static_cast<std::uint32_t>(oe::kMiddleSectorStart + s * stride);
    }
    for (std::size_t m = 0; m < blockIds.size(); ++m)
        for (std::size_t k = 0; k + 1 < blockIds[m].size(); ++k)
            box.blocks_[blockIds[m][k]].next = box.blocks_[blockIds[m][k + 1]].offset;
    auto blockOf = [&](int id, int k) -> Mailbox::Block& {
        if (id < 0 || static_cast<std::size_t>(id) >= blockIds.size() || k < 0
            || static_cast<std::size_t>(k) >= blockIds[static_cast<std::size_t>(id)].size())
            throw std::invalid_argument("no such message block");
        return box.blocks_[blockIds[static_cast<std::size_t>(id)][static_cast<std::size_t>(k)]];
    };
    for (const auto& r : relinks_)
        blockOf(r.id, r.from).next = blockOf(r.id, r.to).offset;
    for (const auto& [id, k] : overwrites_)
        blockOf(id, k).damaged = true;

    // Freed message objects form a list through the first body word, the
    // last one freed at its head.
    std::uint32_t freeList = 0;
    std::uint32_t freedBytes = 0;
    for (std::size_t m = 0; m < blockIds.size(); ++m) {
        for (std::size_t id : blockIds[m]) {
            Mailbox::Block& b = box.blocks_[id];
            if (!b.deleted || b.damaged)
                continue;
            for (int i = 0; i < 4; ++i)
                b.body[static_cast<std::size_t>(i)] = static_cast<char>((freeList >> (8 * i)) & 0xFF);
            freeList = b.offset;
            freedBytes += oe::kFreedObjectSize;
        }
    }

    // The bytes of the message area.
    DbxImage& image = box.image_;
    image.Resize(areaEnd);
    for (const auto& b : box.blocks_) {
        if (b.deleted)
            image.PutHeader(b.offset, oe::kFreedFieldSize, oe::kFreedObjectSize, b.next);
        else
            image.PutHeader(b.offset, oe::kLiveBlockSize, b.length, b.next);
        image.PutBytes(b.offset + oe::kBlkBody, b.body);
    }
    if (options_.gap)
        for (std::size_t s = 0; s + 1 < order.size(); ++s)
            FillGarbage(image, static_cast<std::uint32_t>(oe::kMiddleSectorStart + s * stride + oe::kBlockSpan),
                        options_.gap, prng.Next());
    for (const auto& b : box.blocks_)
        if (b.damaged)
            FillGarbage(image, b.offset, oe::kBlockSpan, prng.Next());

    // Index and header.
    FolderIndex index;
    for (std::size_t m = 0; m < messages_.size(); ++m)
        if (!messages_[m].second)
            index.Add(messages_[m].first, static_cast<std::uint32_t>(m + 1),
                      box.blocks_[blockIds[m].front()].offset);
    const auto area = index.Serialize(static_cast<std::uint32_t>(areaEnd));
    image.PutBytes(areaEnd, area.bytes);

    FileHeaderFields h;
    h.folderName = options_.folderName;
    h.lastVariableSegment = area.lastVariableSegment;
    h.lastVariableSegmentUsed = area.lastVariableSegmentUsed;
    h.lastTreeSegment = area.lastTreeSegment;
    h.lastTreeSegmentUsed = area.lastTreeSegmentUsed;
    if (!order.empty()) {
        const auto last = order.size() - 1;
        h.lastMessageSegment = options_.gap ? oe::kMiddleSectorStart
                                            : static_cast<std::uint32_t>(
                                                oe::kMiddleSectorStart + last / oe::kBlocksPerSegment * oe::kMessageSegmentSize);
        h.lastMessageSegmentUsed = options_.gap ? static_cast<std::uint32_t>(areaEnd - oe::kMiddleSectorStart)
                                                : static_cast<std::uint32_t>((last % oe::kBlocksPerSegment + 1) * oe::kBlockSpan);
    }
    h.deletedMessageList = freeList;
    h.middleSectorUsed = static_cast<std::uint32_t>(order.size() * oe::kBlockSpan) + area.objectBytes;
    h.middleSectorReusable = freedBytes;
    h.lastMessageIndex = static_cast<std::uint32_t>(messages_.size());
    h.usedFileSize = static_cast<std::uint32_t>(image.Size());
    h.messageCount = static_cast<std::uint32_t>(index.Count());
    h.messageTreeRoot = area.treeRoot;
    image.PutBytes(0, MakeFirstSector(h));

    // What recovery yields.
    for (std::size_t m = 0; m < messages_.size(); ++m) {
        const auto& [msg, deleted] = messages_[m];
        ExpectedMessage e;
        e.id = static_cast<int>(m);
        e.deleted = deleted;
        for (std::size_t id : blockIds[m])
            e.placed.push_back(box.blocks_[id].offset);
        e.from = msg.from;
        e.to = msg.to;
        e.subject = msg.subject;
        e.hasAttachment = msg.hasAttachment;
        e.textLength = msg.text.size();
        box.messages_.push_back(std::move(e));
    }
    box.ComputeExpectations();
    return box;
}

} // namespace dbxgen
