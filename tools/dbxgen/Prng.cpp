#include "tools/dbxgen/Prng.h"

#include <algorithm>
#include <bit>

namespace dbxgen {

namespace {

std::uint64_t SplitMix(std::uint64_t& x)
{
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

} // namespace

Prng::Prng(std::uint64_t seed)
{
    for (auto& s : s_)
        s = SplitMix(seed);
}

std::uint64_t Prng::Next()
{
    const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
}

std::uint64_t Prng::Below(std::uint64_t n)
{
    if (n == 0)
        return 0;
    // Rejection keeps the result unbiased.
    const std::uint64_t limit = ~std::uint64_t{0} - (~std::uint64_t{0} % n);
    std::uint64_t v;
    do
        v = Next();
    while (v >= limit);
    return v % n;
}

std::uint64_t Prng::Range(std::uint64_t lo, std::uint64_t hi)
{
    if (hi <= lo)
        return lo;
    if (hi - lo == ~std::uint64_t{0})
        return Next();
    return lo + Below(hi - lo + 1);
}

double Prng::Unit()
{
    return static_cast<double>(Next() >> 11) * 0x1.0p-53;
}

std::uint64_t Prng::LogRange(std::uint64_t lo, std::uint64_t hi)
{
    if (lo == 0)
        lo = 1;
    if (hi <= lo)
        return lo;
    // A power-of-two octave chosen uniformly, then a value inside it: integer
    // only, so the sequence does not depend on the maths library.
    const int first = std::bit_width(lo) - 1;
    const int last = std::bit_width(hi) - 1;
    const int octave = first + static_cast<int>(Below(static_cast<std::uint64_t>(last - first + 1)));
    const std::uint64_t from = std::max(lo, std::uint64_t{1} << octave);
    const std::uint64_t to = octave >= 63 ? hi : std::min(hi, (std::uint64_t{1} << (octave + 1)) - 1);
    return Range(from, to);
}

} // namespace dbxgen
