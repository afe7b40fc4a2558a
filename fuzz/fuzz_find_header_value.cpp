// FindHeaderValue on arbitrary text, against a plain version of its rules
// built on std::string_view::find (the engine's search is hand-tuned). The
// first byte gives the label's length (0 .. 31), the label follows, the
// rest is the text.

#include "FuzzCheck.h"

#include "dbx/HeaderFields.h"

#include <algorithm>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t labelLength = std::min<std::size_t>(data[0] % 32, size - 1);
    const std::string label(reinterpret_cast<const char*>(data + 1), labelLength);
    const std::string text(reinterpret_cast<const char*>(data + 1 + labelLength), size - 1 - labelLength);

    std::string value;
    const bool found = dbx::FindHeaderValue(text, label, value);

    bool expectFound = false;
    std::string expected;
    if (const std::size_t at = text.find(label); at != std::string::npos) {
        std::size_t i = at + label.size();
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (i >= text.size() || (text[i] != '\r' && text[i] != '\n')) {
            std::size_t end = text.find('\r', i);
            if (end == std::string::npos)
                end = text.find('\n', i);
            if (end != std::string::npos) {
                while (end > i && text[end - 1] == ' ')
                    --end;
                expected = text.substr(i, std::min<std::size_t>(end - i, 511));
                expectFound = true;
            }
        }
    }
    FUZZ_CHECK(found == expectFound);
    FUZZ_CHECK(value == expected);
    return 0;
}
