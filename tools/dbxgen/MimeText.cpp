#include "tools/dbxgen/MimeText.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>

namespace dbxgen {

namespace {

// Unicode code points of windows-1252 bytes 0x80..0x9F (0: unassigned).
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// KOI8-R bytes 0xC0..0xDF hold the small Cyrillic letters in this order,
// 0xE0..0xFF the capitals in the same order.
constexpr std::u32string_view kKoi8Small =
    U"\u044E\u0430\u0431\u0446\u0434\u0435\u0444\u0433\u0445\u0438\u0439\u043A\u043B\u043C\u043D\u043E"
    U"\u043F\u044F\u0440\u0441\u0442\u0443\u0436\u0432\u044C\u044B\u0437\u0448\u044D\u0449\u0447\u044A";

std::u32string DecodeUtf8(std::string_view s)
{
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        if (extra > 0 && i + static_cast<std::size_t>(extra) >= s.size())
            throw std::invalid_argument("truncated UTF-8");
        for (int k = 1; k <= extra; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(cp);
        i += 1 + static_cast<std::size_t>(extra);
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

int ToByte(char32_t cp, Charset charset)
{
    if (cp < 0x80)
        return static_cast<int>(cp);
    switch (charset) {
    case Charset::Latin1:
        return cp <= 0xFF && cp >= 0xA0 ? static_cast<int>(cp) : -1;
    case Charset::Windows1252:
        if (cp >= 0xA0 && cp <= 0xFF)
            return static_cast<int>(cp);
        for (std::size_t i = 0; i < kCp1252High.size(); ++i)
            if (kCp1252High[i] == cp)
                return static_cast<int>(0x80 + i);
        return -1;
    case Charset::Windows1251:
        if (cp >= 0x0410 && cp <= 0x044F)
            return static_cast<int>(0xC0 + (cp - 0x0410));
        switch (cp) {
        case 0x0401: return 0xA8; // Ё
        case 0x0451: return 0xB8; // ё
        case 0x2116: return 0xB9; // №
        case 0x00AB: return 0xAB;
        case 0x00BB: return 0xBB;
        case 0x2013: return 0x96;
        case 0x2014: return 0x97;
        case 0x2026: return 0x85;
        case 0x00A0: return 0xA0;
        default: return -1;
        }
    case Charset::Koi8R:
        if (cp == 0x0451)
            return 0xA3;
        if (cp == 0x0401)
            return 0xB3;
        for (std::size_t i = 0; i < kKoi8Small.size(); ++i) {
            if (kKoi8Small[i] == cp)
                return static_cast<int>(0xC0 + i);
            if (kKoi8Small[i] - 0x20 == cp && cp >= 0x0410 && cp <= 0x042F)
                return static_cast<int>(0xE0 + i);
        }
        return -1;
    }
    return -1;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day)
{
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    year = 1970;
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    while (days < 0) {
        --year;
        days += leap(year) ? 366 : 365;
    }
    while (days >= (leap(year) ? 366 : 365)) {
        days -= leap(year) ? 366 : 365;
        ++year;
    }
    month = 1;
    for (int m = 0; m < 12; ++m) {
        const int len = kMonthDays[m] + (m == 1 && leap(year) ? 1 : 0);
        if (days < len)
            break;
        days -= len;
        ++month;
    }
    day = static_cast<int>(days) + 1;
}

} // namespace

const char* CharsetName(Charset charset)
{
    switch (charset) {
    case Charset::Windows1252: return "windows-1252";
    case Charset::Latin1: return "ISO-8859-1";
    case Charset::Windows1251: return "windows-1251";
    case Charset::Koi8R: return "koi8-r";
    }
    return "us-ascii";
}

std::string FromUtf8(std::string_view utf8, Charset charset)
{
    std::string out;
    for (char32_t cp : DecodeUtf8(utf8)) {
        const int b = ToByte(cp, charset);
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return out;
}

bool IsValidUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra;
        char32_t min;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            min = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= s.size())
            return false;
        char32_t cp = c & (0x3F >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string DisplayUtf8(std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out.push_back(ch);
        else if (b < 0xA0)
            AppendUtf8(out, kCp1252High[b - 0x80] ? kCp1252High[b - 0x80] : b);
        else
            AppendUtf8(out, b);
    }
    return out;
}

std::string Uuencode(std::string_view name, std::string_view data)
{
    const auto put = [](int sextet) { return static_cast<char>(sextet == 0 ? '`' : 0x20 + sextet); };
    std::string out = "begin 644 " + std::string(name) + "\r\n";
    for (std::size_t at = 0; at < data.size(); at += 45) {
        const std::size_t n = std::min<std::size_t>(45, data.size() - at);
        out += put(static_cast<int>(n));
        for (std::size_t k = 0; k < n; k += 3) {
            std::uint32_t v = 0;
            for (std::size_t b = 0; b < 3; ++b)
                v = v << 8 | (k + b < n ? static_cast<unsigned char>(data[at + k + b]) : 0u);
            for (int shift = 18; shift >= 0; shift -= 6)
                out += put(static_cast<int>(v >> shift & 63));
        }
        out += "\r\n";
    }
    return out + "`\r\nend\r\n";
}

std::string Base64(std::string_view data, std::size_t lineLength)
{
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    const std::size_t chars = (data.size() + 2) / 3 * 4;
    out.reserve(chars + (lineLength ? chars / lineLength * 2 + 2 : 0));
    std::size_t column = 0;
    auto put = [&](char c) {
        out.push_back(c);
        if (lineLength && ++column == lineLength) {
            out += "\r\n";
            column = 0;
        }
    };
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const std::uint32_t v = (static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << 16)
                                | (static_cast<std::uint32_t>(static_cast<unsigned char>(data[i + 1])) << 8)
                                | static_cast<unsigned char>(data[i + 2]);
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put(kAlphabet[(v >> 6) & 63]);
        put(kAlphabet[v & 63]);
    }
    if (i < data.size()) {
        std::uint32_t v = static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << 16;
        if (i + 1 < data.size())
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i + 1])) << 8;
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put(i + 1 < data.size() ? kAlphabet[(v >> 6) & 63] : '=');
        put('=');
    }
    if (lineLength && column != 0)
        out += "\r\n";
    return out;
}

std::string QuotedPrintable(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    std::size_t column = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        const bool lineEndFollows = i + 1 == text.size() || text[i + 1] == '\r';
        const bool plain = (c >= 33 && c <= 126 && c != '=')
                           || ((c == ' ' || c == '\t') && !lineEndFollows);
        const std::size_t width = plain ? 1 : 3;
        if (column + width > 75) { // room for the '=' of a soft break
            out += "=\r\n";
            column = 0;
        }
        if (plain) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('=');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
        column += width;
    }
    return out;
}

std::string EncodedWordB(std::string_view charset, std::string_view bytes)
{
    return "=?" + std::string(charset) + "?B?" + Base64(bytes, 0) + "?=";
}

std::string EncodedWordQ(std::string_view charset, std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "=?" + std::string(charset) + "?Q?";
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ' ') {
            out.push_back('_');
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
                   || c == '!' || c == '*' || c == '+' || c == '-' || c == '/') {
            out.push_back(ch);
        } else {
            out.push_back('=');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out + "?=";
}

std::string Crlf(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 40);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out.push_back('\r');
        out.push_back(text[i]);
    }
    return out;
}

std::string MailDate(std::int64_t unixSeconds, int zoneMinutes)
{
    static constexpr const char* kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::int64_t local = unixSeconds + zoneMinutes * 60;
    std::int64_t days = local / 86400;
    std::int64_t secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    int y, m, d;
    CivilFromDays(days, y, m, d);
    const int zone = zoneMinutes < 0 ? -zoneMinutes : zoneMinutes;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %d %s %04d %02d:%02d:%02d %c%02d%02d",
                  kDays[((days % 7) + 7) % 7], d, kMonths[m - 1], y, static_cast<int>(secs / 3600),
                  static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60),
                  zoneMinutes < 0 ? '-' : '+', zone / 60, zone % 60);
    return buf;
}

std::uint64_t FileTimeFromUnix(std::int64_t unixSeconds)
{
    return static_cast<std::uint64_t>(unixSeconds + 11644473600LL) * 10000000ULL;
}

std::int64_t UnixFromCivil(int year, int month, int day, int hour, int minute, int second)
{
    static constexpr int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    std::int64_t days = 0;
    for (int y = 1970; y < year; ++y)
        days += leap(y) ? 366 : 365;
    for (int y = year; y < 1970; ++y)
        days -= leap(y) ? 366 : 365;
    days += kBefore[month - 1] + (month > 2 && leap(year) ? 1 : 0) + (day - 1);
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

} // namespace dbxgen
