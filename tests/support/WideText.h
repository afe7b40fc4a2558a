#pragma once
// Text in UTF-16 and UTF-32 with and without a byte-order mark, each
// reading "ab": without a mark it is big-endian, wherever it is shown (a
// converter that reads it in the machine's order shows "愀戀").

namespace testsupport {

struct WideText {
    const char* charset;
    const char* base64;  // the text's bytes
};

inline constexpr WideText kWideTexts[] = {
    {"utf-16", "AGEAYg=="},           // no mark
    {"UTF-16", "/v8AYQBi"},           // FE FF
    {"utf-16", "//5hAGIA"},           // FF FE
    {"utf-16be", "AGEAYg=="},
    {"utf-16le", "YQBiAA=="},
    {"utf-32", "AAAAYQAAAGI="},       // no mark
    {"UTF-32", "AAD+/wAAAGEAAABi"},   // 00 00 FE FF
    {"utf-32", "//4AAGEAAABiAAAA"},   // FF FE 00 00
    {"utf-32le", "YQAAAGIAAAA="},
};

} // namespace testsupport
