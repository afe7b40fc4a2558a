#pragma once
// Text of a message in any charset, as UTF-8.

#include "dbx/DisplayText.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace render {

// The program's text rule and its helpers (see dbx/DisplayText.h).
using dbx::CutUtf8SequenceAtEnd;
using dbx::IsValidUtf8;
using dbx::RepairUtf8;
using dbx::ToDisplayUtf8;
using dbx::Windows1252ToUtf8;

// Text in the charset a message declares, as UTF-8. A charset the system
// knows is decoded leniently: a bad byte becomes U+FFFD and decoding goes on,
// so a text cut short or overwritten in places still shows the rest. No
// charset, "us-ascii" (often 8-bit text in practice) or an unknown one falls
// back to ToDisplayUtf8.
std::string DecodeText(std::string_view bytes, std::string_view charset);

// Appends one code point as UTF-8; NUL, surrogates and values past U+10FFFF
// (what character references and CSS escapes may name) become U+FFFD.
void AppendUtf8(std::string& out, std::uint32_t codePoint);

} // namespace render
