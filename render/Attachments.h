#pragma once
// The files an e-mail carries, found and decoded so that they can be saved:
// MIME parts with a file name or marked as attachments (in attached
// messages too), attached messages themselves, and uuencoded blocks in
// plain text. The preview, the desktop's Save and the command line all go
// by this one list.

#include "dbx/TextDamage.h"
#include "render/RenderedMessage.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace render {

// An attachment's decoded bytes. Where bytes were lost (the gaps of a
// deleted e-mail) they are zero, and `lost` says where they are.
struct AttachmentContent {
    std::string bytes;
    std::vector<dbx::TextDamage::Range> lost;  // ascending, never overlapping, within bytes

    void Append(std::string_view more) { bytes.append(more); }
    // Appends n zero bytes that stand for lost ones.
    void AppendLost(std::size_t n);
    std::uint64_t LostBytes() const;
};

// Called with each attachment's content as soon as it is decoded, in list
// order; `number` is its place in the list. The content lives only for the
// call.
using AttachmentHandler =
    std::function<void(std::size_t number, const Attachment& attachment, const AttachmentContent& content)>;

// The attachments of a stored message (the bytes exactly as stored, with
// the damage the engine knows of), in the order the message holds them.
// Lost bytes are read around as the preview reads text: each lost stretch
// becomes zero bytes of its decoded length where that is known (one byte
// for each lost byte where not), and every other byte is the sender's.
// `complete` false says the stored text ends early (the mail file shrank
// while it was read). Never fails; time and memory are bounded by the
// input's size (what passes limits::kMaxInputBytes is not read).
std::vector<Attachment> FindAttachments(std::string_view stored, const dbx::TextDamage& damage,
                                        const AttachmentHandler& each = {}, bool complete = true);

} // namespace render
