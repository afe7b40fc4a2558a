#include "dbx/Continuity.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
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
// Bytes [wild, wild + 4) of `next` are unknown (a deleted block lost them).
int Base64Phase(const Lines& tail, std::string_view next, std::size_t wild)
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
    if (tail.partial.size() >= width || next.empty())
        return 0;
    auto unknown = [&](std::size_t i) { return i >= wild && i - wild < 4; };
    auto digit = [&](std::size_t i) { return i < next.size() && (unknown(i) || IsBase64(next[i])); };
    auto at = [&](std::size_t i, char c) { return i < next.size() && (unknown(i) || next[i] == c); };
    const std::size_t rest = width - tail.partial.size();
    std::size_t i = 0;
    while (i < rest && digit(i))
        ++i;
    if (i == rest && at(rest, '\r') && at(rest + 1, '\n'))
        return 4;
    if (i < rest && at(i, '\r') && at(i + 1, '\n'))
        return i == 0 ? 0 : 1;  // the body's last, shorter line
    return -4;
}

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Text wrapped at a width: the line the tail leaves open and the next
// block's first line make one line no longer than the tail's longest.
int LineLength(const Lines& tail, std::string_view next)
{
    if (tail.complete.size() < 3 || tail.partial.empty())
        return 0;
    std::size_t longest = 0;
    for (const std::string_view line : tail.complete) {
        // Header lines are as long as their values are.
        if (StartsWithHeaderLine(line) || line.find(": ") != std::string_view::npos)
            return 0;
        longest = std::max(longest, line.size());
    }
    const std::size_t end = next.find("\r\n");
    if (longest > 200 || end == std::string_view::npos)
        return 0;
    return tail.partial.size() + end > longest + 2 ? -2 : 1;
}

// A word cut by the block boundary: its two halves make a word the message
// uses elsewhere.
int WordJoin(std::string_view head, std::string_view tail, std::string_view next)
{
    std::size_t a = tail.size();
    while (a > 0 && IsLetter(tail[a - 1]))
        --a;
    std::size_t b = 0;
    while (b < next.size() && IsLetter(next[b]))
        ++b;
    if (a == tail.size() || b == 0)
        return 0;
    const std::string word = std::string(tail.substr(a)) + std::string(next.substr(0, b));
    for (const std::string_view text : {head, tail.substr(0, a)}) {
        for (std::size_t at = 0; (at = text.find(word, at)) != std::string_view::npos; at += word.size())
            if ((at == 0 || !IsLetter(text[at - 1])) && (at + word.size() == text.size() || !IsLetter(text[at + word.size()])))
                return 2;
    }
    return 0;
}

// Zeros after the end of a message's text go on to the block's end; text
// goes on as text.
int ZerosGoOn(std::string_view tail, std::string_view next)
{
    if (tail.empty() || next.empty())
        return 0;
    const bool ended = tail.back() == '\0';
    const std::size_t look = std::min<std::size_t>(next.size(), 8);
    const bool zeros = next.substr(0, look).find_first_not_of('\0') == std::string_view::npos;
    if (ended)
        return zeros ? 1 : -4;
    return 0;
}

} // namespace

int ContinuityScore(std::string_view head, std::string_view tail, std::string_view next, std::size_t blockAt,
                    bool deletedBlock)
{
    const std::size_t wild = deletedBlock ? std::min(blockAt, next.size()) : std::string_view::npos;
    int score = 0;
    blockAt = std::min(blockAt, next.size());
    // The rest of a block whose chain goes on is text through to its end.
    if (next.substr(0, blockAt).find('\0') != std::string_view::npos)
        score -= 4;
    const bool headerEnded = head.find("\r\n\r\n") != std::string_view::npos;
    if (StartsWithHeaderLine(next.substr(blockAt)))
        score -= headerEnded ? 4 : 1;

    const Lines lines = SplitLines(tail);
    score += Base64Phase(lines, next, wild);
    score += LineLength(lines, next);
    score += WordJoin(head, tail, next);
    score += ZerosGoOn(tail, next);

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
