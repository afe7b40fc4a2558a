#include "render/GapFit.h"

namespace render::fit {

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return Lower(x) == Lower(y);
           });
}

bool IsNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' || c == '.';
}

std::size_t LineEnd(std::string_view text, std::size_t at)
{
    const std::size_t newline = text.find('\n', at);
    return newline == std::string_view::npos ? text.size() : newline + 1;
}

bool Fits(std::string_view text, std::size_t at, std::string_view word, bool caseSensitive, bool& touchesGap)
{
    if (at > text.size() || word.size() > text.size() - at)
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = text[at + i];
        if (IsGap(c))
            touchesGap = true;
        else if (word[i] == kBlank ? !IsBlank(c) : caseSensitive ? c != word[i] : Lower(c) != Lower(word[i]))
            return false;
    }
    return true;
}

bool BreakFits(std::string_view text, std::size_t lineStart, std::size_t s, bool mayEmpty)
{
    if (s < 2 || !IsGap(text[s - 1]) || s - 2 < lineStart)
        return false;
    if (!mayEmpty && s - 2 == lineStart)
        return false;
    return IsGap(text[s - 2]) || text[s - 2] == '\r';
}

std::string_view FitUnique(std::string_view value, const std::string_view* words, std::size_t count,
                           bool caseSensitive)
{
    const auto trim = [](char c) { return IsBlank(c) || c == '"' || c == '\r' || c == '\n'; };
    while (!value.empty() && trim(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && trim(value.back()))
        value.remove_suffix(1);
    // The word must cover every surviving byte: it starts at or before the
    // first and ends after the last.
    const std::size_t first = value.find_first_not_of(kGapByte);
    const std::size_t last = value.find_last_not_of(kGapByte);
    std::string_view found;
    for (std::size_t w = 0; w < count; ++w) {
        const std::string_view word = words[w];
        bool fits = false;
        for (std::size_t o = 0; !fits && o + word.size() <= value.size() && (first == std::string_view::npos || o <= first);
             ++o) {
            bool touches = false;
            fits = (last == std::string_view::npos || o + word.size() > last)
                && Fits(value, o, word, caseSensitive, touches);
        }
        if (fits && !found.empty() && found != word)
            return {};
        if (fits)
            found = word;
    }
    return found;
}

HeaderLine HeaderLineAt(std::string_view block, std::size_t at)
{
    std::size_t end = LineEnd(block, at);
    const std::size_t colon = block.substr(at, end - at).find(':');
    while (end < block.size() && IsBlank(block[end]))
        end = LineEnd(block, end);
    return {at, colon == std::string_view::npos ? colon : at + colon, end};
}

} // namespace render::fit
