#pragma once
// What the renderer makes of one stored message.

#include "dbx/AttachmentNaming.h"

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

// A file the message carries (see FindAttachments).
struct Attachment {
    std::string name;        // UTF-8 as the message names it; empty when it names none
    std::string fileName;    // the safe name it is saved under (dbx::CleanAttachmentName)
    std::string mimeType;    // lower case
    std::uint64_t size = 0;  // decoded bytes, lost ones included
    std::uint64_t lostBytes = 0;  // bytes lost when the e-mail was deleted (zeros in the file)
    bool cut = false;        // the e-mail ends before the attachment does

    bool Damaged() const { return lostBytes > 0 || cut; }
    // The name to save it under: fileName, marked when it is damaged.
    std::string SaveName() const { return Damaged() ? dbx::DamagedName(fileName) : fileName; }
};

struct RenderedMessage {
    std::string html;  // one self-contained UTF-8 HTML document
    std::map<std::string, Part> inlineParts;  // by Content-ID, without "<" ">"
    std::vector<Attachment> attachments;
    bool incomplete = false;  // the message ends before its structure does
    std::vector<std::string> repairedHeaders;  // header names restored around gaps, in order
};

} // namespace render
