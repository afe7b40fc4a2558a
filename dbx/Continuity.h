#pragma once
// Whether one block's text goes on where a chain's text stops: the evidence
// the carver weighs when a link leaves a piece of an image and more than one
// piece holds a block at the offset it names. Internal to the engine.

#include <cstddef>
#include <string_view>

namespace dbx {

// How well `next` continues a chain whose text begins with `head` and ends
// with `tail` (both may be the same bytes when the chain is short). `next`
// is the rest of the chain's last block, where that lies in another piece,
// followed from `blockAt` on by the candidate block's text. Positive when it
// goes on (the line of a Base64 body continues at the right column, a MIME
// boundary of the message turns up), negative when it cannot (a new message
// begins, a boundary of another message, zeros or binary bytes inside text),
// 0 when nothing tells. A deleted candidate block lost its first four bytes:
// they match anything.
int ContinuityScore(std::string_view head, std::string_view tail, std::string_view next, std::size_t blockAt = 0,
                    bool deletedBlock = false);

// A score difference of at least this much decides between two candidates;
// a lone candidate scoring -kDecisive or lower is refused.
constexpr int kDecisive = 3;

} // namespace dbx
