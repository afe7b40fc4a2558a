#include "dbx/TextSearch.h"

#if QUILLMEND_WIDE_SIMD
#include <immintrin.h>

#include <cstdint>
#include <cstring>
#include <string_view>

namespace dbx {

__attribute__((target("avx2"))) std::size_t SkipQuietWide(const char* data, std::size_t size, std::size_t i,
                                                            std::size_t n, char first, char last)
{
    const __m256i firstByte = _mm256_set1_epi8(first);
    const __m256i lastByte = _mm256_set1_epi8(last);
    const __m256i nul = _mm256_setzero_si256();
    for (; i + n - 1 + 64 <= size; i += 64) {
        const char* at = data + i;
        const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32));
        const __m256i z0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + n - 1));
        const __m256i z1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + n - 1 + 32));
        const __m256i starts = _mm256_or_si256(
            _mm256_and_si256(_mm256_cmpeq_epi8(a0, firstByte), _mm256_cmpeq_epi8(z0, lastByte)),
            _mm256_and_si256(_mm256_cmpeq_epi8(a1, firstByte), _mm256_cmpeq_epi8(z1, lastByte)));
        const __m256i events =
            _mm256_or_si256(starts, _mm256_or_si256(_mm256_cmpeq_epi8(a0, nul), _mm256_cmpeq_epi8(a1, nul)));
        if (!_mm256_testz_si256(events, events))
            break;
    }
    return i;
}

__attribute__((target("avx2"))) std::size_t FindBeforeZeroWide(const char* data, std::size_t size,
                                                                 const char* needle, std::size_t n,
                                                                 std::size_t& zero)
{
    const __m256i firstByte = _mm256_set1_epi8(needle[0]);
    const __m256i lastByte = _mm256_set1_epi8(needle[n - 1]);
    const __m256i nul = _mm256_setzero_si256();
    const auto* at = reinterpret_cast<const __m256i*>(data);
    const auto* atLast = reinterpret_cast<const __m256i*>(data + n - 1);
    for (std::size_t i = 0; i < size; i += 64, at += 2, atLast += 2) {
        const __m256i a0 = _mm256_loadu_si256(at), a1 = _mm256_loadu_si256(at + 1);
        const __m256i z0 = _mm256_loadu_si256(atLast), z1 = _mm256_loadu_si256(atLast + 1);
        const __m256i starts0 = _mm256_and_si256(_mm256_cmpeq_epi8(a0, firstByte), _mm256_cmpeq_epi8(z0, lastByte));
        const __m256i starts1 = _mm256_and_si256(_mm256_cmpeq_epi8(a1, firstByte), _mm256_cmpeq_epi8(z1, lastByte));
        const __m256i zeros0 = _mm256_cmpeq_epi8(a0, nul), zeros1 = _mm256_cmpeq_epi8(a1, nul);
        const __m256i any = _mm256_or_si256(_mm256_or_si256(starts0, starts1), _mm256_or_si256(zeros0, zeros1));
        if (_mm256_testz_si256(any, any))
            continue;  // most of a text: neither a zero nor a possible start
        std::uint64_t zeros = static_cast<std::uint32_t>(_mm256_movemask_epi8(zeros0))
                              | std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(zeros1))} << 32;
        std::uint64_t starts = static_cast<std::uint32_t>(_mm256_movemask_epi8(starts0))
                               | std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(starts1))} << 32;
        // Near the end, only zeros inside the text count, and only starts
        // whose whole needle lies inside it.
        const std::size_t left = size - i;
        if (left < 64)
            zeros &= (std::uint64_t{1} << left) - 1;
        if (const std::size_t room = left >= n ? left - n + 1 : 0; room < 64)
            starts &= (std::uint64_t{1} << room) - 1;
        // In text order: a zero first ends the text; a start that holds a
        // zero fails the compare.
        for (std::uint64_t events = zeros | starts; events != 0; events &= events - 1) {
            const auto bit = static_cast<std::size_t>(__builtin_ctzll(events));
            if ((zeros >> bit) & 1u) {
                zero = i + bit;
                return std::string_view::npos;
            }
            if (std::memcmp(data + i + bit + 1, needle + 1, n - 2) == 0)
                return i + bit;
        }
    }
    zero = size;
    return std::string_view::npos;
}

} // namespace dbx
#endif
