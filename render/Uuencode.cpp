#include "render/Uuencode.h"

#include "render/Gaps.h"

#include <algorithm>
#include <array>
#include <map>

namespace render {
namespace {

bool IsGap(char c)
{
    return c == kGapByte;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The lines of `text` without their line breaks, from `at` on.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}

    bool Next(std::string_view& line)
    {
        if (at_ >= text_.size())
            return false;
        std::size_t end = text_.find('\n', at_);
        const std::size_t next = end == std::string_view::npos ? text_.size() : end + 1;
        end = end == std::string_view::npos ? text_.size() : end;
        line = text_.substr(at_, end - at_);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        at_ = next;
        return true;
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

// `line` reads `word` where the surviving letters allow it: each character
// is its letter or lost, and at least `letters` of them survive.
bool Fits(std::string_view line, std::string_view word, std::size_t letters)
{
    if (line.size() < word.size())
        return false;
    std::size_t kept = 0;
    for (std::size_t k = 0; k < word.size(); ++k) {
        if (line[k] == word[k])
            ++kept;
        else if (!IsGap(line[k]))
            return false;
    }
    return kept >= letters;
}

// "begin 644 name": the word, blanks, three or four octal digits, blanks
// and the name (lost characters allowed where they leave this reading).
bool ParseBegin(std::string_view line, std::string& name)
{
    if (!Fits(line, "begin", 3) || line.size() < 7)
        return false;
    std::size_t p = 5;
    if (!IsBlank(line[p]) && !IsGap(line[p]))
        return false;
    while (p < line.size() && IsBlank(line[p]))
        ++p;
    std::size_t digits = 0;
    while (p + digits < line.size() && digits < 5
           && ((line[p + digits] >= '0' && line[p + digits] <= '7') || IsGap(line[p + digits])))
        ++digits;
    if (digits < 3 || digits > 4)
        return false;
    p += digits;
    if (p >= line.size() || (!IsBlank(line[p]) && !IsGap(line[p])))
        return false;
    while (p < line.size() && IsBlank(line[p]))
        ++p;
    std::string_view rest = line.substr(p);
    while (!rest.empty() && IsBlank(rest.back()))
        rest.remove_suffix(1);
    if (rest.empty())
        return false;
    name.assign(rest);
    return true;
}

bool IsEndLine(std::string_view line)
{
    while (!line.empty() && IsBlank(line.back()))
        line.remove_suffix(1);
    return line.size() == 3 && Fits(line, "end", 1);
}

// A line of encoded data: every character from the alphabet (' ' to '`')
// or lost; a CR before a gap is what is left of a line break the gap took.
bool IsDataLine(std::string_view line)
{
    if (line.empty())
        return false;
    for (std::size_t k = 0; k < line.size(); ++k) {
        const auto c = static_cast<unsigned char>(line[k]);
        const bool alphabet = c >= 0x20 && c <= 0x60;
        const bool brokenBreak = c == '\r' && k + 1 < line.size() && IsGap(line[k + 1]);
        if (!alphabet && !IsGap(line[k]) && !brokenBreak)
            return false;
    }
    return true;
}

int Count(char c)
{
    return (static_cast<unsigned char>(c) - 0x20) & 0x3F;
}

class Decoder {
public:
    Decoder(const std::vector<std::string_view>& lines, AttachmentContent& out) : out_(out)
    {
        // The length most undamaged lines have, and the count they give.
        std::map<std::size_t, int> lengths;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            if (!HasGap(lines[i]))
                ++lengths[lines[i].size()];
        int best = 0;
        for (const auto& [length, count] : lengths)
            if (count > best)
                usual_ = length, best = count;
        for (const std::string_view line : lines)
            if (line.size() == usual_ && !HasGap(line.substr(0, 1)))
                usualCount_ = Count(line[0]);
    }

    // A line as it survives: where a gap took a line break, the two lines
    // it joined are read apart again (the first is as long as the others).
    void Line(std::string_view line)
    {
        if (usual_ == 0 || !HasGap(line) || line.size() <= usual_) {
            Decode(line);
            return;
        }
        for (const std::size_t breakSize : {std::size_t{2}, std::size_t{1}}) {
            if (usual_ + breakSize > line.size())
                continue;
            const std::string_view taken = line.substr(usual_, breakSize);
            if (!std::all_of(taken.begin(), taken.end(), [](char c) { return IsGap(c) || c == '\r'; })
                || !HasGap(taken))
                continue;
            Decode(line.substr(0, usual_));
            Decode(line.substr(usual_ + breakSize));
            return;
        }
        Decode(line);
    }

private:
    void Decode(std::string_view line)
    {
        if (line.empty())
            return;
        const std::size_t count = IsGap(line[0]) ? (line.size() == usual_ && usualCount_ > 0
                                                        ? static_cast<std::size_t>(usualCount_)
                                                        : (line.size() - 1) / 4 * 3)
                                                 : static_cast<std::size_t>(Count(line[0]));
        std::size_t done = 0;
        for (std::size_t at = 1; done < count; at += 4) {
            std::array<int, 4> s{};
            for (std::size_t k = 0; k < 4; ++k) {
                // Characters a mail system cut off the end of the line
                // were blanks: zero, as uudecode reads them.
                const std::size_t p = at + k;
                s[k] = p >= line.size() ? 0 : IsGap(line[p]) ? -1 : Count(line[p]);
            }
            for (std::size_t b = 0; b < 3 && done < count; ++b, ++done) {
                const int hi = s[b], lo = s[b + 1];
                if (hi < 0 || lo < 0) {
                    out_.AppendLost(1);
                    continue;
                }
                const int shift = 2 * (static_cast<int>(b) + 1);
                out_.bytes += static_cast<char>(((hi << shift) | (lo >> (6 - shift))) & 0xFF);
            }
        }
    }

    AttachmentContent& out_;
    std::size_t usual_ = 0;
    int usualCount_ = 0;
};

} // namespace

std::vector<UuencodedFile> FindUuencoded(std::string_view text, std::size_t maxFiles)
{
    std::vector<UuencodedFile> files;
    // A cheap test first: most text has no begin line at all.
    if (text.find("egin") == std::string_view::npos && text.find(kGapByte) == std::string_view::npos)
        return files;
    Lines lines(text);
    std::string_view line;
    bool pending = lines.Next(line);
    while (pending && files.size() < maxFiles) {
        UuencodedFile file;
        if (!ParseBegin(line, file.name)) {
            pending = lines.Next(line);
            continue;
        }
        // Its data lines, up to the end line; a line of another kind ends
        // the file too early.
        std::vector<std::string_view> data;
        bool zeroLine = false;
        pending = lines.Next(line);
        for (; pending; pending = lines.Next(line)) {
            if (IsEndLine(line)) {
                file.ended = true;
                pending = lines.Next(line);
                break;
            }
            if (!IsDataLine(line))
                break;
            if (!IsGap(line[0]) && Count(line[0]) == 0) {
                zeroLine = true;
                continue;
            }
            if (zeroLine)
                break;  // data after the last line: not part of this file
            data.push_back(line);
        }
        // Words that merely read "begin ..." are no file: one needs data or
        // its end line.
        if (data.empty() && !file.ended && !zeroLine)
            continue;
        file.ended = file.ended || zeroLine;
        Decoder decoder(data, file.content);
        for (const std::string_view d : data)
            decoder.Line(d);
        files.push_back(std::move(file));
    }
    return files;
}

} // namespace render
