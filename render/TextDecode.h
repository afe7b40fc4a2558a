#pragma once
// Text of a message in any charset, as UTF-8.

#include <string>
#include <string_view>

namespace render {

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The bytes as UTF-8 with every ill-formed sequence replaced by U+FFFD.
std::string RepairUtf8(std::string_view bytes);

// Windows-1252 bytes as UTF-8; the five bytes that code page leaves undefined
// become the C1 code points of the same value, as Windows converts them.
std::string Windows1252ToUtf8(std::string_view bytes);

// The program's rule for text of unknown charset: UTF-8 when the bytes are
// valid UTF-8 (a sequence cut off at the very end is dropped first), otherwise
// Windows-1252.
std::string ToDisplayUtf8(std::string_view bytes);

// Text in the charset a message declares, as UTF-8. A charset the system
// knows is decoded leniently: a bad byte becomes U+FFFD and decoding goes on,
// so a text cut short or overwritten in places still shows the rest. No
// charset, "us-ascii" (often 8-bit text in practice) or an unknown one falls
// back to ToDisplayUtf8.
std::string DecodeText(std::string_view bytes, std::string_view charset);

} // namespace render
