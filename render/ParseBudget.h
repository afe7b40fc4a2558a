#pragma once
// Keeps the MIME parser's work and memory on one message bounded.

#include <cstddef>
#include <string>
#include <string_view>

namespace render {

// Length of the start of a raw message that the MIME parser may be given.
// The parser compares every line that starts with "--" with each boundary
// that is open, so many such lines inside deeply nested multiparts (a
// hostile shape) cost lines times depth. The prefix ends at the line where
// that estimate passes the limit; any real message is passed whole.
std::size_t MimeWorkPrefix(std::string_view raw);

// The message as the MIME parser may be given it, within the header and
// part bounds of limits:: : header fields of a block past its bound, bytes
// of a field past its bound and address fields past the message's bound
// are left out, and the text ends before the part or header field that
// would pass a bound of the whole message (`cut` is then set). Returns
// `raw` itself (or its start) when nothing was left out, else a view of
// `storage`. Any real message comes back whole.
std::string_view BoundForParser(std::string_view raw, std::string& storage, bool& cut);

} // namespace render
