#pragma once
// Uuencoded files in plain text ("begin 644 name" ... "end"), as mail
// programs of the Outlook Express years sent them. Internal to the renderer.

#include "render/Attachments.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace render {

struct UuencodedFile {
    std::string name;  // the begin line's name, its bytes as they stand (kGapByte where lost)
    AttachmentContent content;
    bool ended = false;  // its "end" line was found: nothing of it is missing at the end
};

// The uuencoded files in `text`, at most `maxFiles` of them, in order.
// kGapByte marks lost bytes of the text: a damaged begin or end line is
// still recognised where the surviving letters allow only that reading,
// and each line's lost characters are read around, so that the bytes after
// them decode as they were sent (the decoded bytes that depend on a lost
// character are lost). Linear in the text's length.
std::vector<UuencodedFile> FindUuencoded(std::string_view text, std::size_t maxFiles);

} // namespace render
