#include "render/HtmlTokenizer.h"

#include <algorithm>
#include <cctype>

namespace render {
namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsAsciiAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char Lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Attributes kept per tag; more are ignored (they only cost time).
constexpr std::size_t kMaxAttributes = 64;

} // namespace

HtmlTokenizer::HtmlTokenizer(std::string_view html) : html_(html) {}

bool HtmlTokenizer::IsRawTextElement(std::string_view name)
{
    static constexpr std::string_view kRaw[] = {"script", "style", "textarea", "title", "iframe",
                                                "noembed", "noframes", "xmp"};
    return std::find(std::begin(kRaw), std::end(kRaw), name) != std::end(kRaw);
}

std::size_t HtmlTokenizer::FindRawTextEnd(std::string_view name) const
{
    // The content ends at "</name" followed by a space, "/" or ">".
    for (std::size_t at = html_.find("</", pos_); at != std::string_view::npos; at = html_.find("</", at + 2)) {
        const std::size_t afterName = at + 2 + name.size();
        if (afterName > html_.size())
            break;
        bool same = true;
        for (std::size_t k = 0; k < name.size() && same; ++k)
            same = Lower(html_[at + 2 + k]) == name[k];
        if (same && (afterName == html_.size() || IsSpace(html_[afterName]) || html_[afterName] == '/'
                     || html_[afterName] == '>'))
            return at;
    }
    return html_.size();
}

void HtmlTokenizer::SkipMarkupDeclaration()
{
    // pos_ is at "<!", "<?" or "</" followed by a non-letter.
    if (html_.compare(pos_, 4, "<!--") == 0) {
        std::size_t end = html_.find("-->", pos_ + 4);
        const std::size_t bang = html_.find("--!>", pos_ + 4);
        if (bang < end) {
            pos_ = bang + 4;
            return;
        }
        pos_ = end == std::string_view::npos ? html_.size() : end + 3;
        return;
    }
    const std::size_t end = html_.find('>', pos_ + 2);
    pos_ = end == std::string_view::npos ? html_.size() : end + 1;
}

bool HtmlTokenizer::ReadTag(HtmlToken& token)
{
    // pos_ is at "<" followed by a letter, or at "</" followed by a letter.
    std::size_t p = pos_ + 1;
    const bool end = html_[p] == '/';
    if (end)
        ++p;
    token.kind = end ? HtmlToken::Kind::EndTag : HtmlToken::Kind::StartTag;
    token.name.clear();
    token.attributes.clear();
    token.selfClosing = false;
    while (p < html_.size() && !IsSpace(html_[p]) && html_[p] != '/' && html_[p] != '>')
        token.name += Lower(html_[p++]);

    for (;;) {
        while (p < html_.size() && (IsSpace(html_[p]) || html_[p] == '/')) {
            token.selfClosing = html_[p] == '/';
            ++p;
        }
        if (p >= html_.size()) {
            pos_ = html_.size();  // cut off by the end: dropped
            return false;
        }
        if (html_[p] == '>') {
            pos_ = p + 1;
            return true;
        }
        token.selfClosing = false;
        std::string name;
        do {
            name += Lower(html_[p++]);
        } while (p < html_.size() && !IsSpace(html_[p]) && html_[p] != '/' && html_[p] != '>' && html_[p] != '=');
        while (p < html_.size() && IsSpace(html_[p]))
            ++p;
        std::string_view value;
        if (p < html_.size() && html_[p] == '=') {
            ++p;
            while (p < html_.size() && IsSpace(html_[p]))
                ++p;
            if (p < html_.size() && (html_[p] == '"' || html_[p] == '\'')) {
                const char quote = html_[p++];
                const std::size_t close = html_.find(quote, p);
                if (close == std::string_view::npos) {
                    pos_ = html_.size();
                    return false;
                }
                value = html_.substr(p, close - p);
                p = close + 1;
            } else {
                const std::size_t start = p;
                while (p < html_.size() && !IsSpace(html_[p]) && html_[p] != '>')
                    ++p;
                value = html_.substr(start, p - start);
            }
        }
        const bool seen = std::any_of(token.attributes.begin(), token.attributes.end(),
                                      [&](const HtmlAttribute& a) { return a.name == name; });
        if (!seen && token.attributes.size() < kMaxAttributes && !end)
            token.attributes.push_back({std::move(name), std::string(value)});
    }
}

bool HtmlTokenizer::Next(HtmlToken& token)
{
    if (!rawTextElement_.empty()) {
        const std::size_t end = FindRawTextEnd(rawTextElement_);
        token.kind = HtmlToken::Kind::RawText;
        token.text = html_.substr(pos_, end - pos_);
        token.name = std::move(rawTextElement_);
        token.attributes.clear();
        rawTextElement_.clear();
        pos_ = end;
        return true;
    }
    while (pos_ < html_.size()) {
        if (html_[pos_] != '<') {
            const std::size_t lt = html_.find('<', pos_);
            const std::size_t end = lt == std::string_view::npos ? html_.size() : lt;
            token.kind = HtmlToken::Kind::Text;
            token.text = html_.substr(pos_, end - pos_);
            pos_ = end;
            return true;
        }
        const char next = pos_ + 1 < html_.size() ? html_[pos_ + 1] : '\0';
        const char afterSlash = pos_ + 2 < html_.size() ? html_[pos_ + 2] : '\0';
        if (IsAsciiAlpha(next) || (next == '/' && IsAsciiAlpha(afterSlash))) {
            if (!ReadTag(token))
                continue;  // cut off: at the end now
            if (token.kind == HtmlToken::Kind::StartTag && IsRawTextElement(token.name))
                rawTextElement_ = token.name;
            return true;
        }
        if (next == '!' || next == '?' || next == '/') {
            SkipMarkupDeclaration();
            continue;
        }
        // A "<" that starts nothing is text.
        token.kind = HtmlToken::Kind::Text;
        token.text = html_.substr(pos_, 1);
        ++pos_;
        return true;
    }
    return false;
}

} // namespace render
