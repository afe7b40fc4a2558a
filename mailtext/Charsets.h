#pragma once
// Text in a charset a message names, as UTF-8.

#include <string>
#include <string_view>

namespace mailtext {

// Appends `bytes`, read in `charset` (a MIME charset name, any letter case),
// to `out` as UTF-8. Decoding is lenient: a byte the charset does not allow
// becomes U+FFFD and decoding goes on. Returns false, and appends nothing,
// when the charset is unknown. UTF-8, ASCII and ISO-8859-1 / Windows-1252
// need no converter; other charsets go through the system's converters
// (platform/Charsets.h).
bool AppendAsUtf8(std::string_view bytes, std::string_view charset, std::string& out);

// Appends `bytes` converted from the charset the system knows as
// `iconvName` (iconv's names; see platform/Charsets.h) to `out` as UTF-8,
// as leniently as AppendAsUtf8 but without its shortcuts, aliases or name
// checks; for callers that map charset names themselves. UTF-16 and UTF-32
// (lower-case names) without a byte-order mark are read big-endian, and
// their converters are never reused. Returns false, and appends nothing,
// when the system does not know the name.
bool AppendConverted(std::string_view bytes, const std::string& iconvName, std::string& out);

// True when `charset` (any letter case) names UTF-16 or UTF-32 without a
// byte order ("utf-16", "utf-32"): text in it without a byte-order mark is
// read big-endian here, where the system's converters read it in the
// machine's order.
bool HasUnstatedByteOrder(std::string_view charset);

// True when `charset` (any letter case, with or without an RFC 2231
// language) names UTF-8.
bool NamesUtf8(std::string_view charset);

} // namespace mailtext
