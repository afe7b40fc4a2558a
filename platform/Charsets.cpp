#include "platform/Charsets.h"

#include "platform/Utf8.h"

#include <algorithm>
#include <cstdint>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <charconv>
#include <climits>
#else
#include <iconv.h>

#include <cerrno>
#include <memory>
#include <utility>
#include <vector>
#endif

namespace platform {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

} // namespace

#ifdef _WIN32

namespace {

// MIME and iconv names of the charsets Windows converts, by code page. The
// numbered families ("iso-8859-5", "windows-1251", "cp866") are read
// separately below.
struct CodePageName {
    std::string_view name;
    UINT codePage;
};
constexpr CodePageName kNamedCodePages[] = {
    {"utf-8", CP_UTF8}, {"utf8", CP_UTF8}, {"utf-7", 65000}, {"utf7", 65000},
    {"us-ascii", 20127}, {"ascii", 20127}, {"us_ascii", 20127}, {"ansi_x3.4-1968", 20127},
    {"latin1", 28591}, {"l1", 28591}, {"latin2", 28592}, {"l2", 28592}, {"latin-9", 28605}, {"latin9", 28605},
    {"koi8-r", 20866}, {"koi8r", 20866}, {"koi8-u", 21866}, {"koi8-ru", 21866},
    {"shift_jis", 932}, {"shift-jis", 932}, {"sjis", 932}, {"x-sjis", 932}, {"ms_kanji", 932},
    {"windows-31j", 932}, {"csshiftjis", 932},
    {"euc-jp", 20932}, {"eucjp", 20932}, {"x-euc-jp", 20932},
    {"iso-2022-jp", 50220}, {"csiso2022jp", 50221}, {"iso-2022-kr", 50225},
    {"euc-kr", 949}, {"euckr", 949}, {"uhc", 949}, {"ks_c_5601-1987", 949},
    {"gbk", 936}, {"x-gbk", 936}, {"gb2312", 936}, {"euc-cn", 936}, {"euccn", 936}, {"x-euc-cn", 936},
    {"gb18030", 54936}, {"hz-gb-2312", 52936},
    {"big5", 950}, {"big-5", 950}, {"cn-big5", 950}, {"x-x-big5", 950}, {"big5-hkscs", 950},
    {"tis-620", 874}, {"tis620", 874},
    {"macintosh", 10000}, {"mac", 10000}, {"x-mac-roman", 10000}, {"maccyrillic", 10007},
    {"x-mac-cyrillic", 10007}, {"x-mac-ce", 10029},
};

// ISO 8859 parts by number; Windows has no 10, 12, 14 or 16.
UINT IsoCodePage(unsigned part)
{
    if (part >= 1 && part <= 9)
        return 28590 + part;
    switch (part) {
    case 11: return 874;  // TIS-620, which windows-874 extends
    case 13: return 28603;
    case 15: return 28605;
    default: return 0;
    }
}

// `text` after `prefix` as a decimal number; 0 when it is not one.
unsigned NumberAfter(std::string_view text, std::string_view prefix)
{
    if (!text.starts_with(prefix))
        return 0;
    text.remove_prefix(prefix.size());
    unsigned n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    return ec == std::errc() && end == text.data() + text.size() ? n : 0;
}

// The code page named `name` (lower case), whatever this system has.
UINT NamedCodePage(std::string_view name)
{
    for (const auto& known : kNamedCodePages)
        if (known.name == name)
            return known.codePage;
    for (const std::string_view prefix : {"iso-8859-", "iso8859-", "iso_8859-"})
        if (const unsigned part = NumberAfter(name, prefix))
            return IsoCodePage(part);
    unsigned number = 0;
    for (const std::string_view prefix : {"windows-", "cp", "x-cp", "ibm", "ms"})
        if ((number = NumberAfter(name, prefix)) != 0)
            break;
    // UTF-16 and UTF-32 have numbers, but MultiByteToWideChar converts
    // neither.
    if (number == 0 || number > 65535 || number == 1200 || number == 1201 || number == 12000 || number == 12001)
        return 0;
    return number;
}

// The code page for charset `name` (lower case); 0 when this system has
// none (Wine lacks GB18030, the ISO-2022 forms and HZ).
UINT CodePageFor(std::string_view name)
{
    const UINT codePage = NamedCodePage(name);
    return codePage != 0 && IsValidCodePage(codePage) ? codePage : 0;
}

// Code pages whose conversion takes no flags (stateful or 7-bit forms).
bool TakesNoFlags(UINT codePage)
{
    return (codePage >= 50220 && codePage <= 50229) || codePage == 52936 || codePage == 65000
           || (codePage >= 57002 && codePage <= 57011) || codePage == 42;
}

// Appends the UTF-16 of `bytes` in `codePage`; false when a byte in it does
// not convert (strictly) or the input is too long for one call.
bool ConvertStrictly(UINT codePage, DWORD flags, std::string_view bytes, std::u16string& out)
{
    if (bytes.empty())
        return true;
    if (bytes.size() > INT_MAX / 2)
        return false;
    const int length = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(codePage, flags, bytes.data(), length, nullptr, 0);
    if (n <= 0)
        return false;
    const std::size_t begin = out.size();
    out.resize(begin + static_cast<std::size_t>(n));
    MultiByteToWideChar(codePage, flags, bytes.data(), length, reinterpret_cast<wchar_t*>(out.data() + begin), n);
    return true;
}

// True when `rest`, which converts to nothing, is the start of a character
// that the end of the text cut off: a lead byte alone, or the start of one
// of GB18030's four-byte forms.
bool CutOffAtEnd(UINT codePage, std::string_view rest)
{
    const auto byte = [rest](std::size_t i) { return static_cast<unsigned char>(rest[i]); };
    if (rest.size() == 1)
        return IsDBCSLeadByteEx(codePage, byte(0)) != 0;
    return codePage == 54936 && rest.size() < 4 && byte(0) >= 0x81 && byte(1) >= 0x30 && byte(1) <= 0x39;
}

void AppendCodePage(UINT codePage, std::string_view bytes, std::string& out)
{
    std::u16string wide;
    if (TakesNoFlags(codePage)) {
        if (!ConvertStrictly(codePage, 0, bytes, wide))
            wide.assign(1, u'\uFFFD');
    } else if (!ConvertStrictly(codePage, MB_ERR_INVALID_CHARS, bytes, wide)) {
        // Character by character: the shortest run of bytes from here that
        // converts is one character; a byte that starts none is U+FFFD.
        wide.clear();
        std::size_t i = 0;
        while (i < bytes.size()) {
            const std::size_t left = bytes.size() - i;
            std::size_t taken = 0;
            for (std::size_t n = 1; n <= 4 && n <= left && taken == 0; ++n)
                if (ConvertStrictly(codePage, MB_ERR_INVALID_CHARS, bytes.substr(i, n), wide))
                    taken = n;
            if (taken == 0) {
                wide += u'\uFFFD';
                if (CutOffAtEnd(codePage, bytes.substr(i)))
                    break;  // one mark for it, as iconv gives
                taken = 1;
            }
            i += taken;
        }
    }
    out += Utf16ToUtf8(wide);
}

// UTF-16 and UTF-32, read as glibc's iconv reads them so that both builds
// show the same text: a unit that is no character (a lone surrogate, a
// value past U+10FFFF) is U+FFFD and reading goes on one byte later; a unit
// cut off at the end is one U+FFFD.
void AppendUnits(std::string_view bytes, std::size_t unitSize, bool bigEndian, std::string& out)
{
    const auto unit = [&](std::size_t at, std::size_t size) {
        char32_t c = 0;
        for (std::size_t k = 0; k < size; ++k) {
            const auto b = static_cast<unsigned char>(bytes[at + (bigEndian ? k : size - 1 - k)]);
            c = (c << 8) | b;
        }
        return c;
    };
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (bytes.size() - i < unitSize) {
            out += kReplacement;
            break;
        }
        char32_t c = unit(i, unitSize);
        std::size_t used = unitSize;
        if (unitSize == 2 && c >= 0xD800 && c <= 0xDBFF) {
            if (bytes.size() - i < 4) {
                out += kReplacement;
                break;
            }
            const char32_t low = unit(i + 2, 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                used = 4;
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            out += kReplacement;
            ++i;
            continue;
        }
        AppendUtf8(out, c);
        i += used;
    }
}

// UTF-16 and UTF-32 by name; false for other names.
bool AppendUnicode(std::string_view bytes, std::string_view name, std::string& out)
{
    using namespace std::string_view_literals;
    std::size_t unitSize = 0;
    if (name.starts_with("utf-16") || name.starts_with("utf16"))
        unitSize = 2;
    else if (name.starts_with("utf-32") || name.starts_with("utf32"))
        unitSize = 4;
    else
        return false;
    std::string_view order = name.substr(name[3] == '-' ? 6 : 5);
    bool bigEndian = true;
    if (order == "le") {
        bigEndian = false;
    } else if (order.empty()) {
        // A byte-order mark says which, and is no part of the text.
        const std::string_view littleMark = unitSize == 2 ? "\xFF\xFE"sv : "\xFF\xFE\0\0"sv;
        const std::string_view bigMark = unitSize == 2 ? "\xFE\xFF"sv : "\0\0\xFE\xFF"sv;
        if (bytes.starts_with(littleMark))
            bigEndian = false;
        if (bytes.starts_with(littleMark) || bytes.starts_with(bigMark))
            bytes.remove_prefix(unitSize);
    } else if (order != "be") {
        return false;
    }
    AppendUnits(bytes, unitSize, bigEndian, out);
    return true;
}

} // namespace

bool ConvertToUtf8(std::string_view bytes, const std::string& name, std::string& out)
{
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (AppendUnicode(bytes, lower, out))
        return true;
    const UINT codePage = CodePageFor(lower);
    if (codePage == 0)
        return false;
    AppendCodePage(codePage, bytes, out);
    return true;
}

#else

namespace {

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
}

} // namespace

bool ConvertToUtf8(std::string_view bytes, const std::string& name, std::string& out)
{
    if (name.empty())
        return false;  // iconv would take it for the locale's charset
    thread_local Converters converters;
    const iconv_t cd = converters.Get(name);
    if (cd == Converters::Invalid())
        return false;
    Convert(cd, bytes, out);
    return true;
}

#endif

} // namespace platform
