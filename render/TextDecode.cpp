#include "render/TextDecode.h"

#include "mailtext/Charsets.h"
#include "platform/Utf8.h"
#include "render/GMimeLibrary.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace render {
namespace {

std::string LowerCopy(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool IsPlainAscii(std::string_view cs)
{
    return cs.empty() || cs == "us-ascii" || cs == "ascii" || cs == "us_ascii" || cs == "ansi_x3.4-1968"
        || cs == "iso646-us" || cs == "646";
}

bool IsLatin1(std::string_view cs)
{
    return cs == "iso-8859-1" || cs == "iso8859-1" || cs == "iso_8859-1" || cs == "latin1"
        || cs == "l1" || cs == "windows-1252" || cs == "cp1252" || cs == "x-cp1252";
}

// Decodes with iconv, under GMime's name for the charset; returns false
// when the system does not know it.
bool DecodeWithIconv(std::string_view bytes, const std::string& charset, std::string& out)
{
    InitGMime();  // its charset tables: also when this is the first use of GMime
    out.clear();
    return mailtext::AppendConverted(bytes, g_mime_charset_iconv_name(charset.c_str()), out);
}

} // namespace

std::string DecodeText(std::string_view bytes, std::string_view charset)
{
    const std::string cs = LowerCopy(charset);
    if (IsPlainAscii(cs))
        return ToDisplayUtf8(bytes);
    if (cs == "utf-8" || cs == "utf8")
        return RepairUtf8(bytes.substr(0, bytes.size() - CutUtf8SequenceAtEnd(bytes)));
    if (IsLatin1(cs))
        return Windows1252ToUtf8(bytes);
    std::string out;
    if (DecodeWithIconv(bytes, cs, out))
        return out;
    return ToDisplayUtf8(bytes);
}

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    const bool valid = cp != 0 && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    platform::AppendUtf8(out, valid ? static_cast<char32_t>(cp) : U'\uFFFD');
}

} // namespace render
