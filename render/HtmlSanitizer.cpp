#include "render/HtmlSanitizer.h"

#include "render/CssSanitizer.h"
#include "render/HtmlTokenizer.h"
#include "render/Limits.h"
#include "render/TextDecode.h"
#include "render/TextToHtml.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <initializer_list>

namespace render {
namespace {

using Names = std::initializer_list<std::string_view>;

bool In(std::string_view name, Names names)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Elements kept, with their own attributes (besides the common ones).
struct ElementRule {
    std::string_view name;
    std::string_view attributes;  // separated by spaces
};

const ElementRule kElements[] = {
    {"a", "href name"},
    {"abbr", ""}, {"acronym", ""}, {"address", ""}, {"article", ""}, {"aside", ""},
    {"b", ""}, {"bdi", ""}, {"bdo", ""}, {"big", ""}, {"blockquote", ""},
    {"br", "clear"},
    {"caption", ""}, {"center", ""}, {"cite", ""}, {"code", ""},
    {"col", "span"}, {"colgroup", "span"},
    {"dd", ""}, {"del", ""}, {"details", ""}, {"dfn", ""}, {"div", ""}, {"dl", ""}, {"dt", ""},
    {"em", ""}, {"figcaption", ""}, {"figure", ""},
    {"font", "color face size"},
    {"footer", ""}, {"h1", ""}, {"h2", ""}, {"h3", ""}, {"h4", ""}, {"h5", ""}, {"h6", ""},
    {"header", ""},
    {"hr", "size noshade color"},
    {"i", ""},
    {"img", "src alt border hspace vspace"},
    {"ins", ""}, {"kbd", ""},
    {"li", "value type"},
    {"main", ""}, {"mark", ""}, {"nav", ""}, {"nobr", ""},
    {"ol", "start type"},
    {"p", ""}, {"pre", ""}, {"q", ""}, {"s", ""}, {"samp", ""}, {"section", ""}, {"small", ""},
    {"span", ""}, {"strike", ""}, {"strong", ""}, {"sub", ""}, {"summary", ""}, {"sup", ""},
    {"table", "border cellpadding cellspacing background frame rules"},
    {"tbody", ""},
    {"td", "colspan rowspan nowrap background"},
    {"tfoot", ""},
    {"th", "colspan rowspan nowrap background"},
    {"thead", ""}, {"time", ""},
    {"tr", "background"},
    {"tt", ""}, {"u", ""},
    {"ul", "type"},
    {"var", ""}, {"wbr", ""},
};

constexpr std::string_view kCommonAttributes = "align valign width height bgcolor style class id dir lang title";

// True when the space-separated list holds the name.
bool InList(std::string_view name, std::string_view list)
{
    for (std::size_t at = list.find(name); at != std::string_view::npos; at = list.find(name, at + 1)) {
        const bool starts = at == 0 || list[at - 1] == ' ';
        const bool ends = at + name.size() == list.size() || list[at + name.size()] == ' ';
        if (starts && ends)
            return true;
    }
    return false;
}

const ElementRule* FindRule(std::string_view name)
{
    for (const ElementRule& rule : kElements)
        if (rule.name == name)
            return &rule;
    return nullptr;
}

bool IsVoid(std::string_view name)
{
    return In(name, {"br", "hr", "img", "col", "wbr"});
}

// Raw-text elements whose content is shown as text; the others' is dropped.
bool ShowsRawText(std::string_view name)
{
    return name == "textarea" || name == "xmp";
}

// Reads the character reference at value[i] ("&#...", or one of the few
// named ones that matter for checking URLs and styles): true with its code
// point and the index past it, false when it is not one of these.
bool ReadReference(std::string_view value, std::size_t i, std::uint32_t& cp, std::size_t& next)
{
    static constexpr std::pair<std::string_view, char32_t> kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''},
        {"nbsp", 0xA0}, {"colon", ':'}, {"tab", '\t'}, {"newline", '\n'}, {"lpar", '('}, {"rpar", ')'},
    };
    std::size_t p = i + 1;
    if (p < value.size() && value[p] == '#') {
        ++p;
        const bool hex = p < value.size() && (value[p] == 'x' || value[p] == 'X');
        if (hex)
            ++p;
        cp = 0;
        const std::size_t digitsStart = p;
        while (p < value.size() && (hex ? std::isxdigit(static_cast<unsigned char>(value[p]))
                                        : std::isdigit(static_cast<unsigned char>(value[p])))) {
            const char c = value[p++];
            const std::uint32_t digit = static_cast<std::uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
            cp = std::min<std::uint32_t>(cp * (hex ? 16 : 10) + digit, 0x110000);
        }
        if (p == digitsStart)
            return false;
        if (p < value.size() && value[p] == ';')
            ++p;
        next = p;
        return true;
    }
    for (const auto& [name, code] : kNamed) {
        if (value.compare(p, name.size(), name) == 0 && p + name.size() < value.size()
            && value[p + name.size()] == ';') {
            cp = code;
            next = p + name.size() + 1;
            return true;
        }
    }
    return false;
}

// The value with the references above decoded; other named references stay
// as written.
std::string DecodeReferences(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size();) {
        std::uint32_t cp = 0;
        if (value[i] == '&' && ReadReference(value, i, cp, i))
            AppendUtf8(out, cp);
        else
            out += value[i++];
    }
    return out;
}

// A URL as a browser reads it: references decoded, tabs and line breaks
// taken out and spaces and control characters stripped from both ends (as
// a browser's URL parser does, so "jav&#x09;ascript:" is seen for what it
// is), and any other space or control character %-encoded. Nothing is taken
// out that the browser keeps, so "ht tp://x" does not become a link, and the
// value checked is the value written.
std::string NormaliseUrl(std::string_view raw)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto isSpaceOrControl = [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; };
    std::string decoded = DecodeReferences(raw);
    std::erase_if(decoded, [](char c) { return c == '\t' || c == '\n' || c == '\r'; });
    std::string_view url = decoded;
    while (!url.empty() && isSpaceOrControl(url.front()))
        url.remove_prefix(1);
    while (!url.empty() && isSpaceOrControl(url.back()))
        url.remove_suffix(1);
    if (std::none_of(url.begin(), url.end(), isSpaceOrControl))
        return std::string(url);
    std::string out;
    out.reserve(url.size() + 8);
    for (const char c : url) {
        if (isSpaceOrControl(c)) {
            out += '%';
            out += kHex[static_cast<unsigned char>(c) >> 4];
            out += kHex[c & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

bool HasScheme(std::string_view url, std::string_view scheme)
{
    if (url.size() < scheme.size())
        return false;
    for (std::size_t k = 0; k < scheme.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(url[k])) != scheme[k])
            return false;
    return true;
}

bool IsLinkTarget(std::string_view url)
{
    return HasScheme(url, "http:") || HasScheme(url, "https:") || HasScheme(url, "mailto:")
        || HasScheme(url, "ftp:") || HasScheme(url, "news:") || (!url.empty() && url.front() == '#');
}

bool IsLocalImage(std::string_view url)
{
    if (HasScheme(url, "cid:"))
        return url.size() > 4;
    static constexpr std::string_view kDataImages[] = {"data:image/png;", "data:image/gif;", "data:image/jpeg;",
                                                       "data:image/jpg;", "data:image/bmp;", "data:image/webp;"};
    return std::any_of(std::begin(kDataImages), std::end(kDataImages),
                       [&](std::string_view prefix) { return HasScheme(url, prefix); });
}

// Text escaped for a double-quoted attribute (or element text) so that a
// browser reads back exactly this text: every "&" is escaped too. Used for
// values that were checked, so that nothing is decoded a second time.
void AppendEscaped(std::string& out, std::string_view text)
{
    std::size_t plain = 0;  // start of the run not yet appended
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string_view escaped;
        if (c == '&')
            escaped = "&amp;";
        else if (c == '"')
            escaped = "&quot;";
        else if (c == '<')
            escaped = "&lt;";
        else if (c == '>')
            escaped = "&gt;";
        else if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
            escaped = " ";
        else
            continue;
        out.append(text.substr(plain, i - plain));
        out.append(escaped);
        plain = i + 1;
    }
    out.append(text.substr(plain));
}

// A value as written, for an attribute or text that needs no check: the
// references above are decoded and escaped again, a named reference not
// among them stays as written (for the browser to show), and any other "&"
// is escaped. So the browser decodes each reference once, as in the input:
// "&amp;lt;" stays the text "&lt;".
void AppendAttributeText(std::string& out, std::string_view raw)
{
    for (std::size_t i = 0; i < raw.size();) {
        std::uint32_t cp = 0;
        if (raw[i] != '&') {
            const std::size_t amp = std::min(raw.find('&', i), raw.size());
            AppendEscaped(out, raw.substr(i, amp - i));
            i = amp;
        } else if (ReadReference(raw, i, cp, i)) {
            std::string decoded;
            AppendUtf8(decoded, cp);
            AppendEscaped(out, decoded);
        } else {
            std::size_t p = i + 1;
            while (p < raw.size() && p - i <= 32 && std::isalnum(static_cast<unsigned char>(raw[p])))
                ++p;
            const bool named = p > i + 1 && std::isalpha(static_cast<unsigned char>(raw[i + 1])) && p < raw.size()
                && raw[p] == ';';
            out += named ? "&" : "&amp;";
            ++i;
        }
    }
}

class Sanitizer {
public:
    SanitizedHtml Run(std::string_view html);

private:
    void StartTag(const HtmlToken& token);
    void EndTag(std::string_view name);
    void Text(std::string_view text);
    void RawText(const HtmlToken& token);
    void ReplaceImage(const HtmlToken& token);
    void CloseImplied(std::string_view name);
    void PopUntil(std::size_t depth);
    std::size_t FindOpen(std::string_view name, Names scope) const;
    std::size_t TableDepth() const;

    SanitizedHtml result_;
    std::vector<std::string> open_;  // elements opened and not yet closed
    std::size_t cells_ = 0;          // table cells opened so far
    std::size_t images_ = 0;         // pictures kept so far
};

SanitizedHtml Sanitizer::Run(std::string_view html)
{
    HtmlTokenizer tokenizer(html);
    HtmlToken token;
    while (tokenizer.Next(token)) {
        if (result_.body.size() > limits::kMaxHtmlBytes) {
            result_.cut = true;
            break;
        }
        switch (token.kind) {
        case HtmlToken::Kind::Text: Text(token.text); break;
        case HtmlToken::Kind::RawText: RawText(token); break;
        case HtmlToken::Kind::StartTag: StartTag(token); break;
        case HtmlToken::Kind::EndTag: EndTag(token.name); break;
        }
    }
    PopUntil(0);
    return std::move(result_);
}

void Sanitizer::Text(std::string_view text)
{
    // Text passes with its references; only what could start markup, and
    // control characters, are changed.
    std::string& out = result_.body;
    for (const char c : text) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
            out += c;
    }
}

void Sanitizer::RawText(const HtmlToken& token)
{
    if (token.name == "style") {
        result_.styleSheet += SanitizeStyleSheet(token.text);
        result_.styleSheet += '\n';
    } else if (ShowsRawText(token.name)) {
        result_.body += EscapeHtml(token.text);
    }
}

std::size_t Sanitizer::TableDepth() const
{
    return static_cast<std::size_t>(std::count(open_.begin(), open_.end(), "table"));
}

std::size_t Sanitizer::FindOpen(std::string_view name, Names scope) const
{
    // Index + 1 of the innermost open element of that name above any of the
    // scope elements, or 0.
    for (std::size_t k = open_.size(); k > 0; --k) {
        if (open_[k - 1] == name)
            return k;
        if (In(open_[k - 1], scope))
            return 0;
    }
    return 0;
}

void Sanitizer::PopUntil(std::size_t depth)
{
    while (open_.size() > depth) {
        result_.body += "</";
        result_.body += open_.back();
        result_.body += '>';
        open_.pop_back();
    }
}

void Sanitizer::CloseImplied(std::string_view name)
{
    // The end tags HTML lets writers leave out: a new item closes the one
    // before it (the usual shape of hand-written and generated mail).
    const auto closeSame = [&](Names same, Names scope) {
        for (const std::string_view s : same) {
            if (const std::size_t at = FindOpen(s, scope)) {
                PopUntil(at - 1);
                return;
            }
        }
    };
    if (name == "li")
        closeSame({"li"}, {"ul", "ol", "table"});
    else if (name == "dt" || name == "dd")
        closeSame({"dt", "dd"}, {"dl", "table"});
    else if (name == "td" || name == "th")
        closeSame({"td", "th"}, {"tr", "table"});
    else if (name == "tr")
        closeSame({"tr"}, {"table"});
    else if (name == "tbody" || name == "thead" || name == "tfoot")
        closeSame({"tbody", "thead", "tfoot"}, {"table"});
    else if (name == "p")
        closeSame({"p"}, {"table", "td", "th", "li", "div", "blockquote"});
}

void Sanitizer::ReplaceImage(const HtmlToken& token)
{
    // An image from elsewhere is not loaded; its alt text shows in its place.
    for (const HtmlAttribute& a : token.attributes) {
        if (a.name == "alt" && !a.value.empty()) {
            result_.body += "[";
            AppendAttributeText(result_.body, a.value);
            result_.body += "]";
        }
    }
}

void Sanitizer::StartTag(const HtmlToken& token)
{
    const ElementRule* rule = FindRule(token.name);
    if (rule == nullptr)
        return;  // the tag goes; its content stays as text
    const bool isVoid = IsVoid(token.name);

    std::string attributes;
    for (const HtmlAttribute& a : token.attributes) {
        if (a.name.empty() || (!InList(a.name, rule->attributes) && !InList(a.name, kCommonAttributes)))
            continue;  // on*, target, formaction, srcset, ... all go
        // A value that is checked is emitted exactly as checked.
        bool checked = true;
        std::string value;
        if (a.name == "href") {
            value = NormaliseUrl(a.value);
            if (!IsLinkTarget(value))
                continue;
        } else if (a.name == "src") {
            value = NormaliseUrl(a.value);
            if (!IsLocalImage(value)) {
                ReplaceImage(token);
                return;
            }
        } else if (a.name == "background") {
            value = NormaliseUrl(a.value);
            if (!HasScheme(value, "cid:"))
                continue;
        } else if (a.name == "style") {
            value = SanitizeInlineStyle(DecodeReferences(a.value));
            if (value.empty())
                continue;
        } else {
            checked = false;
        }
        attributes += ' ';
        attributes += a.name;
        attributes += "=\"";
        if (checked)
            AppendEscaped(attributes, value);
        else
            AppendAttributeText(attributes, a.value);
        attributes += '"';
    }
    if (token.name == "img" && (attributes.find(" src=\"") == std::string::npos || images_ >= limits::kMaxImages))
        return ReplaceImage(token);
    if (token.name == "img")
        ++images_;

    if (!isVoid) {
        CloseImplied(token.name);
        // Deep nesting only slows the layout down (nested tables most of
        // all); past the limits the tags go and their content stays.
        if (open_.size() >= limits::kMaxElementDepth)
            return;
        if (token.name == "table" && TableDepth() >= limits::kMaxTableDepth)
            return;
        const bool tablePart = In(token.name, {"table", "tr", "td", "th", "tbody", "thead", "tfoot", "caption"});
        if (tablePart && cells_ >= limits::kMaxTableCells)
            return;
        if (token.name == "td" || token.name == "th")
            ++cells_;
        open_.push_back(token.name);
    }
    result_.body += '<';
    result_.body += token.name;
    result_.body += attributes;
    result_.body += '>';
}

void Sanitizer::EndTag(std::string_view name)
{
    // An end tag does not reach out of the table cell it stands in, except
    // the table's own structure.
    std::size_t at = 0;
    if (name == "table")
        at = FindOpen(name, {});
    else if (In(name, {"tr", "td", "th", "tbody", "thead", "tfoot", "caption", "col", "colgroup"}))
        at = FindOpen(name, {"table"});
    else
        at = FindOpen(name, {"table", "td", "th", "caption"});
    if (at != 0)
        PopUntil(at - 1);
}

} // namespace

SanitizedHtml SanitizeHtml(std::string_view html)
{
    return Sanitizer().Run(html);
}

} // namespace render
