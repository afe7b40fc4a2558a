#include "tools/dbxgen/MessageTree.h"

#include "tools/dbxgen/OeLayout.h"

#include <stdexcept>

namespace dbxgen {

namespace {

// Values a subtree of the given height can hold (height 0: one leaf).
std::size_t Capacity(int height)
{
    std::size_t c = oe::kTreeMaxEntries;
    for (int h = 0; h < height; ++h)
        c = oe::kTreeMaxEntries + (oe::kTreeMaxEntries + 1) * c;
    return c;
}

} // namespace

MessageTree::MessageTree(const std::vector<std::uint32_t>& values, std::uint32_t base)
    : base_(base)
{
    if (base % 4 != 0)
        throw std::invalid_argument("tree base not 4-aligned");
    root_ = BuildNode(values, 0, values.size(), 0, 0);
}

std::uint32_t MessageTree::AllocateNode()
{
    const auto at = static_cast<std::uint32_t>(base_ + nodes_.size());
    nodes_.resize(nodes_.size() + kNodeBytes, '\0');
    Put(at, oe::kTnSelf, at);
    return at;
}

void MessageTree::Put(std::uint32_t nodeOffset, std::uint32_t field, std::uint32_t value)
{
    const std::size_t i = nodeOffset - base_ + field;
    for (int b = 0; b < 4; ++b)
        nodes_[i + b] = static_cast<char>((value >> (8 * b)) & 0xFF);
}

std::uint32_t MessageTree::BuildNode(const std::vector<std::uint32_t>& values, std::size_t first,
                                     std::size_t count, std::uint32_t parent, std::uint8_t nodeId)
{
    if (count == 0)
        return 0;
    const std::uint32_t node = AllocateNode();
    Put(node, oe::kTnParent, parent);

    if (count <= oe::kTreeMaxEntries) { // a leaf: no children, counts 0
        Put(node, oe::kTnNodeId, static_cast<std::uint32_t>(nodeId)
                                             | (static_cast<std::uint32_t>(count) << 8));
        for (std::size_t i = 0; i < count; ++i)
            Put(node, static_cast<std::uint32_t>(oe::kTreeNodeHeaderSize + i * oe::kTreeEntrySize),
                values[first + i]);
        return node;
    }

    // An inner node: m separating values and m + 1 children of equal share,
    // each child no higher than needed.
    int height = 1;
    while (Capacity(height) < count)
        ++height;
    const std::size_t childCap = Capacity(height - 1);
    // Fewest children such that m + (m + 1) * childCap >= count.
    const std::size_t children = (count + 1 + childCap) / (childCap + 1);
    const std::size_t entries = children - 1;
    const std::size_t inChildren = count - entries;
    Put(node, oe::kTnNodeId, static_cast<std::uint32_t>(nodeId)
                                         | (static_cast<std::uint32_t>(entries) << 8));

    std::size_t pos = first;
    for (std::size_t c = 0; c < children; ++c) {
        const std::size_t share = inChildren / children + (c < inChildren % children ? 1 : 0);
        // The left child carries node id 0, the child of entry i id i.
        const auto id = static_cast<std::uint8_t>(c == 0 ? 0 : c - 1);
        const std::uint32_t child = BuildNode(values, pos, share, node, id);
        pos += share;
        if (c == 0) {
            Put(node, oe::kTnLeftChild, child);
            Put(node, oe::kTnLeftChildCount, static_cast<std::uint32_t>(share));
        } else {
            const auto entry =
                static_cast<std::uint32_t>(oe::kTreeNodeHeaderSize + (c - 1) * oe::kTreeEntrySize);
            Put(node, entry + 4, child);
            Put(node, entry + 8, static_cast<std::uint32_t>(share));
        }
        if (c + 1 < children) {
            const auto entry =
                static_cast<std::uint32_t>(oe::kTreeNodeHeaderSize + c * oe::kTreeEntrySize);
            Put(node, entry, values[pos]);
            ++pos;
        }
    }
    return node;
}

} // namespace dbxgen
