#include "tools/dbxgen/ScanModel.h"

#include <algorithm>
#include <unordered_set>

namespace dbxgen {

ScanModel::ScanModel(std::vector<ScanBlock> blocks)
{
    for (const auto& b : blocks)
        (b.deleted ? deleted_ : live_).push_back(b);
    auto byOffset = [](const ScanBlock& a, const ScanBlock& b) { return a.offset < b.offset; };
    std::sort(live_.begin(), live_.end(), byOffset);
    std::sort(deleted_.begin(), deleted_.end(), byOffset);
}

long ScanModel::Find(const std::vector<ScanBlock>& list, std::uint32_t offset) const
{
    const auto it = std::lower_bound(list.begin(), list.end(), offset,
                                     [](const ScanBlock& b, std::uint32_t o) { return b.offset < o; });
    if (it == list.end() || it->offset != offset)
        return -1;
    return static_cast<long>(it - list.begin());
}

std::vector<std::uint32_t> ScanModel::Follow(std::uint32_t start, bool deleted) const
{
    const auto& list = List(deleted);
    std::vector<std::uint32_t> chain;
    long i = Find(list, start);
    std::unordered_set<std::uint32_t> seen;
    while (i >= 0 && seen.insert(list[static_cast<std::size_t>(i)].offset).second) {
        const ScanBlock& b = list[static_cast<std::size_t>(i)];
        chain.push_back(b.offset);
        if (b.next == 0)
            break;
        i = Find(list, b.next);
    }
    return chain;
}

std::vector<std::pair<bool, std::uint32_t>> ScanModel::Starts() const
{
    std::vector<std::pair<bool, std::uint32_t>> starts;
    for (const bool deleted : {true, false}) {
        const auto& list = List(deleted);
        std::vector<bool> used(list.size(), false);
        for (std::size_t j = 0; j < list.size(); ++j) {
            if (used[j])
                continue;
            if (j + 1 < list.size() && list[j + 1].next == list[j].offset)
                continue;
            starts.emplace_back(deleted, list[j].offset);
            const auto chain = Follow(list[j].offset, deleted);
            for (std::size_t k = 1; k < chain.size(); ++k)
                used[static_cast<std::size_t>(Find(list, chain[k]))] = true;
        }
    }
    return starts;
}

} // namespace dbxgen
