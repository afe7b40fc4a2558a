#include "mailtext/MimeParameters.h"

#include "dbx/DisplayText.h"
#include "mailtext/Charsets.h"
#include "mailtext/HeaderText.h"

#include <algorithm>
#include <map>

namespace mailtext {
namespace {

// Continuations past this number are not joined: real names need a few.
constexpr int kMaxSections = 1000;

bool IsSpaceOrTab(char c)
{
    return c == ' ' || c == '\t';
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsSpaceOrTab(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpaceOrTab(s.back()))
        s.remove_suffix(1);
    return s;
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// "%XX" escapes as bytes; a "%" without two hex digits stays.
std::string PercentDecoded(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int hi = text[i] == '%' && i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
        const int lo = hi >= 0 ? HexDigitValue(text[i + 2]) : -1;
        if (lo >= 0) {
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Reads one parameter value at `at`: a quoted string (its escapes undone)
// or everything up to the next ';'. Moves `at` past it.
std::string ReadValue(std::string_view value, std::size_t& at)
{
    std::string out;
    if (at < value.size() && value[at] == '"') {
        for (++at; at < value.size() && value[at] != '"'; ++at) {
            if (value[at] == '\\' && at + 1 < value.size())
                ++at;
            out += value[at];
        }
        at = std::min(value.size(), at + 1);
        return out;
    }
    const std::size_t end = std::min(value.find(';', at), value.size());
    out = Trim(value.substr(at, end - at));
    at = end;
    return out;
}

struct Section {
    std::string text;
    bool encoded = false;  // percent-encoded, in the charset of the first section
};

// A simple value: encoded words decoded, other bytes by the text rule. The
// header decoder keeps only the start of a very long text: the ending is
// then added back, so that the name keeps its real one.
std::string PlainValue(const std::string& value)
{
    if (value.find("=?") == std::string::npos)
        return dbx::ToDisplayUtf8(value);
    std::string text = DecodeHeaderText(value);
    if (text.size() >= kMaxDisplayText) {
        const std::size_t dot = value.rfind('.');
        const std::string_view ending = dot == std::string::npos ? std::string_view() : std::string_view(value).substr(dot);
        if (ending.size() <= 17 && ending.find_first_of("?= \t") == std::string_view::npos)
            text += dbx::ToDisplayUtf8(ending);
    }
    return text;
}

} // namespace

std::string ParameterText(std::string_view headerValue, std::string_view name)
{
    std::string unfolded(headerValue);
    unfolded.erase(std::remove_if(unfolded.begin(), unfolded.end(), [](char c) { return c == '\r' || c == '\n'; }),
                   unfolded.end());
    const std::string_view value = unfolded;

    std::string simple;
    bool haveSimple = false;
    std::map<int, Section> sections;
    // The type or disposition itself comes first; parameters follow ';'.
    std::size_t at = 0;
    for (bool quoted = false; at < value.size() && (quoted || value[at] != ';'); ++at)
        quoted = value[at] == '"' ? !quoted : quoted;
    while (at < value.size()) {
        ++at;  // the ';'
        const std::size_t equals = value.find_first_of("=;", at);
        if (equals == std::string_view::npos)
            break;
        const std::string_view attribute = Trim(value.substr(at, equals - at));
        at = equals;
        if (value[equals] == ';')
            continue;  // a word without a value
        ++at;
        while (at < value.size() && IsSpaceOrTab(value[at]))
            ++at;
        std::string text = ReadValue(value, at);
        // Whatever follows a quoted value up to the next ';' is not part of it.
        at = std::min(value.find(';', at), value.size());
        if (attribute.size() < name.size() || !EqualsNoCase(attribute.substr(0, name.size()), name))
            continue;
        std::string_view rest = attribute.substr(name.size());
        if (rest.empty()) {
            if (!haveSimple)
                simple = std::move(text);
            haveSimple = true;
            continue;
        }
        if (rest.front() != '*')
            continue;
        rest.remove_prefix(1);
        Section section{std::move(text), false};
        int index = 0;
        if (rest.empty()) {
            section.encoded = true;  // name*=charset'language'text
        } else {
            std::size_t digits = 0;
            while (digits < rest.size() && digits < 5 && rest[digits] >= '0' && rest[digits] <= '9')
                index = index * 10 + (rest[digits++] - '0');
            if (digits == 0 || (rest.size() - digits > 1) || (digits < rest.size() && rest[digits] != '*'))
                continue;
            section.encoded = digits < rest.size();
            if (index >= kMaxSections)
                continue;
        }
        sections.emplace(index, std::move(section));
    }
    if (sections.empty())
        return haveSimple ? PlainValue(simple) : std::string();

    // Joined in order up to the first one missing; the bytes of neighbouring
    // encoded sections are converted together, so that a character split
    // between two of them survives.
    std::string charset;
    std::string out;
    std::string run;
    const auto flush = [&] {
        if (!run.empty() && (charset.empty() || !AppendAsUtf8(run, charset, out)))
            out += dbx::ToDisplayUtf8(run);
        run.clear();
    };
    int expected = 0;
    for (auto& [index, section] : sections) {
        if (index != expected++)
            break;
        if (!section.encoded) {
            flush();
            out += dbx::ToDisplayUtf8(section.text);
            continue;
        }
        std::string_view text = section.text;
        if (index == 0) {
            const std::size_t first = text.find('\'');
            const std::size_t second = first == std::string_view::npos ? first : text.find('\'', first + 1);
            if (second != std::string_view::npos) {
                charset = Trim(text.substr(0, first));
                text.remove_prefix(second + 1);
            }
        }
        run += PercentDecoded(text);
    }
    flush();
    return out;
}

} // namespace mailtext
