#pragma once
// The crash report page: an HTML mail form whose text area carries the
// program's version, the exception and the call stack. Plain 8-bit text in
// the Windows-1252 code page; the fixed parts have CR LF line ends.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace crash {

// The page's file name, in a folder of its own per crash whose name starts
// with the prefix; the report program deletes both when it closes.
constexpr std::string_view kReportFileName = "bugreport.htm";
constexpr std::string_view kReportFolderPrefix = "crash-";

// Everything up to and including the text area's opening tag.
extern const std::string_view kReportHead;
// The version line, first in the text area.
extern const std::string_view kReportVersionLine;
// From the text area's closing tag to the end of the document.
extern const std::string_view kReportTail;

// Room for the exception text with the longest address.
constexpr std::size_t kExceptionTextSize = 80;

// Writes "Exception Code:0x<code>\r\nException Address:0x<address>\r\n" into
// `out` (kExceptionTextSize bytes), lower-case hexadecimal, the code in eight
// digits, the address in at least eight and as many as it needs. Returns the
// length. Safe in a signal handler.
std::size_t FormatExceptionText(char* out, std::uint32_t code, std::uint64_t address);

} // namespace crash
