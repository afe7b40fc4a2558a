#include "dbx/DisplayText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace dbx {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at s[i], or 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return 1;
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;       // overlong
        if (c == 0xED) hi = 0x9F;       // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;       // overlong
        if (c == 0xF4) hi = 0x8F;       // past U+10FFFF
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi)
        return 0;
    for (std::size_t k = 2; k < len; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    return len;
}

// How many bytes at the end form the start of a sequence that the text was
// cut in the middle of (0 when it ends cleanly).
std::size_t CutSequenceAtEnd(std::string_view s)
{
    const std::size_t n = s.size();
    for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
        const auto c = static_cast<unsigned char>(s[n - back]);
        if ((c & 0xC0) == 0x80)
            continue;  // a continuation byte: look further back
        const std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return need > back ? back : 0;
    }
    return 0;
}

void AppendCodePoint(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Windows-1252 0x80..0x9F; 0 marks the five undefined bytes.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

} // namespace

std::size_t CutUtf8SequenceAtEnd(std::string_view bytes)
{
    return CutSequenceAtEnd(bytes);
}

bool IsValidUtf8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        // ASCII, as most header text is: eight bytes at a step.
        if (std::uint64_t word = 0; i + 8 <= bytes.size()) {
            std::memcpy(&word, bytes.data() + i, 8);
            if ((word & 0x8080808080808080u) == 0) {
                i += 8;
                continue;
            }
        }
        const std::size_t len = Utf8SequenceLength(bytes, i);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

std::string RepairUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t len = Utf8SequenceLength(bytes, i);
        if (len == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(bytes.substr(i, len));
            i += len;
        }
    }
    return out;
}

std::string Windows1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else if (c < 0xA0) {
            const std::uint16_t cp = kCp1252High[c - 0x80];
            AppendCodePoint(out, cp != 0 ? cp : c);
        } else {
            AppendCodePoint(out, c);
        }
    }
    return out;
}

std::string ToDisplayUtf8(std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    // A UTF-8 text cut in the middle of a character: only when the rest holds
    // other non-ASCII characters, or a lone "\xE9" at the end of a
    // Windows-1252 text would be lost.
    const std::string_view whole = bytes.substr(0, bytes.size() - CutSequenceAtEnd(bytes));
    const bool hasNonAscii = std::any_of(whole.begin(), whole.end(),
                                         [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (whole.size() < bytes.size() && hasNonAscii && IsValidUtf8(whole))
        return std::string(whole);
    return Windows1252ToUtf8(bytes);
}

std::string PathToDisplay(std::string_view path)
{
    if (IsValidUtf8(path))
        return std::string(path);
    std::string out;
    out.reserve(path.size() + path.size() / 4);
    while (!path.empty()) {
        const std::size_t end = std::min(path.find_first_of("/\\"), path.size());
        const std::string_view part = path.substr(0, end);
        out += IsValidUtf8(part) ? std::string(part) : Windows1252ToUtf8(part);
        if (end < path.size())
            out += path[end];
        path.remove_prefix(std::min(end + 1, path.size()));
    }
    return out;
}

std::string ReplaceControls(std::string_view utf8, char with)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        if (c < 0x20 || c == 0x7F) {
            out += with;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            out += with;
            ++i;
        } else {
            out += utf8[i];
        }
    }
    return out;
}

} // namespace dbx
