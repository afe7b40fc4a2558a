#include "mailtext/Charsets.h"

#include "dbx/DisplayText.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

namespace mailtext {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::size_t kMaxCharsetName = 40;

// The name in lower case without an RFC 2231 language ("utf-8*en"); empty
// when it holds anything a charset name never does (so that no name from a
// message can reach iconv with a "//" suffix or a path in it).
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
    // Names mail clients use that iconv spells otherwise, or supersets that
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

// True for the charsets (lower-case names) whose iconv converter learns the
// byte order from a byte-order mark. glibc keeps what it learned past a reset
// of the converter, so such a converter must not be reused for other text.
bool LearnsByteOrder(std::string_view name)
{
    for (const std::string_view prefix : {"utf-16", "utf16", "utf-32", "utf32", "ucs-2", "ucs2", "ucs-4", "ucs4", "unicode"})
        if (name.starts_with(prefix))
            return true;
    return false;
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

// The converters opened on this thread, by name (null: the system does not
// know the charset). Opening one costs far more than using it.
class Converters {
public:
    ~Converters()
    {
        for (auto& [name, cd] : open_)
            if (cd != Invalid())
                iconv_close(cd);
    }

    // A converter for `name` in its initial state; Invalid() when the system
    // does not know the charset.
    iconv_t Get(const std::string& name)
    {
        if (LearnsByteOrder(name)) {  // never reused
            stray_.reset();              // closes the previous one first
            const iconv_t cd = iconv_open("UTF-8", name.c_str());
            stray_.reset(cd == Invalid() ? nullptr : cd);
            return cd;
        }
        for (const auto& [known, cd] : open_)
            if (known == name)
                return cd;
        const iconv_t cd = iconv_open("UTF-8", name.c_str());
        if (open_.size() < kMaxOpen)
            open_.emplace_back(name, cd);
        else
            stray_.reset(cd == Invalid() ? nullptr : cd);  // kept until the next one: a hostile message names many
        return cd;
    }

    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }

private:
    static constexpr std::size_t kMaxOpen = 32;
    struct Closer {
        void operator()(iconv_t cd) const { iconv_close(cd); }
    };
    std::vector<std::pair<std::string, iconv_t>> open_;
    std::unique_ptr<std::remove_pointer_t<iconv_t>, Closer> stray_;
};

void Convert(iconv_t cd, std::string_view bytes, std::string& out)
{
    const std::size_t begin = out.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // the initial shift state
    char* in = const_cast<char*>(bytes.data());     // iconv does not write through it
    std::size_t inLeft = bytes.size();
    char buffer[1024];
    for (bool flushed = false; !flushed;) {
        char* to = buffer;
        std::size_t room = sizeof buffer;
        flushed = inLeft == 0;
        const std::size_t rc = flushed ? iconv(cd, nullptr, nullptr, &to, &room) : iconv(cd, &in, &inLeft, &to, &room);
        out.append(buffer, static_cast<std::size_t>(to - buffer));
        if (rc != static_cast<std::size_t>(-1) || flushed)
            continue;
        if (errno == E2BIG)
            continue;
        out += kReplacement;
        if (errno == EILSEQ && inLeft > 0) {
            ++in;  // skip the bad byte and go on
            --inLeft;
        } else {
            inLeft = 0;  // a sequence cut off at the end
        }
    }
    // Never pass on what a converter may have let through ill-formed.
    const std::string_view made = std::string_view(out).substr(begin);
    if (!dbx::IsValidUtf8(made)) {
        const std::string repaired = dbx::RepairUtf8(made);
        out.replace(begin, std::string::npos, repaired);
    }
}

} // namespace

bool HasUnstatedByteOrder(std::string_view charset)
{
    return IsOneOf(CanonicalName(charset), {"utf-16", "utf16", "utf-32", "utf32"});
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
    thread_local Converters converters;
    const iconv_t cd = converters.Get(WithByteOrder(iconvName, bytes));
    if (cd == Converters::Invalid())
        return false;
    Convert(cd, bytes, out);
    return true;
}

} // namespace mailtext
