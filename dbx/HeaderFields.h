#pragma once
// Header extraction from the text of a block chain: plain substring search
// with fixed label variants, one form of encoded-word subject, and a small
// date tokenizer that yields a local file time.

#include "dbx/ByteSource.h"
#include "dbx/EmailRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dbx {

// Fills from, to, subject, date and hasAttachment of `record` from the text
// of its blocks in `source`. Returns true when from, to or subject is
// non-empty. A record without blocks is left unchanged and gives false.
bool ExtractHeader(const ByteSource& source, EmailRecord& record);
// The same for a mail file's bytes at `view` (mapped, or in memory).
bool ExtractHeader(std::string_view view, EmailRecord& record);

// Frees the working memory that ExtractHeader keeps on the calling thread
// between calls (as much as the longest text since the last release).
void ReleaseExtractBuffers();

// Finds the value after the first occurrence of `label` in `text`: spaces
// skipped, up to the first CR (or, with no CR left, the first LF), trailing
// spaces dropped, cut to EmailRecord::kMaxFieldLength bytes. Returns false
// when the label is missing, the value is empty or no line end follows.
bool FindHeaderValue(std::string_view text, std::string_view label, std::string& value);

// Decodes Base64 digits of `source` into out[0..capacity). Non-alphabet
// bytes are skipped; once a group no longer fits, nothing more is stored.
// On return `capacity` holds the number of bytes the whole source decodes
// to; the result is true when all of them were stored.
bool DecodeBase64(const char* source, std::size_t length, std::uint8_t* out, std::size_t& capacity);

// Turns a Date header value into a local file time; 0 when it cannot be
// converted. Parts that are missing take today's UTC date.
std::uint64_t ParseMailDate(std::string_view text);

// The instant a Date header value names as a UTC file time (its own zone
// applied, read by the same rules as ParseMailDate); false when it cannot
// be converted.
bool ParseMailDateUtc(std::string_view text, std::uint64_t& utc);

// The header lines a record's fields come from.
enum class HeaderField { kFrom, kTo, kDate, kSubject, kCount };
using HeaderLines = std::array<std::string, static_cast<std::size_t>(HeaderField::kCount)>;
constexpr unsigned HeaderBit(HeaderField field) { return 1u << static_cast<unsigned>(field); }
static_assert(std::tuple_size_v<decltype(EmailRecord::valueAt)> == static_cast<std::size_t>(HeaderField::kCount));

// The longest header line ReadHeaderLines gives (longer ones are cut).
constexpr std::size_t kMaxHeaderLine = 2048;

// Reads again, from the record's blocks in `view`, the header line each
// field of `fields` (HeaderBit flags) was taken from: the same occurrence
// ExtractHeader took (where it kept the value's position, read from there;
// else searched for again), from the value's first byte to the end of its line,
// continuation lines joined (a line end followed by a space or tab is
// dropped), trailing blanks dropped, at most kMaxHeaderLine bytes. A field
// without a value, or one the file no longer holds, gives "". Reads only as
// far into the text as it must, through guarded reads.
void ReadHeaderLines(const ByteSource& source, const EmailRecord& record, unsigned fields, HeaderLines& lines);
void ReadHeaderLines(std::string_view view, const EmailRecord& record, unsigned fields, HeaderLines& lines);

} // namespace dbx
