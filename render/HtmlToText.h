#pragma once
// HTML as plain text, for a terminal. Internal to the renderer.

#include <string>
#include <string_view>

namespace render {

// The text a reader sees of sanitised HTML (SanitizeHtml's body): blocks
// and line breaks as line breaks, runs of white space as one space outside
// <pre>, list items with a dash, table cells apart, pictures as their alt
// text in brackets, character references decoded. UTF-8 in, UTF-8 out.
std::string HtmlToText(std::string_view html);

} // namespace render
