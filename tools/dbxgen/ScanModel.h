#pragma once
// What a correct recovery makes of the blocks in a file: the chains that the
// block scan builds (live and deleted blocks chained only among their own
// kind, a chain ended by a link of 0, by a link to no block of its kind or
// by a block already in the chain) and the blocks at which it starts them.

#include <cstdint>
#include <utility>
#include <vector>

namespace dbxgen {

struct ScanBlock {
    std::uint32_t offset = 0;
    std::uint32_t next = 0;
    bool deleted = false;
};

class ScanModel {
public:
    // `blocks`: every block the scan can find (intact header at a position it
    // examines), in any order.
    explicit ScanModel(std::vector<ScanBlock> blocks);

    // The chain from the block at `start` of the given kind; empty when no
    // such block is found.
    std::vector<std::uint32_t> Follow(std::uint32_t start, bool deleted) const;

    // Blocks at which the scan starts a chain: all deleted ones first, then
    // the live ones, each group in ascending offset order. A block does not
    // start a chain when an earlier chain took it, or when the next block of
    // its kind in file order links back to it.
    std::vector<std::pair<bool, std::uint32_t>> Starts() const;

private:
    const std::vector<ScanBlock>& List(bool deleted) const { return deleted ? deleted_ : live_; }
    // Index of the block at `offset` in the list, or -1.
    long Find(const std::vector<ScanBlock>& list, std::uint32_t offset) const;

    std::vector<ScanBlock> live_;
    std::vector<ScanBlock> deleted_;
};

} // namespace dbxgen
