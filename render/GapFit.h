#pragma once
// Fitting known words over gaps: the tests the repair of a deleted e-mail's
// structure is made of. Internal to the renderer.

#include "render/Gaps.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

namespace render::fit {

// In a word to fit, stands for any blank (space or tab).
inline constexpr char kBlank = '\t';

inline bool IsGap(char c) { return c == kGapByte; }
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
bool EqualsNoCase(std::string_view a, std::string_view b);
// A character of a header or parameter name.
bool IsNameChar(char c);
// Where the next line begins: after the '\n' at or after `at`, or the end.
std::size_t LineEnd(std::string_view text, std::size_t at);

// Whether `word` can stand at `at`: every surviving byte it covers is the
// word's (letters in either case unless caseSensitive; kBlank any blank).
// `touchesGap` is set when it covers a gap.
bool Fits(std::string_view text, std::size_t at, std::string_view word, bool caseSensitive, bool& touchesGap);

// Whether a line break can have stood just before `s`, in the gap, with the
// line it ends beginning at `lineStart`: its LF at s - 1, its CR at s - 2
// (lost as well, or surviving). Unless mayEmpty, that line must not be empty.
bool BreakFits(std::string_view text, std::size_t lineStart, std::size_t s, bool mayEmpty);

// The one word of `words` that `value` can be, gaps standing for its lost
// letters and, at either end, for blanks or quotes; empty when none or
// more than one fit.
std::string_view FitUnique(std::string_view value, const std::string_view* words, std::size_t count,
                           bool caseSensitive);

template <std::size_t N>
std::string_view FitUnique(std::string_view value, const std::string_view (&words)[N])
{
    return FitUnique(value, words, N, false);
}

// A logical header line of a header block: where it begins, its colon, and
// where the next begins (folded lines belong to the one before).
struct HeaderLine {
    std::size_t begin = 0;
    std::size_t colon = 0;  // npos when it has none
    std::size_t end = 0;
};
// The logical line that begins at `at` (< block.size()); the next begins at
// its `end`. Walk a block with it rather than listing its lines: a hostile
// block holds millions.
HeaderLine HeaderLineAt(std::string_view block, std::size_t at);

} // namespace render::fit
