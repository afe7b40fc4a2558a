#pragma once
// Text encodings that Internet mail uses, as the fixture maker needs them to
// write realistic messages: Base64, quoted-printable, RFC 2047 encoded words,
// the single-byte code pages of old mail (windows-1252/1251, ISO-8859-1,
// KOI8-R) and RFC 2822 dates.

#include <cstdint>
#include <string>
#include <string_view>

namespace dbxgen {

enum class Charset { Windows1252, Latin1, Windows1251, Koi8R };

// MIME name of the charset ("windows-1252", "ISO-8859-1", ...).
const char* CharsetName(Charset charset);

// UTF-8 text converted to a single-byte charset; characters the charset
// lacks become '?'.
std::string FromUtf8(std::string_view utf8, Charset charset);

// True when `bytes` is well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);
// Bytes shown as UTF-8: kept when valid UTF-8, otherwise read as windows-1252.
std::string DisplayUtf8(std::string_view bytes);

// Base64 with CRLF after every `lineLength` output characters (0: one line).
std::string Base64(std::string_view data, std::size_t lineLength = 76);
// A uuencoded file as mail programs put it into plain text: "begin 644
// name", lines of 45 bytes ("M" and 60 characters), a "`" line and "end",
// each line ended by CR LF.
std::string Uuencode(std::string_view name, std::string_view data);
// Quoted-printable body text: CRLF line breaks kept, soft breaks keep lines
// within 76 characters.
std::string QuotedPrintable(std::string_view text);
// One RFC 2047 encoded word: "=?charset?B?...?=" / "=?charset?Q?...?=".
std::string EncodedWordB(std::string_view charset, std::string_view bytes);
std::string EncodedWordQ(std::string_view charset, std::string_view bytes);

// Every LF not preceded by CR becomes CR LF.
std::string Crlf(std::string_view text);

// RFC 2822 date ("Tue, 15 Jan 2008 10:20:30 +0100") of a UTC time in
// seconds since 1970, shown in a zone `zoneMinutes` east of UTC.
std::string MailDate(std::int64_t unixSeconds, int zoneMinutes);
// Windows FILETIME (100 ns since 1601) of a UTC time in seconds since 1970.
std::uint64_t FileTimeFromUnix(std::int64_t unixSeconds);
// Seconds since 1970 of a UTC calendar date and time.
std::int64_t UnixFromCivil(int year, int month, int day, int hour = 0, int minute = 0,
                           int second = 0);

} // namespace dbxgen
