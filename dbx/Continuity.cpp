#include "dbx/Continuity.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace dbx {

namespace {

bool IsBase64(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/'
           || c == '=';
}

bool AllBase64(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), IsBase64);
}

// The complete lines of `text` (between CR LFs) and what follows the last one.
struct Lines {
    std::vector<std::string_view> complete;
    std::string_view partial;
};

Lines SplitLines(std::string_view text)
{
    Lines lines;
    std::size_t start = 0;
    // The text before the first line end is the end of an earlier line.
    const std::size_t first = text.find("\r\n");
    if (first == std::string_view::npos) {
        lines.partial = text;
        return lines;
    }
    start = first + 2;
    for (;;) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos)
            break;
        lines.complete.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    lines.partial = text.substr(start);
    return lines;
}

// A header line "Name: value" at the very start, and another after it: how
// a message's first block begins, and a continuation block almost never
// does. The header of a MIME part (Content-...) does not count.
bool StartsWithHeaderLine(std::string_view text)
{
    if (text.starts_with("Content-"))
        return false;
    std::size_t i = 0;
    while (i < text.size() && i < 40
           && ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z') || text[i] == '-'
               || (i > 0 && text[i] >= '0' && text[i] <= '9')))
        ++i;
    if (i < 2 || i + 1 >= text.size() || text[i] != ':' || text[i + 1] != ' ')
        return false;
    // and a second header line after it
    const std::size_t end = text.find("\r\n");
    if (end == std::string_view::npos || end + 2 >= text.size())
        return false;
    const char c = text[end + 2];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ' ' || c == '\t';
}

// The MIME boundaries a header names (boundary="..." or boundary=token).
std::vector<std::string> Boundaries(std::string_view head)
{
    std::vector<std::string> found;
    for (std::size_t at = 0; (at = head.find("boundary=", at)) != std::string_view::npos;) {
        at += 9;
        std::string value;
        if (at < head.size() && head[at] == '"') {
            const std::size_t end = head.find('"', at + 1);
            if (end == std::string_view::npos)
                break;
            value = std::string(head.substr(at + 1, end - at - 1));
        } else {
            std::size_t end = at;
            while (end < head.size() && head[end] != ';' && head[end] != '\r' && head[end] != '\n' && head[end] != ' ')
                ++end;
            value = std::string(head.substr(at, end - at));
        }
        if (value.size() >= 4)
            found.push_back(std::move(value));
    }
    return found;
}

// Share of control bytes other than white space (zeros are a block's slack).
double BinaryShare(std::string_view s)
{
    if (s.empty())
        return 0;
    std::size_t odd = 0;
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != 0 && u != '\r' && u != '\n' && u != '\t') || u == 0x7F)
            ++odd;
    }
    return static_cast<double>(odd) / static_cast<double>(s.size());
}

// Base64 lines run at one length: the tail's last complete lines tell it,
// and the next block must finish the tail's partial line at that column.
int Base64Phase(const Lines& tail, std::string_view next)
{
    if (tail.complete.size() < 2)
        return 0;
    const std::string_view last = tail.complete.back();
    const std::string_view before = tail.complete[tail.complete.size() - 2];
    if (last.size() < 16 || last.size() != before.size() || !AllBase64(last) || !AllBase64(before))
        return 0;
    if (!tail.partial.empty() && !AllBase64(tail.partial))
        return 0;
    const std::size_t width = last.size();
    if (tail.partial.size() >= width)
        return 0;
    const std::size_t rest = width - tail.partial.size();
    const std::size_t end = next.find("\r\n");
    if (next.empty() || end == 0)
        return 0;  // nothing to go by, or the body's last line ended
    if (end == rest && AllBase64(next.substr(0, rest)))
        return 4;
    if (end != std::string_view::npos && end < rest && AllBase64(next.substr(0, end)))
        return 1;  // the last, shorter line of the body
    return -4;
}

} // namespace

int ContinuityScore(std::string_view head, std::string_view tail, std::string_view next, std::size_t blockAt)
{
    int score = 0;
    blockAt = std::min(blockAt, next.size());
    // The rest of a block whose chain goes on is text through to its end.
    if (next.substr(0, blockAt).find('\0') != std::string_view::npos)
        score -= 4;
    const bool headerEnded = head.find("\r\n\r\n") != std::string_view::npos;
    if (StartsWithHeaderLine(next.substr(blockAt)))
        score -= headerEnded ? 4 : 1;

    const Lines lines = SplitLines(tail);
    score += Base64Phase(lines, next);

    // A boundary declaration cut at the end of the head is completed by what
    // follows it.
    std::vector<std::string> ours = Boundaries(head);
    if (const std::size_t at = head.rfind("boundary=\""); at != std::string_view::npos
        && head.find('"', at + 10) == std::string_view::npos)
        ours = Boundaries(std::string(head) + std::string(next.substr(0, 256)));
    if (!ours.empty()) {
        bool mine = false, other = false;
        for (std::size_t at = 0; (at = next.find("\r\n--", at)) != std::string_view::npos; at += 4) {
            const std::string_view line = next.substr(at + 4, next.find("\r\n", at + 4) - (at + 4));
            if (line.size() < 10)
                continue;
            const bool known = std::any_of(ours.begin(), ours.end(), [&](const std::string& b) {
                // Spaces stand for bytes a deleted block lost.
                return line.size() >= b.size()
                       && std::equal(b.begin(), b.end(), line.begin(), [](char x, char y) { return x == ' ' || x == y; });
            });
            (known ? mine : other) = true;
        }
        if (mine)
            score += 3;
        else if (other)
            score -= 3;
    }

    const double tailBinary = BinaryShare(tail), nextBinary = BinaryShare(next);
    if (tailBinary < 0.01 && nextBinary > 0.1)
        score -= 3;
    return score;
}

} // namespace dbx
