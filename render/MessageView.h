#pragma once
// What the preview and the command line show of a stored message, before it
// is laid out as HTML or as text. Internal to the renderer.

#include "dbx/TextDamage.h"
#include "render/MimeWalker.h"
#include "render/RenderedMessage.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace render {

// Shown above a deleted e-mail, whose gaps are marked.
inline constexpr std::string_view kDeletedBanner =
    "Deleted e-mail: 4 bytes of every 512 were overwritten when it was deleted; the gaps are marked";

struct HeaderRow {
    std::string label;    // "From:"; or what is left of a damaged name, kGapMark where letters were lost
    std::string guessed;  // empty, or as long as label: '^' under each letter restored from a damaged name
    std::string value;    // UTF-8, one line; kGapMark where bytes were lost
};

struct MessageView {
    bool deleted = false;    // the text came with damage: a deleted e-mail, its gaps marked
    bool isMessage = true;   // false: not a message at all; bodies hold its bytes as plain text
    std::vector<HeaderRow> headers;  // From, To, Cc, Subject, Date, and headers whose names were lost
    std::vector<BodySection> bodies;
    std::map<std::string, Part> inlineParts;
    std::vector<Attachment> attachments;
    std::vector<std::string> repairedHeaders;  // header names restored around gaps, in order
    bool incomplete = false;  // the message ends before its structure does
    bool shortened = false;   // longer than the limits: what is shown is its start
};

// Reads a stored message (the bytes exactly as stored) together with the
// damage the engine knows of. With damage, lost bytes are read around and
// marked (kGapMark) and the structure is repaired where the surviving bytes
// leave no doubt; without, the bytes are read as they are. preferPlain
// picks the plain text of alternatives. Never fails; time and memory are
// bounded by the input's size.
MessageView ViewMessage(std::string_view rawBytes, const dbx::TextDamage& damage, bool preferPlain);

// A value fit for one line: line breaks become spaces, and a value longer
// than the limit is cut (at a character boundary) with an ellipsis.
std::string OneLine(std::string text);

// "312 bytes", "4.2 KB", "1.3 MB".
std::string FormatSize(std::uint64_t size);

} // namespace render
