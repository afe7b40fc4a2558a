#pragma once
// What the renderer makes of one stored message.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace render {

// A part of the message that its HTML shows in place (an image by cid:).
struct Part {
    std::string bytes;     // decoded content
    std::string mimeType;  // e.g. "image/png", lower case
    bool damaged = false;  // bytes of it were lost when the e-mail was deleted
};

// A part the message carries as a file.
struct Attachment {
    std::string name;      // UTF-8; empty when the message names none
    std::string mimeType;  // lower case
    std::uint64_t size = 0;  // decoded bytes
};

struct RenderedMessage {
    std::string html;  // one self-contained UTF-8 HTML document
    std::map<std::string, Part> inlineParts;  // by Content-ID, without "<" ">"
    std::vector<Attachment> attachments;
    bool incomplete = false;  // the message ends before its structure does
    std::vector<std::string> repairedHeaders;  // header names restored around gaps, in order
};

} // namespace render
