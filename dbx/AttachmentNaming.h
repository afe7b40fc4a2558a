#pragma once
// Names for attachments saved into a folder. The name comes from the e-mail,
// which anyone may have written: it must never lead out of the folder, hide
// its real ending or hold what a file system refuses.

#include <cstddef>
#include <string>
#include <string_view>

namespace dbx {

// The longest name CleanAttachmentName gives, in bytes: with the marks a
// saver may add (" (damaged)", a second name from the clock) it stays well
// below the 255 bytes a file name may have on common file systems.
inline constexpr std::size_t kMaxAttachmentNameBytes = 150;

// The usual ending of a file of MIME type `mimeType` (any letter case,
// parameters allowed), without the dot: "jpg" for image/jpeg; "" when the
// type is not one known here.
std::string EndingForType(std::string_view mimeType);

// The MIME type a file named `name` usually has, by its ending (any letter
// case): "image/jpeg" for "photo.JPG"; "application/octet-stream" when the
// ending is not one known here.
std::string TypeForName(std::string_view name);

// A safe file name for an attachment that the e-mail names `given` (UTF-8;
// other bytes are read by the text rule) and types `mimeType`:
// - the characters SaveNaming's ReplaceUnsafeCharacters replaces become '_';
// - invisible characters that reorder or hide text (the bidirectional
//   controls U+202A-U+202E, U+2066-U+2069, U+200E, U+200F, U+061C,
//   zero-width and other format characters) are dropped, and every run of
//   blanks becomes one space, so the name shows its real ending;
// - no leading dot, no "..", no dots or blanks at the end, and Windows
//   device names (CON, NUL, COM1, ...) get a '_' in front;
// - at most kMaxAttachmentNameBytes bytes, cut in the stem so that the
//   ending stays;
// - when nothing is left: "attachment" with the type's ending.
// Never empty; never "." or "..".
std::string CleanAttachmentName(std::string_view given, std::string_view mimeType);

// A name split before its ending: "photo.jpg" is {"photo", ".jpg"}. The
// ending is the last dot and the 1 to 16 bytes after it, none of them a
// blank; a name without one has an empty ending.
struct NameParts {
    std::string stem;
    std::string ending;
};
NameParts SplitEnding(std::string_view name);

// The name under which an attachment that lost bytes is saved:
// "photo (damaged).jpg".
std::string DamagedName(std::string_view name);

} // namespace dbx
