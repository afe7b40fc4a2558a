#pragma once
// UTF-8 and UTF-16 conversions for names that cross between Windows
// interfaces (UTF-16) and our code (UTF-8).

#include <string>
#include <string_view>

namespace platform {

// Appends code point `c` to `out` as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// The code point that starts at text[i], advancing i past it. A byte that
// starts no valid UTF-8 sequence gives kNotUtf8 and advances i by one.
inline constexpr char32_t kNotUtf8 = 0xFFFFFFFF;
char32_t NextCodePoint(std::string_view text, std::size_t& i);

// UTF-16 code units as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Appends code point `c` to `out` as UTF-16 (a surrogate pair above U+FFFF).
void AppendUtf16(std::u16string& out, char32_t c);

// A Windows name (UTF-16 code units, which need not pair up) as the UTF-8
// the program keeps it in: a surrogate without its partner is written as
// its own three-byte form (as WTF-8 does), so that every name comes back
// unchanged from WideNameFromUtf8.
std::string WideNameToUtf8(std::u16string_view name);

// The UTF-16 name for a name kept as UTF-8: the inverse of WideNameToUtf8.
// A byte that starts no valid sequence becomes U+FFFD.
std::u16string WideNameFromUtf8(std::string_view name);

} // namespace platform
