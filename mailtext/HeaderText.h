#pragma once
// The text a person reads of a header line: RFC 2047 encoded words decoded
// in their charsets, everything else by the program's text rule, as UTF-8.

#include "dbx/DbxFile.h"
#include "dbx/EmailRecord.h"
#include "dbx/HeaderFields.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace mailtext {

// The longest display text, in bytes (cut at a character boundary).
constexpr std::size_t kMaxDisplayText = 2048;

// Decodes an unfolded header value. Encoded words ("=?charset?B|Q?...?=",
// B and Q in any letter case) are decoded in their charset; the blanks
// between two adjacent ones are dropped, and adjacent words in one charset
// are joined before conversion, so a character split between them survives.
// A broken word or one in an unknown charset stays as it stands. Text that
// is not encoded is UTF-8 when valid; other 8-bit text is read in
// `charset` when it names a known one (the message's own), else as
// Windows-1252. Tabs and line ends become spaces; the ends are trimmed; at
// most kMaxDisplayText bytes.
std::string DecodeHeaderText(std::string_view value, std::string_view charset = {});

// The charset the message's own Content-Type header names (its charset
// parameter, unquoted), read from the record's first blocks in `view`; ""
// when there is none or it cannot be read.
std::string MessageCharset(std::string_view view, const dbx::EmailRecord& record);
std::string MessageCharset(const dbx::ByteSource& source, const dbx::EmailRecord& record);

// For MIME parsers whose converters read UTF-16 and UTF-32 without a
// byte-order mark in the machine's order: `value` (a raw header value) with
// each run of adjacent encoded words in a charset HasUnstatedByteOrder
// names made one UTF-8 encoded word of the text DecodeHeaderText reads
// there (NUL characters left out). Returns false, and leaves `out` alone,
// when `value` has no such word.
bool UnorderedWideWordsAsUtf8(std::string_view value, std::string& out);

// The record's own value of `field` (from, to or subject; "" for others).
const std::string& RecordField(const dbx::EmailRecord& record, dbx::HeaderField field);

// The display texts of the fields of `fields` (dbx::HeaderBit flags; From,
// To and Subject) of `record`, whose mail file is mapped at `view`: each the
// header line the engine took its value from, read again and decoded (the
// Subject line also where the engine's value is empty, as for UTF-16 text).
// Where the line can no longer be read (the file shrank), the record's own
// value is decoded. A Date in `fields` gives the Date line as it stands
// (what ParseMailDateUtc reads), "" when the record has no date: read in
// the same pass.
void ReadDisplayTexts(std::string_view view, const dbx::EmailRecord& record, unsigned fields,
                      dbx::HeaderLines& texts);
// The same for a mail file read through `source`.
void ReadDisplayTexts(const dbx::ByteSource& source, const dbx::EmailRecord& record, unsigned fields,
                      dbx::HeaderLines& texts);

// The display text of the Subject of record `index` of `file` ("" when it
// is not a record): what the list shows, and what a saved file is named by.
std::string SubjectText(const dbx::DbxFile& file, int index);

} // namespace mailtext
