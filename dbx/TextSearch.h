#pragma once
// Exact substring search for a fixed label over long message texts. Most
// labels are absent from most of a text, so the search must run at memory
// speed: on x86 it tests the label's first and last byte at 16 positions at
// once (64 on CPUs with AVX2, up to a text's first zero); elsewhere it skips
// ahead Boyer-Moore-Horspool style.

#include "dbx/Simd.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dbx {

#if QUILLMEND_WIDE_SIMD
// From `i` on, 64 bytes at a step, the first position whose 64 bytes may
// hold a zero or the start of a match (its first byte `first` and, n - 1
// bytes on, `last`); it stops where fewer than n - 1 + 64 bytes are left.
// For CPUs with AVX2 (simd::Wide()) only.
std::size_t SkipQuietWide(const char* data, std::size_t size, std::size_t i, std::size_t n, char first, char last);

// TextSearcher::FindBeforeZeroReadingOn for CPUs with AVX2: 64 positions at
// a step, reading up to n + 63 bytes past `size`.
std::size_t FindBeforeZeroWide(const char* data, std::size_t size, const char* needle, std::size_t n,
                               std::size_t& zero);
#endif

class TextSearcher {
public:
    explicit TextSearcher(std::string_view needle) : needle_(needle)
    {
        const std::size_t n = needle_.size();
        skip_.fill(n == 0 ? 1 : n);
        for (std::size_t i = 0; i + 1 < n; ++i)
            skip_[static_cast<unsigned char>(needle_[i])] = n - 1 - i;
    }

    std::size_t Size() const { return needle_.size(); }

    // Position of the first occurrence in `text`, or npos.
    std::size_t FindIn(std::string_view text) const
    {
        const std::size_t n = needle_.size();
        if (n == 0)
            return 0;
        if (text.size() < n)
            return std::string_view::npos;
        const char* data = text.data();
        const char last = needle_[n - 1];
        std::size_t i = 0;
#if defined(__SSE2__)
        if (n >= 2) {
            const __m128i firstByte = _mm_set1_epi8(needle_[0]);
            const __m128i lastByte = _mm_set1_epi8(last);
            for (; i + n - 1 + 16 <= text.size(); i += 16) {
                const __m128i atFirst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
                const __m128i atLast = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + n - 1));
                auto mask = static_cast<unsigned>(_mm_movemask_epi8(
                    _mm_and_si128(_mm_cmpeq_epi8(atFirst, firstByte), _mm_cmpeq_epi8(atLast, lastByte))));
                while (mask != 0) {
                    const auto bit = static_cast<std::size_t>(__builtin_ctz(mask));
                    if (std::memcmp(data + i + bit + 1, needle_.data() + 1, n - 2) == 0)
                        return i + bit;
                    mask &= mask - 1;
                }
            }
        }
#endif
        while (i + n <= text.size()) {
            const char c = data[i + n - 1];
            if (c == last && std::memcmp(data + i, needle_.data(), n - 1) == 0)
                return i;
            i += skip_[static_cast<unsigned char>(c)];
        }
        return std::string_view::npos;
    }

    // The same over data[0, size) where the text ends at its first zero
    // byte: the position of the first occurrence before that zero, or npos
    // with `zero` set to where the zero lies (size when there is none). One
    // pass for both, as a long text is read once. The needle holds no zero
    // and at least two bytes.
    std::size_t FindBeforeZero(const char* data, std::size_t size, std::size_t& zero) const
    {
        const std::size_t n = needle_.size();
        std::size_t i = 0;
#if defined(__SSE2__)
        const __m128i firstByte = _mm_set1_epi8(needle_[0]);
        const __m128i lastByte = _mm_set1_epi8(needle_[n - 1]);
        const __m128i nul = _mm_setzero_si128();
        const auto load = [data](std::size_t at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at)); };
        // Bytes 16 at a time that are a zero or may start the needle.
        const auto eventsAt = [&](std::size_t at) {
            const __m128i atFirst = load(at);
            return _mm_or_si128(_mm_cmpeq_epi8(atFirst, nul),
                                _mm_and_si128(_mm_cmpeq_epi8(atFirst, firstByte), _mm_cmpeq_epi8(load(at + n - 1), lastByte)));
        };
#if QUILLMEND_WIDE_SIMD
        const bool wide = simd::Wide();
#endif
        for (; i + n - 1 + 16 <= size; i += 16) {
            // Most of a long text holds neither: 64 or 32 bytes skipped per test.
#if QUILLMEND_WIDE_SIMD
            if (wide)
                i = SkipQuietWide(data, size, i, n, needle_[0], needle_[n - 1]);
#endif
            while (i + n - 1 + 32 <= size && _mm_movemask_epi8(_mm_or_si128(eventsAt(i), eventsAt(i + 16))) == 0)
                i += 32;
            if (i + n - 1 + 16 > size)
                break;
            const __m128i atFirst = load(i);
            const auto zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(atFirst, nul)));
            auto events = static_cast<unsigned>(_mm_movemask_epi8(eventsAt(i)));
            // In text order: a zero first ends the text; a candidate that
            // holds a zero fails the compare.
            while (events != 0) {
                const auto bit = static_cast<std::size_t>(__builtin_ctz(events));
                if ((zeros >> bit) & 1u) {
                    zero = i + bit;
                    return std::string_view::npos;
                }
                if (std::memcmp(data + i + bit + 1, needle_.data() + 1, n - 2) == 0)
                    return i + bit;
                events &= events - 1;
            }
        }
        // The last bytes, where the needle's last byte would lie past the
        // end: zeros and its first byte only.
        for (; i + 16 <= size; i += 16) {
            const __m128i atFirst = load(i);
            const auto zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(atFirst, nul)));
            for (auto events = zeros | static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(atFirst, firstByte)));
                 events != 0; events &= events - 1) {
                const auto bit = static_cast<std::size_t>(__builtin_ctz(events));
                if ((zeros >> bit) & 1u) {
                    zero = i + bit;
                    return std::string_view::npos;
                }
                if (i + bit + n <= size && std::memcmp(data + i + bit, needle_.data(), n) == 0)
                    return i + bit;
            }
        }
#endif
        for (; i < size; ++i) {
            if (data[i] == '\0') {
                zero = i;
                return std::string_view::npos;
            }
            if (data[i] == needle_[0] && i + n <= size && std::memcmp(data + i, needle_.data(), n) == 0)
                return i;
        }
        zero = size;
        return std::string_view::npos;
    }

    // The same where the ReadOn() bytes after data[0, size) may be read too
    // (they are no part of the text): every step takes its full width, with
    // no slower steps near the end, which on a short text such as a block's
    // slot are much of the work.
    std::size_t FindBeforeZeroReadingOn(const char* data, std::size_t size, std::size_t& zero) const
    {
#if QUILLMEND_WIDE_SIMD
        if (simd::Wide())
            return FindBeforeZeroWide(data, size, needle_.data(), needle_.size(), zero);
#endif
        return FindBeforeZero(data, size, zero);
    }
    std::size_t ReadOn() const { return needle_.size() + 64; }

    std::string_view Needle() const { return needle_; }

private:
    std::string needle_;
    std::array<std::size_t, 256> skip_{};
};

// ASCII case-insensitive comparison of the first n bytes (no locale).
inline bool EqualsIgnoreAsciiCase(const char* a, const char* b, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace dbx
