#pragma once
// Bounds that keep one hostile or damaged message from exhausting memory or
// time in the preview. Real mail stays far below every one of them.

#include <cstddef>

namespace render::limits {

// Bytes of a stored message that are looked at; the rest is not shown.
inline constexpr std::size_t kMaxInputBytes = 64u << 20;
// Work the MIME parser may do on boundary lines (lines starting with "--"
// times the boundaries that may be open); beyond it the message is cut.
inline constexpr std::size_t kMaxBoundaryWork = 50'000'000;
// Nesting of multiparts and attached messages that is walked.
inline constexpr int kMaxMimeDepth = 32;
// Parts that are looked at in one message; the parser is given the text
// before the boundary line that would begin one more (each costs it more
// than a kilobyte).
inline constexpr std::size_t kMaxParts = 2000;
// Attached messages inside attached messages that are offered as files of
// their own (the files inside them always are): each holds every file
// inside it, so a deep chain would have the same bytes saved many times.
inline constexpr int kMaxAttachedMessageDepth = 8;
// Decoded bytes kept for one inline part, and for all of them together.
inline constexpr std::size_t kMaxInlinePartBytes = 16u << 20;
inline constexpr std::size_t kMaxInlineTotalBytes = 64u << 20;
// Decoded bytes of one text body that are shown.
inline constexpr std::size_t kMaxTextBytes = 4u << 20;
// Size of the sanitised HTML of the body; it is cut (cleanly) beyond this.
inline constexpr std::size_t kMaxHtmlBytes = 4u << 20;
// Table cells kept in a body; tables cost the layout most (about 50 µs a
// row), so past this their structure goes and their text stays.
inline constexpr std::size_t kMaxTableCells = 20000;
// Pictures kept in a body; past this, the alt text shows instead (the
// layout's time grows with the square of the pictures on one line).
inline constexpr std::size_t kMaxImages = 1000;
// Visible characters in a row without a space before the text gets a place
// to break (see BreakLongWords); long links stay whole below it.
inline constexpr std::size_t kMaxWordLength = 300;
// Bytes of one header value (a subject, a list of recipients) shown.
inline constexpr std::size_t kMaxHeaderBytes = 32u << 10;
// What the MIME parser is given of the header blocks. It keeps an object
// of some 650 bytes for every header field, one of some 300 for every
// address and one for every parameter, so that megabytes of short fields
// would cost a hundred times their size. Real headers have a few dozen
// fields (a long route a few hundred Received lines) and a few kilobytes.
// Fields of one header block past this many are left out:
inline constexpr std::size_t kMaxHeaderFields = 1000;
// a field's bytes past this many (four values as long as are shown):
inline constexpr std::size_t kMaxFieldBytes = 4 * kMaxHeaderBytes;
// and bytes of address fields (From, To, Cc, ...) of the whole message
// past this many. The message's text ends before the field that would pass
// either bound of the whole message:
inline constexpr std::size_t kMaxMessageHeaderFields = 20000;
inline constexpr std::size_t kMaxMessageHeaderBytes = 2u << 20;
inline constexpr std::size_t kMaxAddressBytes = 4 * kMaxHeaderBytes;
// Elements open at once in a sanitised body, and tables nested in tables.
inline constexpr std::size_t kMaxElementDepth = 200;
inline constexpr std::size_t kMaxTableDepth = 8;

} // namespace render::limits
