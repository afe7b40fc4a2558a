#pragma once
// Plain text made safe to place in an HTML document.

#include <string>
#include <string_view>

namespace render {

// UTF-8 text escaped for HTML text and attribute values: & < > " ' become
// character references; control characters other than tab and line breaks
// are dropped; a CR LF pair becomes one LF.
std::string EscapeHtml(std::string_view text);

// UTF-8 plain text as an HTML fragment: escaped as above, and every web or
// mail address (http://, https://, ftp://, mailto:, www.) wrapped in a link
// that looks like one. Line breaks stay as characters: the caller shows the
// fragment with white-space kept.
std::string PlainTextToHtml(std::string_view text);

// The HTML with a zero-width space (U+200B) put into every run of more than
// limits::kMaxWordLength visible characters without a space, outside tags and
// between whole characters and references. The text reads the same; the
// layout gets places to break, and its time no longer grows with the square
// of one endless word (a damaged part can hold megabytes without a space).
// Expects markup whose text has "<" and ">" escaped, as this library makes.
std::string BreakLongWords(std::string_view html);

} // namespace render
