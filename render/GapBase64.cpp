#include "render/GapBase64.h"

#include "render/Gaps.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <vector>

namespace render {
namespace {

int Sextet(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool IsBase64Char(char c)
{
    return Sextet(c) >= 0 || c == '=';
}

struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;  // before its line break
    bool hasGap = false;
};

std::vector<Line> SplitLines(std::string_view text)
{
    std::vector<Line> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        end = end == std::string_view::npos ? text.size() : end;
        if (end > at && text[end - 1] == '\r')
            --end;
        Line line{at, end, false};
        for (std::size_t k = at; k < end; ++k)
            line.hasGap = line.hasGap || text[k] == kGapByte;
        lines.push_back(line);
        at = next;
    }
    return lines;
}

// The length most undamaged lines have (0 when there are too few to tell).
std::size_t UsualLineLength(std::string_view text, const std::vector<Line>& lines)
{
    std::map<std::size_t, int> counts;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        if (!lines[i].hasGap && lines[i].end > lines[i].begin && text[lines[i].end - 1] != '=')
            ++counts[lines[i].end - lines[i].begin];
    std::size_t best = 0;
    int bestCount = 0;
    for (const auto& [length, count] : counts)
        if (count > bestCount)
            best = length, bestCount = count;
    return best;
}

// How many Base64 characters the gap of `n` bytes at `at` stood for, on the
// line [lineStart, lineEnd) as it survives. A gap holds either n characters,
// or a line break (CR LF, or just the part of it that did not survive) and
// the characters around it; the line lengths around the gap tell which.
std::size_t LostCharacters(std::string_view text, std::size_t at, std::size_t n, std::size_t usual,
                           std::size_t lineStart, std::size_t lineEnd)
{
    if (usual == 0)
        return n;
    const std::size_t before = at - lineStart;     // characters of its line before it
    const std::size_t after = lineEnd - (at + n);  // and after it
    const bool lastLine = text.find_first_not_of("\r\n", lineEnd) == std::string_view::npos;
    const auto fits = [&](std::size_t length, bool last) { return length == usual || (last && length < usual); };
    const bool crBefore = at > 0 && text[at - 1] == '\r';
    const bool lfAfter = at + n < text.size() && text[at + n] == '\n';
    if (crBefore && n >= 1)  // the gap begins with the LF of that CR
        return n - 1;
    if (lfAfter && n >= 1)  // it ends with the CR of that LF
        return n - 1;
    if (fits(before + n + after, lastLine))
        return n;
    for (std::size_t k = 0; k + 2 <= n; ++k)  // k characters, CR LF, the rest
        if (before + k == usual && fits(n - 2 - k + after, lastLine))
            return n - 2;
    return n;
}

// Decodes `encoded` around its gaps, handing each decoded byte to
// emit(byte, lost) in order.
template <class Emit>
void DecodeAround(std::string_view encoded, Emit&& emit)
{
    const std::vector<Line> lines = SplitLines(encoded);
    const std::size_t usual = UsualLineLength(encoded, lines);
    std::array<int, 4> group{};  // sextets; -1 = lost
    int filled = 0;
    const auto flush = [&](int count) {
        // count sextets give count - 1 bytes; a byte is lost when any of the
        // two sextets it is made of is.
        for (int b = 0; b + 1 < count; ++b) {
            const int hi = group[static_cast<std::size_t>(b)];
            const int lo = group[static_cast<std::size_t>(b + 1)];
            if (hi < 0 || lo < 0) {
                emit('\0', true);
                continue;
            }
            const int shift = 2 * (b + 1);
            emit(static_cast<char>(((hi << shift) | (lo >> (6 - shift))) & 0xFF), false);
        }
        filled = 0;
    };
    const auto push = [&](int sextet) {
        group[static_cast<std::size_t>(filled++)] = sextet;
        if (filled == 4)
            flush(4);
    };
    std::size_t lineStart = 0;
    std::size_t lineEnd = 0;  // of the line of the last gap, as far as it survives
    for (std::size_t i = 0; i < encoded.size();) {
        const char c = encoded[i];
        if (c == '\n')
            lineStart = i + 1;
        if (c == kGapByte) {
            std::size_t n = 0;
            while (i + n < encoded.size() && encoded[i + n] == kGapByte)
                ++n;
            if (lineEnd < i + n)
                lineEnd = std::min(encoded.find_first_of("\r\n", i + n), encoded.size());
            for (std::size_t k = LostCharacters(encoded, i, n, usual, lineStart, lineEnd); k > 0; --k)
                push(-1);
            i += n;
            continue;
        }
        if (c == '=')
            break;
        if (const int s = Sextet(c); s >= 0)
            push(s);
        ++i;
    }
    if (filled > 1)
        flush(filled);
}

} // namespace

std::string DecodeBase64AroundGaps(std::string_view encoded)
{
    std::string out;
    out.reserve(encoded.size() / 4 * 3);
    DecodeAround(encoded, [&](char byte, bool lost) { out += lost ? kGapByte : byte; });
    return out;
}

AttachmentContent DecodeBase64Lost(std::string_view encoded)
{
    AttachmentContent out;
    out.bytes.reserve(encoded.size() / 4 * 3);
    DecodeAround(encoded, [&](char byte, bool lost) {
        if (lost)
            out.AppendLost(1);
        else
            out.bytes += byte;
    });
    return out;
}

bool LooksLikeBase64(std::string_view text)
{
    const std::vector<Line> lines = SplitLines(text);
    const std::size_t usual = UsualLineLength(text, lines);
    if (usual < 16 || usual % 4 != 0)
        return false;
    std::size_t full = 0;
    for (const Line& line : lines) {
        for (std::size_t k = line.begin; k < line.end; ++k)
            if (!IsBase64Char(text[k]) && text[k] != kGapByte)
                return false;
        full += line.end - line.begin == usual ? 1 : 0;
    }
    return full * 2 >= lines.size();
}

} // namespace render
