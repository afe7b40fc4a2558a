#pragma once
// The structure of a message as the MIME parser reads it, a line at a time:
// what a header block says of the content after it, and which open
// multipart a boundary line belongs to. Internal to the renderer.

#include <string>
#include <string_view>
#include <vector>

namespace render {

// What a header block says of the content that follows it.
struct ContentType {
    bool multipart = false;
    bool message = false;  // message/rfc822: a header block follows this one
    std::string boundary;
};

// The Content-Type of a header block: its last Content-Type line, as the
// parser reads it.
ContentType ParseContentType(std::string_view block);

// A Content-Type value (after the colon, line breaks allowed).
ContentType ParseContentTypeValue(std::string_view value);

// Whether `line` is a boundary line of one of the `open` multiparts (the
// innermost last), "--" and the boundary with nothing after it but the
// closing "--" and blanks. Sets `level` to that multipart's index and
// `closing` when it ends the multipart.
bool MatchBoundary(std::string_view line, const std::vector<std::string>& open, int& level, bool& closing);

} // namespace render
