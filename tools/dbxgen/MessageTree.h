#pragma once
// The message index of a .dbx file: a tree of 0x27C-byte nodes whose values
// (in order) point to the message-info objects of the folder's messages.

#include <cstdint>
#include <string>
#include <vector>

namespace dbxgen {

class MessageTree {
public:
    // Lays the tree over `values` out as consecutive nodes from `base`
    // (4-aligned). An empty list gives no nodes and root 0.
    MessageTree(const std::vector<std::uint32_t>& values, std::uint32_t base);

    std::uint32_t Root() const { return root_; }
    std::uint32_t NodeCount() const { return static_cast<std::uint32_t>(nodes_.size() / kNodeBytes); }
    // All nodes, back to back, as they lie in the file from `base`.
    const std::string& Bytes() const { return nodes_; }

private:
    static constexpr std::size_t kNodeBytes = 0x27C;

    // Builds the subtree over values[first, first + count) and returns the
    // offset of its top node (0 for an empty range).
    std::uint32_t BuildNode(const std::vector<std::uint32_t>& values, std::size_t first,
                            std::size_t count, std::uint32_t parent, std::uint8_t nodeId);
    std::uint32_t AllocateNode();
    void Put(std::uint32_t nodeOffset, std::uint32_t field, std::uint32_t value);

    std::uint32_t base_;
    std::uint32_t root_ = 0;
    std::string nodes_;
};

} // namespace dbxgen
