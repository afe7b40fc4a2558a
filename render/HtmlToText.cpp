#include "render/HtmlToText.h"

#include "render/HtmlTokenizer.h"
#include "render/TextDecode.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace render {
namespace {

// Named references from U+00A0 on, in code point order.
constexpr std::string_view kLatin1Names[] = {
    "nbsp", "iexcl", "cent", "pound", "curren", "yen", "brvbar", "sect", "uml", "copy", "ordf", "laquo",
    "not", "shy", "reg", "macr", "deg", "plusmn", "sup2", "sup3", "acute", "micro", "para", "middot",
    "cedil", "sup1", "ordm", "raquo", "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",
    "Atilde", "Auml", "Aring", "AElig", "Ccedil", "Egrave", "Eacute", "Ecirc", "Euml", "Igrave", "Iacute",
    "Icirc", "Iuml", "ETH", "Ntilde", "Ograve", "Oacute", "Ocirc", "Otilde", "Ouml", "times", "Oslash",
    "Ugrave", "Uacute", "Ucirc", "Uuml", "Yacute", "THORN", "szlig", "agrave", "aacute", "acirc", "atilde",
    "auml", "aring", "aelig", "ccedil", "egrave", "eacute", "ecirc", "euml", "igrave", "iacute", "icirc",
    "iuml", "eth", "ntilde", "ograve", "oacute", "ocirc", "otilde", "ouml", "divide", "oslash", "ugrave",
    "uacute", "ucirc", "uuml", "yacute", "thorn", "yuml",
};
constexpr std::pair<std::string_view, char32_t> kOtherNames[] = {
    {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"ndash", 0x2013},
    {"mdash", 0x2014}, {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"sbquo", 0x201A}, {"ldquo", 0x201C},
    {"rdquo", 0x201D}, {"bdquo", 0x201E}, {"dagger", 0x2020}, {"bull", 0x2022}, {"hellip", 0x2026},
    {"permil", 0x2030}, {"lsaquo", 0x2039}, {"rsaquo", 0x203A}, {"euro", 0x20AC}, {"trade", 0x2122},
};

// The code point of the reference at text[at] ("&...;"), and its length;
// 0 when there is none there.
std::size_t Reference(std::string_view text, std::size_t at, char32_t& cp)
{
    const std::size_t semicolon = text.find(';', at);
    if (semicolon == std::string_view::npos || semicolon - at > 12)
        return 0;
    const std::string_view name = text.substr(at + 1, semicolon - at - 1);
    if (name.size() >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty())
            return 0;
        std::uint32_t value = 0;
        for (const char c : digits) {
            const int d = c >= '0' && c <= '9' ? c - '0'
                : hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
            if (d < 0)
                return 0;
            value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + static_cast<std::uint32_t>(d), 0x110000);
        }
        cp = value;
        return semicolon - at + 1;
    }
    if (const auto it = std::find(std::begin(kLatin1Names), std::end(kLatin1Names), name);
        it != std::end(kLatin1Names)) {
        cp = static_cast<char32_t>(0xA0 + (it - std::begin(kLatin1Names)));
        return semicolon - at + 1;
    }
    for (const auto& [known, value] : kOtherNames) {
        if (known == name) {
            cp = value;
            return semicolon - at + 1;
        }
    }
    return 0;
}

bool IsBlock(std::string_view name)
{
    static constexpr std::string_view kBlocks[] = {
        "p", "div", "table", "tr", "ul", "ol", "dl", "dt", "dd", "blockquote", "pre", "center", "address",
        "h1", "h2", "h3", "h4", "h5", "h6", "section", "article", "header", "footer", "main", "nav", "aside",
        "figure", "figcaption", "details", "summary", "caption"};
    return std::find(std::begin(kBlocks), std::end(kBlocks), name) != std::end(kBlocks);
}

class TextWriter {
public:
    void Text(std::string_view text)
    {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '&') {
                char32_t cp = 0;
                if (const std::size_t length = Reference(text, i, cp); length > 0) {
                    if (cp == 0xA0)
                        Char(' ');
                    else
                        AppendUtf8(Pending(), cp);
                    i += length - 1;
                    continue;
                }
            }
            if (c == '\r')
                continue;
            if (pre_ == 0 && (c == ' ' || c == '\t' || c == '\n')) {
                space_ = true;
                continue;
            }
            Char(c);
        }
    }
    void Break(int lines)  // at least `lines` line breaks end what is written so far
    {
        space_ = false;
        breaks_ = std::max(breaks_, lines);
    }
    void Start(const HtmlToken& token)
    {
        const std::string& name = token.name;
        if (name == "br") {
            out_ += '\n';
            breaks_ = 0;
            space_ = false;
        } else if (name == "hr") {
            Break(1);
            Raw("----------------------------------------");
            Break(1);
        } else if (name == "li") {
            Break(1);
            Raw("- ");
        } else if (name == "td" || name == "th") {
            if (cellsInRow_++ > 0)
                Raw("\t");
        } else if (name == "img") {
            for (const HtmlAttribute& a : token.attributes)
                if (a.name == "alt" && !a.value.empty())
                    Text("[" + a.value + "]");
        } else if (IsBlock(name)) {
            Break(name == "p" || name[0] == 'h' ? 2 : 1);
        }
        if (name == "tr")
            cellsInRow_ = 0;
        if (name == "pre")
            ++pre_;
    }
    void End(std::string_view name)
    {
        if (name == "pre" && pre_ > 0)
            --pre_;
        if (IsBlock(name))
            Break(name == "p" || name[0] == 'h' || name == "table" ? 2 : 1);
    }
    std::string Finish()
    {
        while (!out_.empty() && (out_.back() == '\n' || out_.back() == ' '))
            out_.pop_back();
        return out_;
    }

private:
    std::string& Pending()
    {
        if (!out_.empty() && breaks_ > 0) {
            std::size_t have = 0;
            while (have < out_.size() && out_[out_.size() - 1 - have] == '\n')
                ++have;
            for (; static_cast<int>(have) < breaks_; ++have)
                out_ += '\n';
        } else if (space_ && !out_.empty() && out_.back() != '\n' && out_.back() != ' ' && out_.back() != '\t') {
            out_ += ' ';
        }
        breaks_ = 0;
        space_ = false;
        return out_;
    }
    void Char(char c) { Pending() += c; }
    void Raw(std::string_view text) { Pending() += text; }

    std::string out_;
    int breaks_ = 0;
    bool space_ = false;
    int pre_ = 0;
    int cellsInRow_ = 0;
};

} // namespace

std::string HtmlToText(std::string_view html)
{
    TextWriter writer;
    HtmlTokenizer tokenizer(html);
    HtmlToken token;
    while (tokenizer.Next(token)) {
        switch (token.kind) {
        case HtmlToken::Kind::Text: writer.Text(token.text); break;
        case HtmlToken::Kind::RawText: break;
        case HtmlToken::Kind::StartTag: writer.Start(token); break;
        case HtmlToken::Kind::EndTag: writer.End(token.name); break;
        }
    }
    return writer.Finish();
}

} // namespace render
