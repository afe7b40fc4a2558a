#pragma once
// Exact substring search for a fixed label over long message texts
// (Boyer-Moore-Horspool: most bytes of a text are skipped, not compared).

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace dbx {

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
        for (std::size_t i = 0; i + n <= text.size();) {
            const char c = data[i + n - 1];
            if (c == last && std::memcmp(data + i, needle_.data(), n - 1) == 0)
                return i;
            i += skip_[static_cast<unsigned char>(c)];
        }
        return std::string_view::npos;
    }

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
