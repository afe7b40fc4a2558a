#include "mailtext/Charsets.h"

#include "dbx/DisplayText.h"
#include "platform/Charsets.h"

#include <algorithm>
#include <utility>

namespace mailtext {

namespace {

constexpr std::size_t kMaxCharsetName = 40;

// The name in lower case without an RFC 2231 language ("utf-8*en"); empty
// when it holds anything a charset name never does (so that no name from a
// message can reach a converter with a "//" suffix or a path in it).
std::string CanonicalName(std::string_view charset)
{
    charset = charset.substr(0, charset.find('*'));
    if (charset.empty() || charset.size() > kMaxCharsetName)
        return {};
    std::string name;
    for (const char c : charset) {
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        const bool allowed = (lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') || lower == '-'
                             || lower == '_' || lower == '.' || lower == ':' || lower == '+';
        if (!allowed)
            return {};
        name += lower;
    }
    // Names mail clients use that converters spell otherwise, or supersets that
    // real mail under that name needs.
    static constexpr std::pair<std::string_view, std::string_view> kAliases[] = {
        {"ks_c_5601-1987", "cp949"}, {"gb2312", "gbk"}, {"x-gbk", "gbk"}, {"iso-8859-8-i", "iso-8859-8"},
    };
    for (const auto& [alias, target] : kAliases)
        if (name == alias)
            return std::string(target);
    return name;
}

bool IsOneOf(const std::string& name, std::initializer_list<std::string_view> names)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The name to convert `bytes` labelled `name` (lower case) with: UTF-16 and
// UTF-32 without a byte-order mark are big-endian (RFC 2781; UTF-32
// likewise), where glibc would read them in the machine's order.
std::string WithByteOrder(const std::string& name, std::string_view bytes)
{
    using namespace std::string_view_literals;
    const auto marked = [bytes](std::initializer_list<std::string_view> marks) {
        return std::any_of(marks.begin(), marks.end(), [bytes](std::string_view m) { return bytes.starts_with(m); });
    };
    if (!HasUnstatedByteOrder(name))
        return name;
    if (name.find("16") != std::string::npos)
        return marked({"\xFE\xFF"sv, "\xFF\xFE"sv}) ? name : "utf-16be";
    return marked({"\0\0\xFE\xFF"sv, "\xFF\xFE\0\0"sv}) ? name : "utf-32be";
}

// Appends `bytes` converted by the system, never passing on ill-formed
// UTF-8 that a converter may have let through.
bool Convert(std::string_view bytes, const std::string& name, std::string& out)
{
    const std::size_t begin = out.size();
    if (!platform::ConvertToUtf8(bytes, name, out))
        return false;
    const std::string_view made = std::string_view(out).substr(begin);
    if (!dbx::IsValidUtf8(made)) {
        const std::string repaired = dbx::RepairUtf8(made);
        out.replace(begin, std::string::npos, repaired);
    }
    return true;
}

} // namespace

bool HasUnstatedByteOrder(std::string_view charset)
{
    return IsOneOf(CanonicalName(charset), {"utf-16", "utf16", "utf-32", "utf32"});
}

bool NamesUtf8(std::string_view charset)
{
    return IsOneOf(CanonicalName(charset), {"utf-8", "utf8"});
}

bool AppendAsUtf8(std::string_view bytes, std::string_view charset, std::string& out)
{
    const std::string name = CanonicalName(charset);
    if (name.empty())
        return false;
    if (IsOneOf(name, {"utf-8", "utf8"})) {
        out += dbx::RepairUtf8(bytes);
        return true;
    }
    // 8-bit bytes under an ASCII label are common: the program's text rule.
    if (IsOneOf(name, {"us-ascii", "ascii", "us_ascii", "ansi_x3.4-1968"})) {
        out += dbx::ToDisplayUtf8(bytes);
        return true;
    }
    // ISO-8859-1 labels mean Windows-1252 in practice, as browsers read them.
    if (IsOneOf(name, {"iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "l1", "windows-1252", "cp1252",
                       "x-cp1252"})) {
        out += dbx::Windows1252ToUtf8(bytes);
        return true;
    }
    return AppendConverted(bytes, name, out);
}

bool AppendConverted(std::string_view bytes, const std::string& iconvName, std::string& out)
{
    return Convert(bytes, WithByteOrder(iconvName, bytes), out);
}

} // namespace mailtext
