#pragma once
// Gaps: bytes of a stored message that were lost (overwritten when a deleted
// e-mail's blocks were freed). Inside the renderer a lost byte is kGapByte,
// so that gaps travel through parsing and decoding with the text they sit
// in; decoded text carries one kGapMark per gap, which the output turns into
// a mark no one can take for the sender's words. Internal to the renderer.

#include "dbx/TextDamage.h"

#include <string>
#include <string_view>

namespace render {

// Stands for one lost byte of the stored text.
inline constexpr char kGapByte = '\x01';
// Stands for one gap in decoded UTF-8 text: U+FDD0, a code point that text
// never carries (MarkGaps turns any that a message holds into U+FFFD).
inline constexpr std::string_view kGapMark = "\xEF\xB7\x90";
// What a reader sees in place of a gap.
inline constexpr std::string_view kGapText = "\u2591\u2591\u2591";

// Whether stored text (as WithGaps makes it) has a lost byte in it.
inline bool HasGap(std::string_view bytes)
{
    return bytes.find(kGapByte) != std::string_view::npos;
}

// The stored text as the renderer reads it: kGapByte over every lost byte,
// and without the zeros after the last real byte when the last block was
// taken whole. A kGapByte the message itself holds becomes another control
// character first, which every output drops as before.
std::string WithGaps(std::string_view stored, const dbx::TextDamage& damage);

// Decoded UTF-8 text with each run of kGapByte as one kGapMark. Replacement
// characters next to a gap (the rest of a character the gap cut) go with it.
std::string MarkGaps(std::string_view text);

// HTML in which marks inside tags, comments and elements that do not show
// (style, title, ...) are moved to the next text that shows, so that
// sanitising keeps every one of them. A tag whose ">" a gap took (it would
// run on into the next tag and swallow the text between) ends at the gap.
std::string MoveGapsOutOfMarkup(std::string_view html);

// Text or HTML with every kGapMark as the visible gap (kGapText; in HTML on a
// coloured ground).
std::string GapsToText(std::string_view text);
std::string GapsToHtml(std::string_view html);
// The markup of one visible gap, and of letters that were guessed.
std::string GapHtml();
std::string GuessedHtml(std::string_view escapedLetters);

} // namespace render
