#pragma once
// GMime must be set up once before any of its functions is used (its charset
// tables among them); and what the renderer reads of its parts. Internal to
// the renderer.

#include <cstddef>
#include <string>

typedef struct _GMimePart GMimePart;

namespace render {

// Sets GMime up on first call; cheap and thread-safe afterwards.
void InitGMime();

// A part's content with its transfer encoding undone (`decoded`) or as it
// stands in the message, at most `cap` bytes; `cut` says whether there was
// more.
std::string PartBytes(GMimePart* part, bool decoded, std::size_t cap, bool& cut);

} // namespace render
