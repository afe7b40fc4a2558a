// The display text of header lines, on arbitrary bytes: encoded words,
// charsets (iconv), the text rule. Beyond "no crash, no hang": the text is
// valid UTF-8 within its bound, one line, trimmed, the same on every call,
// and a plain ASCII line comes back as it is; UTF-16 and UTF-32 words made
// UTF-8 for the MIME parser read the same.

#include "FuzzCheck.h"

#include "dbx/DisplayText.h"
#include "mailtext/HeaderText.h"

#include <algorithm>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view value(reinterpret_cast<const char*>(data), size);
    const std::string shown = mailtext::DecodeHeaderText(value);
    FUZZ_CHECK(shown.size() <= mailtext::kMaxDisplayText);
    FUZZ_CHECK(dbx::IsValidUtf8(shown));
    FUZZ_CHECK(shown.find_first_of("\t\r\n") == std::string::npos);
    FUZZ_CHECK(shown.empty() || (shown.front() != ' ' && shown.back() != ' '));
    FUZZ_CHECK(mailtext::DecodeHeaderText(value) == shown);

    // Wide words made UTF-8 for the MIME parser read as they did, NUL
    // characters aside (those words leave theirs out); none is left to make.
    std::string made;
    if (mailtext::UnorderedWideWordsAsUtf8(value, made)) {
        std::string again;
        FUZZ_CHECK(!mailtext::UnorderedWideWordsAsUtf8(made, again));
        const auto withoutNul = [](std::string text) {
            text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
            text.erase(0, std::min(text.size(), text.find_first_not_of(' ')));
            text.erase(text.find_last_not_of(' ') + 1);
            return text;
        };
        if (shown.size() + 16 < mailtext::kMaxDisplayText)
            FUZZ_CHECK(withoutNul(mailtext::DecodeHeaderText(made)) == withoutNul(shown));
    }

    const bool plain = value.find("=?") == std::string_view::npos
                       && std::all_of(value.begin(), value.end(), [](char c) { return c > 0x20 && c < 0x7F; });
    if (plain && size <= mailtext::kMaxDisplayText)
        FUZZ_CHECK(shown == value);
    return 0;
}
