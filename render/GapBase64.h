#pragma once
// Base64 with gaps in it, decoded around them. Internal to the renderer.

#include "render/Attachments.h"

#include <string>
#include <string_view>

namespace render {

// Decodes Base64 text in which runs of kGapByte stand for lost bytes. How
// many Base64 characters each gap took (a gap may also have taken a line
// break) is told from the length of the text's lines, so everything after a
// gap decodes as it was sent; each decoded byte that depends on a lost
// character is kGapByte. Characters outside the alphabet are skipped, and
// decoding ends at padding, as usual.
std::string DecodeBase64AroundGaps(std::string_view encoded);

// The same, for a file: each lost byte is a zero byte, and `lost` of the
// result says where they are, so that the file's own bytes (a zero, a 0x01)
// are never taken for a gap.
AttachmentContent DecodeBase64Lost(std::string_view encoded);

// True when the text (gaps allowed) has the shape of Base64 that a mail
// program wrote: lines of one length, a multiple of 4, from its alphabet.
bool LooksLikeBase64(std::string_view text);

} // namespace render
