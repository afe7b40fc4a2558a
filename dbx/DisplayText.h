#pragma once
// How message bytes are shown: as UTF-8 when they are valid UTF-8, otherwise
// as Windows-1252 (the "ANSI code page" of this program).

#include <string>
#include <string_view>

namespace dbx {

bool IsValidUtf8(std::string_view bytes);

// The bytes as UTF-8 text, decoded as described above.
std::string ToDisplayUtf8(std::string_view bytes);

} // namespace dbx
