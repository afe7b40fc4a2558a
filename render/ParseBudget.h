#pragma once
// Keeps the MIME parser's work on one message bounded.

#include <cstddef>
#include <string_view>

namespace render {

// Length of the start of a raw message that the MIME parser may be given.
// The parser compares every line that starts with "--" with each boundary
// that is open, so many such lines inside deeply nested multiparts (a
// hostile shape) cost lines times depth. The prefix ends at the line where
// that estimate passes the limit; any real message is passed whole.
std::size_t MimeWorkPrefix(std::string_view raw);

} // namespace render
