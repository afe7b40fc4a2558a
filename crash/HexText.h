#pragma once
// Hexadecimal numbers as text without the C library's formatting, so that a
// signal handler may use it too.

#include <cstddef>
#include <cstdint>

namespace crash {

// Room for the longest number WriteHex writes, with a terminating zero.
constexpr std::size_t kHexBufferSize = 17;

// Writes `value` in hexadecimal with at least `minDigits` digits (at most 16)
// and as many as it needs, terminated, into `out` (kHexBufferSize bytes);
// returns the number of digits.
inline std::size_t WriteHex(char* out, std::uint64_t value, int minDigits, bool upperCase)
{
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    char reversed[16];
    std::size_t n = 0;
    do {
        reversed[n++] = digits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    while (n < static_cast<std::size_t>(minDigits) && n < sizeof reversed)
        reversed[n++] = '0';
    for (std::size_t i = 0; i < n; ++i)
        out[i] = reversed[n - 1 - i];
    out[n] = '\0';
    return n;
}

// An address as the walker prints it: upper case, at least eight digits.
struct AddressText {
    explicit AddressText(std::uint64_t address) { WriteHex(text, address, 8, true); }
    char text[kHexBufferSize];
};

} // namespace crash
