#include "crash/ReportPage.h"

#include "crash/HexText.h"

#include <cstring>

namespace crash {

using namespace std::string_view_literals;

// The form sends nothing anywhere: its address and mailbox are placeholders
// in a domain that cannot exist.
const std::string_view kReportHead =
    "<html>\r\n"
    "<head>\r\n"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\r\n"
    "<meta http-equiv=\"Content-Language\" content=\"en-us\">\r\n"
    "<title></title>\r\n"
    "</head>\r\n"
    "<body topmargin=\"0\" leftmargin=\"0\" rightmargin=\"0\" bottommargin=\"0\">\r\n"
    "<div align=\"left\">\r\n"
    "\t<table border=\"0\" width=\"481\" cellspacing=\"1\" height=\"400\" id=\"table1\" align=\"left\">\r\n"
    "\t\t<tr>\r\n"
    "\t\t\t<td bgcolor=\"#000000\">\r\n"
    "\t\t\t<p align=\"center\"><font face=\"Arial\" size=\"5\" color=\"#FFFFFF\">Error</font></td>\r\n"
    "\t\t</tr>\r\n"
    "\t\t<tr>\r\n"
    "\t\t\t<td>\r\n"
    "\t\t\t<p align=\"center\" style=\"margin-top: 5px; margin-bottom: 5px\"><b>"
    "<font face=\"Tahoma\" size=\"2\">Quillmend encounters error, program will be terminated.</font></b></td>\r\n"
    "\t\t</tr>\r\n"
    "\t\t<tr>\r\n"
    "\t\t\t<td>\r\n"
    "\t\t\t<p style=\"margin-top: 5px; margin-bottom: 10px; margin-left: 20px\">"
    "<font face=\"Tahoma\" size=\"2\">The\r\n"
    "\t\t\tFollowing information are the running log of Quillmend, it could help\r\n"
    "\t\t\tus to solve this bug quickly and easily.</font></td>\r\n"
    "\t\t</tr>\r\n"
    "\t\t<tr>\r\n"
    "\t\t\t<td>\r\n"
    "\t\t\t<form method=\"post\" enctype=\"multipart/form-data\" action=\"https://formmail.example.invalid/send\">\r\n"
    "\t\t\t\t<input type=\"hidden\" name=\"subject\" value=\"Quillmend v1.1 Bug Report\">\r\n"
    "\t\t\t\t<input type=\"hidden\" name=\"sendtoemail\" value=\"support@example.invalid\">\r\n"
    "\t\t\t\t<div align=\"center\">\r\n"
    "\t\t\t\t<table border=\"0\" width=\"89%\" id=\"table2\">\r\n"
    "\t\t\t\t\t<tr>\r\n"
    "\t\t\t\t\t\t<td colspan=\"3\">\r\n"
    "\t\t\t\t\t\t<p align=\"center\"><textarea rows=\"14\" name=\"BugReport\" cols=\"46\">"sv;

const std::string_view kReportVersionLine = "Version 1.1 Building Date:080127\r\n"sv;

const std::string_view kReportTail =
    "</textarea></td>\r\n"
    "\t\t\t\t\t</tr>\r\n"
    "\t\t\t\t\t<tr>\r\n"
    "\t\t\t\t\t\t<td width=\"22%\" align=\"right\"><font face=\"Tahoma\" size=\"2\">Your Email:</font></td>\r\n"
    "\t\t\t\t\t\t<td width=\"55%\"><input type=\"text\" name=\"mailfrom\" size=\"36\"></td>\r\n"
    "\t\t\t\t\t\t<td width=\"21%\"><font face=\"Tahoma\" size=\"2\">(optional)</font></td>\r\n"
    "\t\t\t\t\t</tr>\r\n"
    "\t\t\t\t\t<tr>\r\n"
    "\t\t\t\t\t\t<td colspan=\"3\">\r\n"
    "\t\t\t\t\t\t<p align=\"center\"><font face=\"Tahoma\" size=\"2\">"
    "(Please input your email if you need our responding.)</font></td>\r\n"
    "\t\t\t\t\t</tr>\r\n"
    "\t\t\t\t\t<tr>\r\n"
    "\t\t\t\t\t\t<td colspan=\"3\">&nbsp;</td>\r\n"
    "\t\t\t\t\t</tr>\r\n"
    "\t\t\t\t\t<tr>\r\n"
    "\t\t\t\t\t\t<td colspan=\"3\" align=\"right\">"
    "<input type=\"submit\" value=\"Send bug Report\" name=\"submit\" id=\"Submit1\"></td>\r\n"
    "\t\t\t\t\t</tr>\r\n"
    "\t\t\t\t</table>\r\n"
    "\t\t\t\t</div>\r\n"
    "\t\t\t</form>\r\n"
    "\t\t\t</td>\r\n"
    "\t\t</tr>\r\n"
    "\t\t<tr>\r\n"
    "\t\t\t<td>&nbsp;</td>\r\n"
    "\t\t</tr>\r\n"
    "\t\t<tr>\r\n"
    "\t\t\t<td>&nbsp;</td>\r\n"
    "\t\t</tr>\r\n"
    "\t\t<tr>\r\n"
    "\t\t\t<td>&nbsp;</td>\r\n"
    "\t\t</tr>\r\n"
    "\t\t<tr>\r\n"
    "\t\t\t<td>&nbsp;</td>\r\n"
    "\t\t</tr>\r\n"
    "\t</table>\r\n"
    "</div>\r\n"
    "</body>\r\n"
    "</html>"sv;

std::size_t FormatExceptionText(char* out, std::uint32_t code, std::uint64_t address)
{
    std::size_t n = 0;
    auto append = [&](std::string_view text) {
        std::memcpy(out + n, text.data(), text.size());
        n += text.size();
    };
    append("Exception Code:0x");
    n += WriteHex(out + n, code, 8, false);
    append("\r\nException Address:0x");
    n += WriteHex(out + n, address, 8, false);
    append("\r\n");
    out[n] = '\0';
    return n;
}

} // namespace crash
