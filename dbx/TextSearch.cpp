#include "dbx/TextSearch.h"

#if QUILLMEND_WIDE_SIMD
#include <immintrin.h>

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

} // namespace dbx
#endif
