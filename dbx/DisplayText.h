#pragma once
// How message bytes are shown. The engine keeps every text as the message's
// own bytes; where they are shown, they count as UTF-8 when they are valid
// UTF-8, otherwise as Windows-1252 (the "ANSI code page" of this program).

#include <string>
#include <string_view>

namespace dbx {

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The bytes as UTF-8 with every ill-formed sequence replaced by U+FFFD.
std::string RepairUtf8(std::string_view bytes);

// Windows-1252 bytes as UTF-8; the five bytes that code page leaves undefined
// become the C1 code points of the same value, as Windows converts them.
std::string Windows1252ToUtf8(std::string_view bytes);

// How many bytes at the end of `bytes` begin a UTF-8 sequence that was cut
// off (0 when the text ends cleanly).
std::size_t CutUtf8SequenceAtEnd(std::string_view bytes);

// The program's text rule: UTF-8 when the bytes are valid UTF-8 (a sequence
// cut off at the very end, as by a field limit or a broken chain, is dropped
// first), otherwise Windows-1252.
std::string ToDisplayUtf8(std::string_view bytes);

// A file name or path as shown: each of its components (between separators)
// as it is when it is valid UTF-8, otherwise read as Windows-1252, so that a
// Latin-1 name from an old disk reads right inside a UTF-8 path. Only for
// showing: the name on disk stays the bytes.
std::string PathToDisplay(std::string_view path);

// `utf8` with each control character (C0, DEL and the C1 range U+0080 to
// U+009F) replaced by `with`: terminals act on them, and Windows refuses
// them in file names.
std::string ReplaceControls(std::string_view utf8, char with);

} // namespace dbx
