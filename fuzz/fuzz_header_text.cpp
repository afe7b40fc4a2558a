// The display text of header lines, on arbitrary bytes: encoded words,
// charsets (iconv), the text rule, raw 8-bit text in a message's charset,
// and the file name made from the text. Beyond "no crash, no hang": the
// text is valid UTF-8 within its bound, one line, trimmed, the same on every
// call, and a plain ASCII line comes back as it is; the name is UTF-8 of at
// most 20 characters with no separator, wildcard or control in it; UTF-16
// and UTF-32 words made UTF-8 for the MIME parser read the same. The bytes
// as a Content-Disposition value: the file name it gives is UTF-8, and the
// name an attachment is saved under is safe and stays as it is when cleaned
// again.

#include "FileNameCheck.h"

#include "dbx/DisplayText.h"
#include "dbx/SaveNaming.h"
#include "mailtext/HeaderText.h"
#include "mailtext/MimeParameters.h"

#include <algorithm>
#include <iterator>
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
        const std::string remade = mailtext::DecodeHeaderText(made);
        const std::string before = withoutNul(shown), after = withoutNul(remade);
        // Near the bound either text may be the one cut (the NULs take room
        // in one only, and blanks at the cut are trimmed): then the shorter
        // reads as the start of the longer.
        if (std::max(shown.size(), remade.size()) + 16 < mailtext::kMaxDisplayText)
            FUZZ_CHECK(after == before);
        else
            FUZZ_CHECK(before.size() <= after.size() ? after.starts_with(before) : before.starts_with(after));
    }

    const bool plain = value.find("=?") == std::string_view::npos
                       && std::all_of(value.begin(), value.end(), [](char c) { return c > 0x20 && c < 0x7F; });
    if (plain && size <= mailtext::kMaxDisplayText)
        FUZZ_CHECK(shown == value);

    // The same bytes as a message in a charset of its own would show them.
    static constexpr const char* kCharsets[] = {"windows-1251", "koi8-r", "utf-16", "iso-2022-jp", "x-unknown", ""};
    const std::string_view charset = size > 0 ? kCharsets[data[0] % std::size(kCharsets)] : "";
    const std::string inCharset = mailtext::DecodeHeaderText(value, charset);
    FUZZ_CHECK(inCharset.size() <= mailtext::kMaxDisplayText);
    FUZZ_CHECK(dbx::IsValidUtf8(inCharset));

    const std::string name = dbx::MakeSaveName(inCharset);
    FUZZ_CHECK(dbx::IsValidUtf8(name));
    FUZZ_CHECK(std::count_if(name.begin(), name.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }) <= 20);
    FUZZ_CHECK(name.find_first_of(":\\/?*\"<>|") == std::string::npos);
    FUZZ_CHECK(std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }));

    const std::string given = mailtext::ParameterText(value, "filename");
    FUZZ_CHECK(dbx::IsValidUtf8(given));
    static constexpr const char* kTypes[] = {"image/jpeg", "application/x-unknown", ""};
    for (const std::string_view from : {std::string_view(given), value, std::string_view(inCharset)}) {
        const std::string file = dbx::CleanAttachmentName(from, kTypes[size % std::size(kTypes)]);
        CheckFileName(file);
        CheckFileName(dbx::DamagedName(file));
        FUZZ_CHECK(dbx::CleanAttachmentName(file, "") == file);
    }
    return 0;
}
