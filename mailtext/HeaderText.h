#pragma once
// The text a person reads of a header line: RFC 2047 encoded words decoded
// in their charsets, everything else by the program's text rule, as UTF-8.

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
// is not encoded follows the text rule (UTF-8 when valid, else
// Windows-1252). Tabs and line ends become spaces; the ends are trimmed; at
// most kMaxDisplayText bytes.
std::string DecodeHeaderText(std::string_view value);

// The record's own value of `field` (from, to or subject; "" for others).
const std::string& RecordField(const dbx::EmailRecord& record, dbx::HeaderField field);

// The display texts of the fields of `fields` (dbx::HeaderBit flags; From,
// To and Subject) of `record`, whose mail file is mapped at `view`: each the
// header line the engine found, read again and decoded. Where the line can
// no longer be read (the file shrank), the record's own value is decoded.
void ReadDisplayTexts(std::string_view view, const dbx::EmailRecord& record, unsigned fields,
                      dbx::HeaderLines& texts);
// The same for a mail file read through `source`.
void ReadDisplayTexts(const dbx::ByteSource& source, const dbx::EmailRecord& record, unsigned fields,
                      dbx::HeaderLines& texts);

} // namespace mailtext
