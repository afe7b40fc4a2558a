// Chain building over one list of found blocks. Which blocks each chain
// takes depends on the chains walked before it, so the walk is in order on
// the calling thread; the headers of a round of walked chains are read on
// every thread meanwhile, and the records kept in walk order.

#include "dbx/HeaderFields.h"
#include "dbx/Scanner.h"

#include <algorithm>
#include <array>
#include <atomic>

namespace dbx {

namespace {

constexpr std::size_t kChainsPerTake = 8;       // chains a thread takes at a time
constexpr std::size_t kRoundBlocks = 1u << 18;  // blocks of one round's chains (128 MiB of text)

} // namespace

// The chains of one round: walked in order, their headers read by every
// thread, kept in order.
struct Scanner::Chains {
    struct Chain {
        std::size_t begin;  // its blocks' indexes, in `blocks`
        std::size_t count;
        std::int64_t steps;  // lookups its walk took
    };
    std::vector<Chain> chains;
    std::vector<std::uint32_t> blocks;
    std::vector<EmailRecord> records;   // one per chain, filled by the header reading
    std::vector<std::uint8_t> listed;   // whether that record has a From, To or Subject
    std::size_t notWalked = 0;          // the chains left to walk after this round's
};

void Scanner::AssembleMessages(const std::vector<BlockRef>& list, bool deleted)
{
    const std::size_t n = list.size();
    if (n == 0)
        return;
    // The scan produced the list in ascending offset order; searches go over
    // a dense copy of the offsets.
    std::vector<std::uint32_t> offsets(n);
    for (std::size_t i = 0; i < n; ++i)
        offsets[i] = list[i].offset;

    auto find = [&](std::uint32_t key, std::size_t at) -> std::size_t {
        // Blocks usually follow each other in the file, one way or the other.
        if (at + 1 < n && offsets[at + 1] == key)
            return at + 1;
        if (at > 0 && offsets[at - 1] == key)
            return at - 1;
        const auto it = std::lower_bound(offsets.begin(), offsets.end(), key);
        return it != offsets.end() && *it == key ? static_cast<std::size_t>(it - offsets.begin()) : n;
    };

    // Which blocks start chains. In file order, a block starts one unless an
    // earlier chain went through it or the next block links back to it. The
    // blocks a chain goes through are marked as it would go; past a block an
    // earlier chain already marked, that chain marked everything that can
    // still matter, so each block is visited about once.
    std::vector<std::uint8_t> used(n, 0);
    std::vector<std::uint32_t> starts;
    for (std::size_t j = 0; j < n; ++j) {
        if (used[j])
            continue;
        if (j + 1 < n && list[j + 1].nextOffset == list[j].offset)
            continue;
        starts.push_back(static_cast<std::uint32_t>(j));
        for (std::size_t k = find(list[j].nextOffset, j); k != n && k != j && !used[k];) {
            used[k] = 1;
            if (list[k].nextOffset == 0)
                break;
            k = find(list[k].nextOffset, k);
        }
    }
    std::vector<std::uint8_t>().swap(used);

    // The chains themselves, walked from the highest start down: a chain that
    // runs through other starts (a message stored backwards, say) is walked
    // before them. Past the work budget a chain stops at a block that one
    // walked before it holds, so the full message still comes out whole and
    // only its overlapping pieces are cut. They are walked a round at a
    // time, and the round's headers read by every thread while the calling
    // thread walks the next round.
    std::vector<std::uint32_t> chainOf(n, 0);  // the chain that last took a block: ends cycles
    std::vector<std::uint8_t> taken(n, 0);
    const std::uint64_t budget =
        std::min<std::uint64_t>(Scanner::kStepsPerBlock * n, source_.Size() / Scanner::kBytesPerStep)
        + Scanner::kStepAllowance;
    std::uint64_t steps = 0;
    std::uint32_t chainId = 0;
    auto start = starts.rbegin();
    // Walks chains from the next start on into `round`, until it is full or
    // every start is walked.
    const auto walk = [&](Chains& round) {
        round.chains.clear();
        round.blocks.clear();
        for (; start != starts.rend() && round.chains.size() < options_.roundChains && round.blocks.size() < kRoundBlocks;
             ++start) {
            ++chainId;
            std::size_t current = *start;
            chainOf[current] = chainId;
            taken[current] = 1;
            std::uint32_t key = list[current].nextOffset;
            Chains::Chain chain{round.blocks.size(), 0, 0};
            for (;;) {
                const std::size_t k = find(key, current);
                ++chain.steps;
                ++steps;
                round.blocks.push_back(static_cast<std::uint32_t>(current));
                if (k == n)
                    break;
                if (chainOf[k] == chainId)
                    break;  // a link back into this chain: end it instead of looping
                if (steps > budget && taken[k])
                    break;
                current = k;
                chainOf[current] = chainId;
                taken[current] = 1;
                key = list[current].nextOffset;
                if (key == 0) {
                    round.blocks.push_back(static_cast<std::uint32_t>(current));
                    break;
                }
            }
            chain.count = round.blocks.size() - chain.begin;
            round.chains.push_back(chain);
        }
        round.notWalked = static_cast<std::size_t>(starts.rend() - start);
    };

    // Each kind has its own record budget, so that fake deleted fragments
    // can never push out a file's existing mail.
    const std::uint64_t maxRecords = source_.Size() / Scanner::kBytesPerRecord + Scanner::kRecordAllowance;
    const std::size_t firstRecord = file_.records_.size();
    std::array<Chains, 2> rounds;
    walk(rounds[0]);
    for (std::size_t r = 0; !rounds[r].chains.empty(); r ^= 1) {
        Chains& round = rounds[r];
        Chains& next = rounds[r ^ 1];
        next.chains.clear();  // stays empty, ending the loop, when no start is left
        const std::function<void()> walkNext = [&] { walk(next); };
        if (!ReadHeaders(round, list, deleted, maxRecords, firstRecord, round.notWalked > 0 ? &walkNext : nullptr)) {
            file_.omittedChains_ += round.notWalked;
            break;
        }
    }
    // Listed in the order of the chains' first blocks.
    std::reverse(file_.records_.begin() + static_cast<std::ptrdiff_t>(firstRecord), file_.records_.end());
}

bool Scanner::ReadHeaders(Chains& round, const std::vector<BlockRef>& list, bool deleted, std::uint64_t maxRecords,
                          std::size_t firstRecord, const std::function<void()>* alongside)
{
    const std::size_t count = round.chains.size();
    if (round.records.size() < count)
        round.records.resize(count);
    round.listed.assign(count, 0);
    std::atomic<std::size_t> next{0};
    const auto read = [&](unsigned slot) {
        if (slot == 0 && alongside)
            (*alongside)();
        for (std::size_t from; (from = next.fetch_add(kChainsPerTake, std::memory_order_relaxed)) < count;) {
            for (std::size_t c = from; c < std::min(count, from + kChainsPerTake); ++c) {
                const Chains::Chain& chain = round.chains[c];
                EmailRecord& record = round.records[c];
                record.blocks.resize(chain.count);
                for (std::size_t b = 0; b < chain.count; ++b)
                    record.blocks[b] = list[round.blocks[chain.begin + b]];
                record.isDeleted = deleted;
                round.listed[c] = ExtractHeader(source_, record);
            }
        }
    };
    if (count > 1 || alongside)
        Share(read);
    else
        read(0);

    // In walk order: the record cap and the progress are as if each chain
    // had been read as it was walked.
    for (std::size_t c = 0; c < count; ++c) {
        if (file_.records_.size() - firstRecord >= maxRecords) {
            file_.omittedChains_ += count - c;
            return false;
        }
        ReportStep(step_, step_ + round.chains[c].steps - 1);
        step_ += round.chains[c].steps;
        if (round.listed[c])
            file_.records_.push_back(std::move(round.records[c]));
    }
    return true;
}

} // namespace dbx
