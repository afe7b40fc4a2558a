#pragma once
// The HTML body of a message, reduced to markup that only shows things.

#include <string>
#include <string_view>

namespace render {

struct SanitizedHtml {
    std::string styleSheet;  // the message's own <style> contents, made safe
    std::string body;        // markup to place inside <body>; every element closed
    bool cut = false;        // the body was longer than the limit and ends early
};

// Keeps a known set of presentational elements and attributes and drops the
// rest: scripts, frames, objects, forms, <meta>, <base>, <link>, event
// handlers, javascript: and other non-web links. Images show only when they
// come from the message itself (cid:) or a data: URL; an image from
// anywhere else is replaced by its alt text, so nothing is fetched. Styles
// pass through SanitizeInlineStyle and SanitizeStyleSheet; a value that is
// checked is written exactly as checked, so the browser decodes nothing in
// it a second time. The result is balanced (every element it opens it
// closes) and its nesting is bounded, whatever the input.
SanitizedHtml SanitizeHtml(std::string_view html);

} // namespace render
