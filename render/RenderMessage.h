#pragma once
// A stored message, as the preview shows it.

#include "render/RenderedMessage.h"

#include <string_view>

namespace render {

// Renders the raw bytes of one stored message (RFC 822 text, possibly cut
// short, damaged, or with blanks over the start of every block of a deleted
// message) as one HTML document: a block with From, To, Cc, Subject, Date and
// the attachments, then the body (the HTML alternative when there is one,
// made safe; otherwise the plain text). Text that is not MIME at all shows
// as plain text. Never fails: any input gives a document, in time and memory
// bounded by the input's size. Safe to call from several threads.
RenderedMessage RenderMessage(std::string_view rawBytes);

// The inline part that an HTML reference names ("cid:<id>", the id
// %-encoded or not), or nullptr when the message has none of that name.
const Part* FindInlinePart(const RenderedMessage& message, std::string_view url);

} // namespace render
