#pragma once
// A stored message, as the preview shows it.

#include "dbx/TextDamage.h"
#include "render/RenderedMessage.h"

#include <string>
#include <string_view>

namespace render {

// Renders the raw bytes of one stored message (RFC 822 text, possibly cut
// short, damaged, or with blanks over the start of every block of a deleted
// message) as one HTML document: a block with From, To, Cc, Subject, Date and
// the attachments, then the body (the HTML alternative when there is one,
// made safe; otherwise the plain text). Text that is not MIME at all shows
// as plain text. Never fails: any input gives a document, in time and memory
// bounded by the input's size. Safe to call from several threads.
// With the damage the engine knows of (a deleted e-mail), the document opens
// with a banner saying so, every gap in what it shows is marked, and the
// structure is read around the gaps: header names, boundaries, transfer
// encodings and charsets are restored where the surviving bytes allow only
// one reading (a restored name shows as such). The bytes are never changed.
RenderedMessage RenderMessage(std::string_view rawBytes, const dbx::TextDamage& damage = {});

// The same message as plain UTF-8 text for a terminal: the banner of a
// deleted e-mail, From, To, Cc, Subject and Date decoded, the attachments,
// then the body as text (the plain alternative where there is one), gaps
// marked. Holds no control characters but line feeds and tabs.
std::string RenderMessageText(std::string_view rawBytes, const dbx::TextDamage& damage = {});

// The links of the preview's list of attachments: "attachment:N" saves the
// N-th of RenderedMessage::attachments; the other one saves them all. The
// body's own links never have these forms (only web and mail addresses
// survive its sanitising).
inline constexpr const char* kAttachmentUrlScheme = "attachment";
inline constexpr const char* kSaveAllAttachmentsUrl = "attachment:all";

// The inline part that an HTML reference names ("cid:<id>", the id
// %-encoded or not), or nullptr when the message has none of that name.
const Part* FindInlinePart(const RenderedMessage& message, std::string_view url);

} // namespace render
