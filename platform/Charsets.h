#pragma once
// Text in a named charset converted to UTF-8 by the system's converters:
// iconv on POSIX systems, the code pages of MultiByteToWideChar on Windows
// (UTF-16 and UTF-32 by our own decoder there, which Windows lacks).

#include <string>
#include <string_view>

namespace platform {

// Appends `bytes`, read in the charset the system knows as `name` (lower
// case; "utf-16be", "koi8-r", "shift_jis", ...), to `out` as UTF-8. Lenient:
// a byte that starts no valid character becomes U+FFFD and conversion goes
// on with the next byte; a character cut off at the end becomes one U+FFFD.
// Returns false, and appends nothing, when the system has no converter for
// `name`. The result is not checked: a converter may let ill-formed UTF-8
// through. "utf-16" and "utf-32" read a byte-order mark as the system does;
// callers that want another rule for unmarked text name the order.
bool ConvertToUtf8(std::string_view bytes, const std::string& name, std::string& out);

} // namespace platform
