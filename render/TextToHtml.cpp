#include "render/TextToHtml.h"

#include "render/Limits.h"

#include <cctype>

namespace render {
namespace {

void AppendEscaped(std::string& out, std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n')
                break;  // the LF follows
            out += '\n';
            break;
        case '\t':
        case '\n':
            out += c;
            break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
                out += c;
            break;
        }
    }
}

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix)
{
    if (text.size() - at < prefix.size())
        return false;
    for (std::size_t k = 0; k < prefix.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(text[at + k])) != prefix[k])
            return false;
    return true;
}

bool IsUrlChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F && c != '<' && c != '>' && c != '"' && c != '`'
        && c != '{' && c != '}' && c != '|' && c != '\\' && c != '^';
}

// Length of the address starting at text[at], or 0 when none starts there.
std::size_t AddressLength(std::string_view text, std::size_t at, std::size_t& prefixLength)
{
    static constexpr std::string_view kPrefixes[] = {"http://", "https://", "ftp://", "mailto:", "www."};
    prefixLength = 0;
    for (const std::string_view p : kPrefixes) {
        if (StartsWithNoCase(text, at, p)) {
            prefixLength = p.size();
            break;
        }
    }
    if (prefixLength == 0)
        return 0;
    std::size_t end = at + prefixLength;
    while (end < text.size() && IsUrlChar(text[end]))
        ++end;
    // Punctuation that ends a sentence is not part of the address; a closing
    // bracket is only when the address opened one.
    int parens = 0, brackets = 0;
    for (std::size_t k = at; k < end; ++k) {
        parens += text[k] == '(' ? 1 : text[k] == ')' ? -1 : 0;
        brackets += text[k] == '[' ? 1 : text[k] == ']' ? -1 : 0;
    }
    while (end > at + prefixLength) {
        const char last = text[end - 1];
        if (last == '.' || last == ',' || last == ';' || last == ':' || last == '!' || last == '?'
            || last == '\'') {
            --end;
        } else if (last == ')' && parens < 0) {
            ++parens;
            --end;
        } else if (last == ']' && brackets < 0) {
            ++brackets;
            --end;
        } else {
            break;
        }
    }
    if (end == at + prefixLength || !std::isalnum(static_cast<unsigned char>(text[at + prefixLength])))
        return 0;
    return end - at;
}

} // namespace

std::string EscapeHtml(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    AppendEscaped(out, text);
    return out;
}

std::string PlainTextToHtml(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    std::size_t plainStart = 0;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        // An address starts after a character that cannot be part of a word.
        const bool boundary = i == 0 || !std::isalnum(static_cast<unsigned char>(text[i - 1]));
        std::size_t prefixLength = 0;
        const std::size_t length = boundary && (c == 'h' || c == 'H' || c == 'f' || c == 'F' || c == 'm'
                                                || c == 'M' || c == 'w' || c == 'W')
            ? AddressLength(text, i, prefixLength)
            : 0;
        if (length == 0) {
            ++i;
            continue;
        }
        AppendEscaped(out, text.substr(plainStart, i - plainStart));
        const std::string_view address = text.substr(i, length);
        std::string href = StartsWithNoCase(address, 0, "www.") ? "http://" : "";
        href += address;
        out += "<a href=\"";
        AppendEscaped(out, href);
        out += "\">";
        AppendEscaped(out, address);
        out += "</a>";
        i += length;
        plainStart = i;
    }
    AppendEscaped(out, text.substr(plainStart));
    return out;
}

std::string BreakLongWords(std::string_view html)
{
    std::string out;
    out.reserve(html.size() + html.size() / 64);
    std::size_t run = 0;  // visible characters since the last space
    for (std::size_t i = 0; i < html.size();) {
        const char c = html[i];
        if (c == '<') {
            // Tags do not end a word, and nothing inside them is touched.
            const std::size_t end = html.find('>', i);
            const std::size_t next = end == std::string_view::npos ? html.size() : end + 1;
            out.append(html.substr(i, next - i));
            i = next;
            continue;
        }
        std::size_t length = 1;
        if (c == '&') {
            const std::size_t semicolon = html.find(';', i);
            if (semicolon != std::string_view::npos && semicolon - i <= 32)
                length = semicolon - i + 1;
        } else if (static_cast<unsigned char>(c) >= 0xC0) {
            while (i + length < html.size() && (static_cast<unsigned char>(html[i + length]) & 0xC0) == 0x80)
                ++length;
        }
        if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
            run = 0;
        } else if (++run > limits::kMaxWordLength) {
            out += "\xE2\x80\x8B";
            run = 1;
        }
        out.append(html.substr(i, length));
        i += length;
    }
    return out;
}

} // namespace render
