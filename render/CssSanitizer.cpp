#include "render/CssSanitizer.h"

#include <cctype>
#include <cstdint>

namespace render {
namespace {

bool IsHex(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

std::uint32_t HexValue(char c)
{
    return static_cast<std::uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
}

// Resolves comments (to a space) and backslash escapes, so that a hidden
// "u\72l(" or "ex/**/pression" cannot slip past the checks below. Escaped
// characters outside ASCII are dropped: nothing in them is needed to show
// a message's styles.
std::string Normalise(std::string_view css)
{
    std::string out;
    out.reserve(css.size());
    for (std::size_t i = 0; i < css.size();) {
        if (css.compare(i, 2, "/*") == 0) {
            const std::size_t end = css.find("*/", i + 2);
            i = end == std::string_view::npos ? css.size() : end + 2;
            out += ' ';
            continue;
        }
        if (css[i] == '\\') {
            ++i;
            if (i >= css.size())
                break;
            if (IsHex(css[i])) {
                std::uint32_t cp = 0;
                for (int k = 0; k < 6 && i < css.size() && IsHex(css[i]); ++k, ++i)
                    cp = cp * 16 + HexValue(css[i]);
                if (i < css.size() && (css[i] == ' ' || css[i] == '\t' || css[i] == '\n'))
                    ++i;
                if (cp > 0 && cp < 0x80)
                    out += static_cast<char>(cp);
                continue;
            }
            if (css[i] != '\n')
                out += css[i];
            ++i;
            continue;
        }
        out += css[i++];
    }
    return out;
}

bool MatchesAt(std::string_view lower, std::size_t at, std::string_view word)
{
    return lower.compare(at, word.size(), word) == 0;
}

} // namespace

std::string SanitizeCss(std::string_view css)
{
    const std::string text = Normalise(css);
    std::string lower = text;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    static constexpr std::string_view kBlocked[] = {"expression", "behavior", "-moz-binding", "javascript:",
                                                    "vbscript:", "-webkit-image-set(", "image-set("};
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '<') {
            ++i;  // never lets the text close its <style> element
            continue;
        }
        if (MatchesAt(lower, i, "@import")) {
            const std::size_t end = lower.find(';', i);
            i = end == std::string::npos ? text.size() : end + 1;
            continue;
        }
        if (MatchesAt(lower, i, "url(")) {
            const std::size_t close = lower.find(')', i + 4);
            const std::size_t end = close == std::string::npos ? text.size() : close;
            std::string_view arg = std::string_view(text).substr(i + 4, end - (i + 4));
            while (!arg.empty() && (arg.front() == ' ' || arg.front() == '"' || arg.front() == '\''))
                arg.remove_prefix(1);
            while (!arg.empty() && (arg.back() == ' ' || arg.back() == '"' || arg.back() == '\''))
                arg.remove_suffix(1);
            const auto argAt = static_cast<std::size_t>(arg.data() - text.data());
            bool safe = arg.size() > 4 && lower.compare(argAt, 4, "cid:") == 0;
            for (const char c : arg)
                safe = safe && c != '"' && c != '\'' && c != '(' && c != '\\' && static_cast<unsigned char>(c) > 0x20;
            if (safe) {
                out += "url(";
                out += arg;
                out += ')';
            } else {
                out += "none";
            }
            i = close == std::string::npos ? text.size() : close + 1;
            continue;
        }
        bool blocked = false;
        for (const std::string_view word : kBlocked) {
            if (MatchesAt(lower, i, word)) {
                out += "x-blocked";
                i += word.size();
                blocked = true;
                break;
            }
        }
        if (!blocked)
            out += text[i++];
    }
    return out;
}

} // namespace render
