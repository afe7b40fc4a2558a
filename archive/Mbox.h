#pragma once
// The mboxrd form (RFC 4155): each message after a "From " separator line
// with an envelope sender and a UTC time, lines that begin with ">*From "
// quoted with one more '>', LF line ends, a blank line after each message.
// Mail clients (Thunderbird with ImportExportTools NG, mutt) read it.

#include <cstdint>
#include <string>
#include <string_view>

namespace archive {

// The envelope sender for a From header line: the address in angle
// brackets, else the first word holding an '@'. "MAILER-DAEMON" when there
// is none, or when it holds anything a separator line cannot carry (blanks,
// controls, non-ASCII bytes).
std::string EnvelopeSender(std::string_view fromLine);

// "From <sender> <Www Mmm dd hh:mm:ss yyyy>\n" with the UTC file time
// `utc` in the form of asctime; 0 (no date) gives the epoch.
std::string SeparatorLine(std::string_view sender, std::uint64_t utc);

// Put before the first line of a deleted e-mail that lost the start of its
// first header line, so that readers take what is left as a header.
inline constexpr std::string_view kFragmentLabel = "X-Quillmend-Fragment: ";

// Appends `message` as the body of an mbox entry: CR LF become LF, lines
// matching ">*From " get one more '>', a missing last line end is added,
// then the blank line that ends the entry. For a `deleted` e-mail the zero
// bytes at the very end (the unused rest of its last block) and the spaces
// over its lost first bytes are left out, and kFragmentLabel goes before a
// first line that is no longer a header line.
void AppendMboxEntry(std::string_view message, bool deleted, std::string& out);

// Undoes the quoting of one line (reading side): ">>From " gives ">From ".
std::string UnquoteMboxLine(std::string_view line);

} // namespace archive
