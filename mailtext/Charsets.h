#pragma once
// Text in a charset a message names, as UTF-8.

#include <string>
#include <string_view>

namespace mailtext {

// Appends `bytes`, read in `charset` (a MIME charset name, any letter case),
// to `out` as UTF-8. Decoding is lenient: a byte the charset does not allow
// becomes U+FFFD and decoding goes on. Returns false, and appends nothing,
// when the charset is unknown. UTF-8, ASCII and ISO-8859-1 / Windows-1252
// need no converter; other charsets go through the system's iconv.
bool AppendAsUtf8(std::string_view bytes, std::string_view charset, std::string& out);

// True for the charsets (lower-case names) whose iconv converter learns the
// byte order from a byte-order mark. glibc keeps what it learned past a reset
// of the converter, so such a converter must not be reused for other text.
bool LearnsByteOrder(std::string_view name);

// The name to convert `bytes` labelled `name` (lower case) with: UTF-16 and
// UTF-32 without a byte-order mark are big-endian (RFC 2781; UTF-32
// likewise), where glibc would read them in the machine's order.
std::string WithByteOrder(const std::string& name, std::string_view bytes);

} // namespace mailtext
