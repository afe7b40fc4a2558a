#pragma once
// Deterministic pseudo-random numbers for fixtures (xoshiro256**, seeded
// through splitmix64). The same seed gives the same bytes on every platform
// and compiler, which the standard library's distributions do not promise.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace dbxgen {

class Prng {
public:
    explicit Prng(std::uint64_t seed);

    // Next 64 random bits.
    std::uint64_t Next();
    // Uniform in [0, n); 0 when n is 0.
    std::uint64_t Below(std::uint64_t n);
    // Uniform in [lo, hi] (inclusive); lo when hi < lo.
    std::uint64_t Range(std::uint64_t lo, std::uint64_t hi);
    // Uniform in [0, 1).
    double Unit();
    // True with probability p.
    bool Chance(double p) { return Unit() < p; }
    // Roughly log-uniform in [lo, hi] (lo taken as at least 1): small sizes
    // common, large ones rare.
    std::uint64_t LogRange(std::uint64_t lo, std::uint64_t hi);

    template <typename T>
    const T& Pick(const std::vector<T>& items) { return items[Below(items.size())]; }

    // Fisher-Yates shuffle driven by this generator.
    template <typename T>
    void Shuffle(std::vector<T>& items)
    {
        for (std::size_t i = items.size(); i > 1; --i)
            std::swap(items[i - 1], items[Below(i)]);
    }

private:
    std::uint64_t s_[4];
};

} // namespace dbxgen
