#include "dbx/AttachmentNaming.h"

#include "dbx/DisplayText.h"
#include "dbx/SaveNaming.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace dbx {
namespace {

// An ending longer than this is more likely part of the name ("Re. the
// meeting") than a type, and is not kept when a long name is cut.
constexpr std::size_t kMaxEndingBytes = 16;

std::string Lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// Characters that show nothing, or that change how the text around them
// is ordered or joined: a name holding one may read differently from what
// it is ("photo<U+202E>gpj.exe" reads "photoexe.jpg").
bool IsHiding(char32_t c)
{
    return c == 0x00AD || c == 0x034F || c == 0x061C || c == 0x115F || c == 0x1160 || c == 0x17B4 || c == 0x17B5
        || (c >= 0x180B && c <= 0x180F) || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E)
        || (c >= 0x2060 && c <= 0x206F) || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF
        || c == 0xFFA0 || (c >= 0xFFF0 && c <= 0xFFFB) || (c >= 0x1D173 && c <= 0x1D17A)
        || (c >= 0xE0000 && c <= 0xE0FFF);
}

// Blanks of any width (a tab too), and the line and paragraph separators.
bool IsBlank(char32_t c)
{
    return c == 0x09 || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029
        || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The text with hiding characters dropped and blanks as plain spaces.
std::string Visible(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t start = i;
        const char32_t c = platform::NextCodePoint(utf8, i);
        if (IsHiding(c))
            continue;
        if (IsBlank(c))
            out += ' ';
        else
            out.append(utf8.substr(start, i - start));
    }
    return out;
}

// One space for every run of spaces, one dot for every run of dots.
std::string CollapseRuns(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if ((c == ' ' || c == '.') && !out.empty() && out.back() == c)
            continue;
        out += c;
    }
    return out;
}

std::string TrimEnd(std::string text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

// Names Windows takes for devices, whatever their ending.
bool IsDeviceName(std::string_view name)
{
    std::string stem = Lower(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    static constexpr std::array<std::string_view, 6> kNames = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    if (std::find(kNames.begin(), kNames.end(), stem) != kNames.end())
        return true;
    return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '1'
        && stem[3] <= '9';
}

// `text` cut to at most `bytes` bytes, never inside a character.
std::string CutAt(std::string_view text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return std::string(text);
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end));
}

std::string FallbackName(std::string_view mimeType)
{
    const std::string ending = EndingForType(mimeType);
    return ending.empty() ? std::string("attachment") : "attachment." + ending;
}

// Types and their usual endings; of two types with one ending, the first
// is the one an ending stands for.
constexpr std::pair<std::string_view, std::string_view> kEndings[] = {
    {"image/jpeg", "jpg"}, {"image/pjpeg", "jpg"}, {"image/jpg", "jpg"}, {"image/gif", "gif"},
    {"image/png", "png"}, {"image/x-png", "png"}, {"image/bmp", "bmp"}, {"image/x-bmp", "bmp"},
    {"image/tiff", "tif"}, {"image/x-icon", "ico"}, {"application/pdf", "pdf"}, {"application/msword", "doc"},
    {"application/vnd.ms-excel", "xls"}, {"application/vnd.ms-powerpoint", "ppt"}, {"application/rtf", "rtf"},
    {"text/rtf", "rtf"}, {"application/zip", "zip"}, {"application/x-zip-compressed", "zip"},
    {"application/postscript", "ps"}, {"text/plain", "txt"}, {"text/html", "htm"}, {"text/calendar", "ics"},
    {"text/x-vcard", "vcf"}, {"text/vcard", "vcf"}, {"message/rfc822", "eml"}, {"audio/mpeg", "mp3"},
    {"audio/wav", "wav"}, {"audio/x-wav", "wav"}, {"audio/midi", "mid"}, {"video/mpeg", "mpg"},
    {"video/x-msvideo", "avi"}, {"application/octet-stream", "bin"},
    // Other endings of the types above, for TypeForName.
    {"image/jpeg", "jpeg"}, {"image/jpeg", "jpe"}, {"image/tiff", "tiff"}, {"text/html", "html"},
    {"audio/midi", "midi"}, {"video/mpeg", "mpeg"},
};

} // namespace

std::string EndingForType(std::string_view mimeType)
{
    std::string type = Lower(mimeType.substr(0, mimeType.find(';')));
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t'))
        type.pop_back();
    for (const auto& [name, ending] : kEndings)
        if (type == name)
            return std::string(ending);
    return {};
}

std::string TypeForName(std::string_view name)
{
    const std::string ending = Lower(SplitEnding(name).ending);
    for (const auto& [type, known] : kEndings)
        if (!ending.empty() && ending.substr(1) == known)
            return std::string(type);
    return "application/octet-stream";
}

NameParts SplitEnding(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot - 1 == 0
        || name.size() - dot - 1 > kMaxEndingBytes || name.find(' ', dot) != std::string_view::npos)
        return {std::string(name), {}};
    return {std::string(name.substr(0, dot)), std::string(name.substr(dot))};
}

namespace {

// The last component of a name some mail programs give with its path
// ("C:\My Documents\photo.jpg"); the whole when nothing follows the last
// separator.
std::string_view LastComponent(std::string_view name)
{
    const std::size_t separator = name.find_last_of("/\\");
    if (separator == std::string_view::npos)
        return name;
    const std::string_view last = name.substr(separator + 1);
    return last.find_first_not_of(" .") == std::string_view::npos ? name : last;
}

} // namespace

std::string CleanAttachmentName(std::string_view given, std::string_view mimeType)
{
    const std::string utf8 = ToDisplayUtf8(given);
    std::string name = CollapseRuns(ReplaceUnsafeCharacters(Visible(LastComponent(utf8))));
    name = TrimEnd(std::move(name));
    const std::size_t start = name.find_first_not_of(' ');
    name.erase(0, std::min(start, name.size()));
    if (name.empty())
        return FallbackName(mimeType);
    // A leading dot would hide the file (and "." alone names the folder).
    if (name.front() == '.')
        name.front() = '_';
    if (IsDeviceName(name))
        name.insert(0, 1, '_');
    if (name.size() > kMaxAttachmentNameBytes) {
        const NameParts parts = SplitEnding(name);
        std::string stem = TrimEnd(CutAt(parts.stem, kMaxAttachmentNameBytes - parts.ending.size()));
        name = (stem.empty() ? std::string("attachment") : stem) + parts.ending;
    }
    return name;
}

std::string DamagedName(std::string_view name)
{
    const NameParts parts = SplitEnding(name);
    return parts.stem + " (damaged)" + parts.ending;
}

} // namespace dbx
