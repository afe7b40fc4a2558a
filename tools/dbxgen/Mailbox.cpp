#include "tools/dbxgen/Mailbox.h"

#include "tools/dbxgen/OeLayout.h"
#include "tools/dbxgen/ScanModel.h"

#include <algorithm>
#include <set>

namespace dbxgen {

namespace {

// Whether the scan examines a block header at `offset` in a file of `size`
// bytes: positions 4*i for i < floor(size/4) - 4.
bool Examined(std::uint32_t offset, std::size_t size)
{
    const std::size_t words = size / 4;
    return words > 4 && offset % 4 == 0 && offset / 4 < words - 4;
}

} // namespace

std::vector<const ExpectedMessage*> Mailbox::RecoveryOrder() const
{
    std::vector<const ExpectedMessage*> order;
    for (const auto& m : messages_)
        if (m.startsChain && !m.blocks.empty())
            order.push_back(&m);
    std::sort(order.begin(), order.end(), [](const ExpectedMessage* a, const ExpectedMessage* b) {
        if (a->deleted != b->deleted)
            return a->deleted;
        return a->blocks.front() < b->blocks.front();
    });
    return order;
}

void Mailbox::Truncate(std::size_t size)
{
    if (size >= image_.Size())
        return;
    image_.Resize(size);
    ComputeExpectations();
}

std::string Mailbox::ChainText(const std::vector<std::uint32_t>& chain) const
{
    std::string text;
    for (std::uint32_t offset : chain) {
        // Every offset of a chain came from the model, so the block exists.
        const Block* b = &blocks_[intact_.at(offset)];
        std::string part = b->deleted ? b->body : b->body.substr(0, b->length);
        if (b->deleted)
            part.replace(0, 4, "    ");
        const std::size_t start = static_cast<std::size_t>(offset) + oe::kBlkBody;
        const std::size_t avail = image_.Size() > start ? image_.Size() - start : 0;
        if (part.size() > avail)
            part.resize(avail); // the file ends inside this block
        text += part;
    }
    return text;
}

void Mailbox::ComputeExpectations()
{
    std::vector<ScanBlock> found;
    intact_.clear();
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        const Block& b = blocks_[i];
        if (b.damaged)
            continue;
        intact_[b.offset] = i;
        if (Examined(b.offset, image_.Size()))
            found.push_back({b.offset, b.next, b.deleted});
    }
    const ScanModel model(found);
    const auto starts = model.Starts();
    const std::set<std::pair<bool, std::uint32_t>> startSet(starts.begin(), starts.end());

    std::set<std::pair<bool, std::uint32_t>> firstBlocks;
    for (auto& m : messages_) {
        const std::uint32_t first = m.placed.front();
        firstBlocks.insert({m.deleted, first});
        m.blocks = model.Follow(first, m.deleted);
        m.text = ChainText(m.blocks);
        m.startsChain = startSet.count({m.deleted, first}) != 0;
    }

    partial_.clear();
    for (const auto& [deleted, offset] : starts) {
        if (firstBlocks.count({deleted, offset}))
            continue;
        ExpectedChain c;
        c.deleted = deleted;
        c.blocks = model.Follow(offset, deleted);
        c.text = ChainText(c.blocks);
        partial_.push_back(std::move(c));
    }
}

} // namespace dbxgen
