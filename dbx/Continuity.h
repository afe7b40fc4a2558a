#pragma once
// Whether one block's text goes on where a chain's text stops: the evidence
// the carver weighs when a link leaves a piece of an image and more than one
// piece holds a block at the offset it names. Internal to the engine.

#include <string_view>

namespace dbx {

// How well `next` (the text of a candidate block) continues a chain whose
// text begins with `head` and ends with `tail` (both may be the same bytes
// when the chain is short). Positive when it goes on (the line of a Base64
// body continues at the right column, a MIME boundary of the message turns
// up), negative when it cannot (a new message begins, a boundary of another
// message, binary bytes inside text), 0 when nothing tells.
int ContinuityScore(std::string_view head, std::string_view tail, std::string_view next);

// A score difference of at least this much decides between two candidates;
// a lone candidate scoring -kDecisive or lower is refused.
constexpr int kDecisive = 3;

} // namespace dbx
