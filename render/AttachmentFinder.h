#pragma once
// Walks a parsed message for its attachments (see FindAttachments).
// Internal to the renderer.

#include "render/Attachments.h"

#include <vector>

namespace render {

class ParsedMessage;

// The attachments of `parsed`, in the order the message holds them. With
// `each`, every attachment's content is decoded and handed to it; without,
// only what the list shows is worked out (a size still needs the decoding,
// an attached message's does not). `complete` false says the stored text
// ends early.
std::vector<Attachment> FindAttachmentsIn(const ParsedMessage& parsed, const AttachmentHandler* each, bool complete);

} // namespace render
