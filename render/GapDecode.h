#pragma once
// Transfer encodings undone around the gaps of a deleted e-mail, with the
// lost bytes kept apart from the sender's (see AttachmentContent). Internal
// to the renderer.

#include "render/Attachments.h"

#include <string>
#include <string_view>

namespace render {

// Quoted-printable text with what a gap left of the escapes it cut dropped:
// an "=" or "=" and one digit before the gap, one or two digits after it
// that lead into another escape. They were never text.
std::string DropBrokenEscapes(std::string_view raw);

// Quoted-printable text with gaps (kGapByte), decoded as GMime decodes it
// where it is whole; each lost character counts as one lost byte (what it
// stood for is not known).
AttachmentContent DecodeQuotedPrintableLost(std::string_view raw);

// Bytes as they stand, each kGapByte one lost byte.
AttachmentContent GapsAsLost(std::string_view raw);

} // namespace render
