#include "render/TextDecode.h"

#include "mailtext/Charsets.h"
#include "render/GMimeLibrary.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>

namespace render {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

std::string Lower(std::string_view s)
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

// Decodes with iconv; returns false when the system does not know the charset.
bool DecodeWithIconv(std::string_view bytes, const std::string& charset, std::string& out)
{
    InitGMime();  // its charset tables: also when this is the first use of GMime
    // GMime reuses its converters; one that learned a byte order from a mark
    // would keep it for the next text, so those are opened afresh.
    const bool ownConverter = mailtext::LearnsByteOrder(charset);
    iconv_t cd = ownConverter ? iconv_open("UTF-8", mailtext::WithByteOrder(charset, bytes).c_str())
                              : g_mime_iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;

    out.clear();
    out.reserve(bytes.size() + bytes.size() / 2);
    char buffer[4096];
    // iconv's interface takes a non-const input pointer but does not write.
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        out += kReplacement;
        if (errno == EILSEQ) {
            ++in;  // skip the bad byte and go on
            --inLeft;
        } else {
            break;  // EINVAL: a sequence cut off at the end
        }
    }
    // Flush any shift state.
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (ownConverter)
        iconv_close(cd);
    else
        g_mime_iconv_close(cd);
    // A converter may still let something ill-formed through; never pass it on.
    if (!IsValidUtf8(out))
        out = RepairUtf8(out);
    return true;
}

} // namespace

std::string DecodeText(std::string_view bytes, std::string_view charset)
{
    const std::string cs = Lower(charset);
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
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace render
