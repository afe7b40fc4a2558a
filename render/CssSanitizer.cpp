#include "render/CssSanitizer.h"

#include "render/CssTokenizer.h"

#include <algorithm>
#include <vector>

namespace render {
namespace {

using Kind = CssToken::Kind;
using Tokens = std::vector<CssToken>;

// Tokens kept for one declaration, selector or rule prelude; a longer one
// is left out (no real message needs more, and it bounds the memory).
constexpr std::size_t kMaxUnitTokens = 4096;
// @media rules inside @media rules; deeper ones are left out.
constexpr int kMaxRuleDepth = 4;
// Functions inside functions in one value.
constexpr std::size_t kMaxNesting = 16;

CssToken Token(Kind kind, std::string value)
{
    CssToken t;
    t.kind = kind;
    t.value = std::move(value);
    return t;
}

std::string LowerName(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), LowerAscii);
    return out;
}

bool In(std::string_view name, std::initializer_list<std::string_view> names)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool IsAllowedProperty(std::string_view name)
{
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return (c >= 'a' && c <= 'z') || c == '-'; }))
        return false;
    for (const std::string_view family : {"background", "border", "margin", "padding", "font", "text-", "list-style",
                                          "outline", "page-break-"})
        if (name.substr(0, family.size()) == family)
            return true;
    return In(name, {"color", "line-height", "letter-spacing", "word-spacing", "white-space", "vertical-align",
                     "direction", "unicode-bidi", "width", "height", "min-width", "max-width", "min-height",
                     "max-height", "display", "float", "clear", "visibility", "overflow", "overflow-x", "overflow-y",
                     "table-layout", "caption-side", "empty-cells", "word-wrap", "word-break", "overflow-wrap",
                     "box-sizing", "opacity"});
}

// Characters a cid: reference keeps as they are; others are %-encoded (the
// preview decodes them when it looks the part up).
bool IsCidChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
        || std::string_view("-._~!$+=@:%/").find(c) != std::string_view::npos;
}

bool IsCidUrl(std::string_view url)
{
    return url.size() > 4 && EqualsNoCase(url.substr(0, 4), "cid:")
        && std::all_of(url.begin() + 4, url.end(), IsCidChar);
}

std::string EncodeCid(std::string_view url)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "cid:";
    for (const char c : url.substr(4)) {
        if (IsCidChar(c)) {
            out += c;
        } else {
            out += '%';
            out += kHex[static_cast<unsigned char>(c) >> 4];
            out += kHex[static_cast<unsigned char>(c) & 0xF];
        }
    }
    return out;
}

void Serialise(const Tokens& tokens, std::string& out)
{
    for (const CssToken& t : tokens) {
        switch (t.kind) {
        case Kind::Function: out += t.value; out += '('; break;
        case Kind::AtKeyword: out += '@'; out += t.value; break;
        case Kind::Hash: out += '#'; out += t.value; break;
        case Kind::String: out += '"'; out += t.value; out += '"'; break;
        case Kind::Url: out += "url("; out += t.value; out += ')'; break;
        case Kind::Percentage: out += t.value; out += '%'; break;
        case Kind::Dimension: out += t.value; out += t.unit; break;
        default: out += t.value; break;
        }
    }
}

// True when the text starts with "cid:", a reference and ")".
bool StartsCidUrl(std::string_view text)
{
    const std::size_t close = text.find(')');
    return close != std::string_view::npos && IsCidUrl(text.substr(0, close));
}

// The text as bytes: nothing that could hide a word from a reader that
// does not resolve escapes and comments, and none of the words themselves;
// "url(" only as the start of a url(cid:...), even inside a string.
bool HasOnlyPlainBytes(std::string_view text)
{
    static constexpr std::string_view kWords[] = {"/*", "expression", "javascript", "vbscript", "behavior",
                                                  "binding", "@import", "image-set", "src("};
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\\' || c == '<' || c == '&')
            return false;
        const char first = LowerAscii(c);
        for (const std::string_view word : kWords)
            if (first == word[0] && i + word.size() <= text.size() && EqualsNoCase(text.substr(i, word.size()), word))
                return false;
        if (first == 'u' && EqualsNoCase(text.substr(i, 4), "url(") && !StartsCidUrl(text.substr(i + 4)))
            return false;
    }
    return true;
}

enum class Context { Declaration, Selector, Media };

// One token of a selector, media query or declaration value that may stay.
// `open` tracks the brackets opened and not closed.
bool IsAllowedToken(const CssToken& t, Context context, std::vector<Kind>& open)
{
    switch (t.kind) {
    case Kind::Whitespace:
    case Kind::Ident:
    case Kind::Comma:
    case Kind::Number:
    case Kind::Dimension:
        return true;
    case Kind::Colon:
        return context != Context::Declaration;
    case Kind::Hash:
    case Kind::String:
        return context != Context::Media;
    case Kind::Percentage:
        return context == Context::Declaration;
    case Kind::Url:
        return context == Context::Declaration && IsCidUrl(t.value);
    case Kind::Delim: {
        const std::string_view allowed = context == Context::Declaration ? "/+-*"
                                       : context == Context::Selector    ? ".>+~*|=^$-"
                                                                         : "/";
        return allowed.find(t.value[0]) != std::string_view::npos;
    }
    case Kind::Function: {
        const std::string name = LowerName(t.value);
        const bool known = context == Context::Declaration
            ? In(name, {"rgb", "rgba", "hsl", "hsla", "calc"})
            : context == Context::Selector && In(name, {"not", "is", "where", "lang", "dir", "nth-child",
                                                        "nth-last-child", "nth-of-type", "nth-last-of-type"});
        if (!known || open.size() >= kMaxNesting)
            return false;
        open.push_back(Kind::CloseParen);
        return true;
    }
    case Kind::OpenParen:  // media features: "(max-width: 600px)"
    case Kind::OpenSquare:  // attribute selectors
        if (context != (t.kind == Kind::OpenParen ? Context::Media : Context::Selector) || open.size() >= kMaxNesting)
            return false;
        open.push_back(t.kind == Kind::OpenParen ? Kind::CloseParen : Kind::CloseSquare);
        return true;
    case Kind::CloseParen:
    case Kind::CloseSquare:
        if (open.empty() || open.back() != t.kind)
            return false;
        open.pop_back();
        return true;
    default:
        return false;  // at-keywords, ";", braces, bad strings and urls, <!-- -->
    }
}

// Where a declaration's value starts: after "name", ":" and the white space
// around it; 0 when the tokens do not start that way.
std::size_t ValueStart(const Tokens& tokens)
{
    std::size_t i = 1;
    if (i < tokens.size() && tokens[i].kind == Kind::Whitespace)
        ++i;
    if (i >= tokens.size() || tokens[i].kind != Kind::Colon)
        return 0;
    ++i;
    if (i < tokens.size() && tokens[i].kind == Kind::Whitespace)
        ++i;
    return i;
}

// Where a declaration's value ends: before "!important" (any case, white
// space allowed around "!") at the end, or at the end.
std::size_t ValueEnd(const Tokens& tokens)
{
    const std::size_t end = tokens.size();
    if (end < 3 || tokens[end - 1].kind != Kind::Ident || !EqualsNoCase(tokens[end - 1].value, "important"))
        return end;
    std::size_t bang = end - 2;
    if (tokens[bang].kind == Kind::Whitespace)
        --bang;
    if (!tokens[bang].Is(Kind::Delim, '!'))
        return end;
    return bang > 0 && tokens[bang - 1].kind == Kind::Whitespace ? bang - 1 : bang;
}

// True when the tokens are "name: value" with an allowed name and a value
// of allowed tokens, and "!important" at most at the end.
bool IsAllowedDeclaration(const Tokens& tokens)
{
    if (tokens.empty() || tokens[0].kind != Kind::Ident || !IsAllowedProperty(tokens[0].value))
        return false;
    const std::size_t begin = ValueStart(tokens);
    const std::size_t end = ValueEnd(tokens);
    if (begin == 0 || begin >= end)
        return false;
    std::vector<Kind> open;
    for (std::size_t i = begin; i < end; ++i)
        if (!IsAllowedToken(tokens[i], Context::Declaration, open))
            return false;
    return open.empty();
}

bool IsAllowedPrelude(const Tokens& tokens, Context context)
{
    std::vector<Kind> open;
    for (const CssToken& t : tokens)
        if (!IsAllowedToken(t, context, open))
            return false;
    return open.empty() && !tokens.empty();
}

// Writes the tokens out at the end of `out` and keeps the text only when it
// passes the checks: its bytes are plain, and read back it gives exactly
// `tokens` (so no neighbours joined), which are allowed in `context`. As the
// tokens read back are the same, checking `tokens` checks what the text says.
bool Emit(const Tokens& tokens, Context context, std::string& out)
{
    const std::size_t start = out.size();
    Serialise(tokens, out);
    const std::string_view text = std::string_view(out).substr(start);
    bool same = HasOnlyPlainBytes(text);
    if (same) {
        CssTokenizer tokenizer(text);
        std::size_t n = 0;
        for (CssToken t; same && tokenizer.Next(t); ++n)
            same = n < tokens.size() && t == tokens[n];
        same = same && n == tokens.size();
    }
    if (same && (context == Context::Declaration ? IsAllowedDeclaration(tokens) : IsAllowedPrelude(tokens, context)))
        return true;
    out.resize(start);
    return false;
}

// Resolves the url()s of tokens[from..]: a reference to a part of the
// message stays (written plainly), any other becomes "none". False when a
// url() is malformed or cut off: the declaration then goes.
bool ResolveUrls(Tokens& tokens, std::size_t from)
{
    std::size_t kept = from;
    for (std::size_t i = from; i < tokens.size(); ++i, ++kept) {
        const std::size_t at = i;
        CssToken& t = tokens[at];
        if (t.kind == Kind::Function && EqualsNoCase(t.value, "url")) {
            // url("..."): a string and nothing else inside.
            std::size_t k = i + 1;
            if (k < tokens.size() && tokens[k].kind == Kind::Whitespace)
                ++k;
            if (k >= tokens.size() || tokens[k].kind != Kind::String || tokens[k].unterminated)
                return false;
            const std::size_t string = k;
            if (++k < tokens.size() && tokens[k].kind == Kind::Whitespace)
                ++k;
            if (k >= tokens.size() || tokens[k].kind != Kind::CloseParen)
                return false;
            t = Token(Kind::Url, std::move(tokens[string].value));
            i = k;
        }
        if (t.kind == Kind::Url) {
            if (t.unterminated)
                return false;
            t = t.value.size() > 4 && EqualsNoCase(std::string_view(t.value).substr(0, 4), "cid:")
                ? Token(Kind::Url, EncodeCid(t.value))
                : Token(Kind::Ident, "none");
        }
        if (kept != at)
            tokens[kept] = std::move(t);
    }
    tokens.resize(kept);
    return true;
}

// Appends one declaration ("name: value", as Collect left it) if it may
// stay; "; " separates it from one before it in the list at out[listStart].
void EmitDeclaration(Tokens& tokens, std::string& out, std::size_t listStart)
{
    if (!tokens.empty() && tokens.back().kind == Kind::Whitespace)
        tokens.pop_back();
    if (tokens.empty() || tokens[0].kind != Kind::Ident)
        return;
    std::string& name = tokens[0].value;
    std::transform(name.begin(), name.end(), name.begin(), LowerAscii);
    const std::size_t begin = ValueStart(tokens);
    if (!IsAllowedProperty(name) || begin == 0 || begin >= ValueEnd(tokens) || !ResolveUrls(tokens, begin))
        return;
    const std::size_t start = out.size();
    if (start > listStart)
        out += "; ";
    if (!Emit(tokens, Context::Declaration, out))
        out.resize(start);
}

// Reads rules and declarations from a token stream, one unit at a time.
class Parser {
public:
    explicit Parser(std::string_view css) : tokenizer_(css) {}

    // Rules up to the end of the input, or (inBlock) up to the "}" that
    // closes the block they stand in.
    void Rules(std::string& out, int depth, bool inBlock);

    // Declarations, "; "-joined, up to the end or (inBlock) the "}" of
    // their block; the list starts at out[listStart].
    void Declarations(std::string& out, std::size_t listStart, bool inBlock);

private:
    enum class End { Semicolon, Block, BlockEnd, Input };

    bool Read(CssToken& token);
    void Unread(CssToken token)
    {
        pending_ = std::move(token);
        hasPending_ = true;
    }

    // Reads component values into `unit` (when given; the first
    // kMaxUnitTokens, `overflow` set if there were more; no white space at
    // the start and no two white spaces in a row) up to a ";" or "{"
    // (when asked to stop there), the "}" of the enclosing block (inBlock),
    // or the end; says which one it was and consumes it.
    End Collect(Tokens* unit, bool stopAtSemicolon, bool stopAtBlock, bool inBlock, bool& overflow);

    // After a "{": reads up to and including its "}".
    void SkipBlock()
    {
        bool overflow = false;
        Collect(nullptr, false, false, true, overflow);
    }

    CssTokenizer tokenizer_;
    CssToken pending_;
    bool hasPending_ = false;
};

bool Parser::Read(CssToken& token)
{
    if (hasPending_) {
        hasPending_ = false;
        token = std::move(pending_);
        return true;
    }
    return tokenizer_.Next(token);
}

Parser::End Parser::Collect(Tokens* unit, bool stopAtSemicolon, bool stopAtBlock, bool inBlock, bool& overflow)
{
    std::vector<Kind> open;  // the closers owed, innermost last
    if (unit != nullptr)
        unit->reserve(16);
    CssToken t;
    while (Read(t)) {
        if (open.empty()) {
            if (t.kind == Kind::Semicolon && stopAtSemicolon)
                return End::Semicolon;
            if (t.kind == Kind::OpenCurly && stopAtBlock)
                return End::Block;
            if (t.kind == Kind::CloseCurly && inBlock)
                return End::BlockEnd;
        }
        if (t.kind == Kind::OpenCurly)
            open.push_back(Kind::CloseCurly);
        else if (t.kind == Kind::OpenParen || t.kind == Kind::Function)
            open.push_back(Kind::CloseParen);
        else if (t.kind == Kind::OpenSquare)
            open.push_back(Kind::CloseSquare);
        else if (!open.empty() && t.kind == open.back())
            open.pop_back();
        if (unit != nullptr) {
            // White space at the start, and runs of it (where a comment
            // stood between spaces), carry nothing.
            if (t.kind == Kind::Whitespace && (unit->empty() || unit->back().kind == Kind::Whitespace))
                continue;
            if (unit->size() < kMaxUnitTokens)
                unit->push_back(std::move(t));
            else
                overflow = true;
        }
    }
    return End::Input;
}

void Parser::Declarations(std::string& out, std::size_t listStart, bool inBlock)
{
    CssToken t;
    Tokens unit;
    while (Read(t)) {
        if (t.kind == Kind::Whitespace || t.kind == Kind::Semicolon)
            continue;
        if (t.kind == Kind::CloseCurly && inBlock)
            return;
        // An at-rule among declarations ends at its ";" or block; it never stays.
        const bool atRule = t.kind == Kind::AtKeyword;
        unit.clear();
        bool overflow = false;
        if (!atRule)
            Unread(std::move(t));
        const End end = Collect(atRule ? nullptr : &unit, true, atRule, inBlock, overflow);
        if (end == End::Block)
            SkipBlock();
        else if (!atRule && !overflow)
            EmitDeclaration(unit, out, listStart);
        if (end == End::BlockEnd)
            return;
    }
}

void Parser::Rules(std::string& out, int depth, bool inBlock)
{
    CssToken t;
    while (Read(t)) {
        if (t.kind == Kind::Whitespace || t.kind == Kind::Cdo || t.kind == Kind::Cdc)
            continue;
        if (t.kind == Kind::CloseCurly && inBlock)
            return;
        const bool atRule = t.kind == Kind::AtKeyword;
        const std::string atName = atRule ? LowerName(t.value) : std::string();
        if (!atRule)
            Unread(std::move(t));
        Tokens prelude;
        bool overflow = false;
        const End end = Collect(&prelude, atRule, true, inBlock, overflow);
        if (end == End::BlockEnd)
            return;
        if (end != End::Block)
            continue;  // a statement at-rule (@import, @charset), or a rule cut off: none stay
        if (!prelude.empty() && prelude.back().kind == Kind::Whitespace)
            prelude.pop_back();
        // The rule is written at the end of `out` and taken back if nothing
        // of it may stay.
        const std::size_t start = out.size();
        bool kept = false;
        if (atRule && atName == "media" && depth < kMaxRuleDepth) {
            out += "@media ";
            kept = !overflow && Emit(prelude, Context::Media, out);
            out += " {\n";
            const std::size_t inner = out.size();
            Rules(out, depth + 1, true);
            kept = kept && out.size() > inner;
            out += "}\n";
        } else if (!atRule) {
            kept = !overflow && Emit(prelude, Context::Selector, out);
            out += " { ";
            const std::size_t inner = out.size();
            Declarations(out, inner, true);
            kept = kept && out.size() > inner;
            out += " }\n";
        } else {
            SkipBlock();  // @font-face, @page, @keyframes, ...: they go whole
        }
        if (!kept)
            out.resize(start);
    }
}

} // namespace

std::string SanitizeStyleSheet(std::string_view css)
{
    std::string out;
    Parser(css).Rules(out, 0, false);
    return out;
}

std::string SanitizeInlineStyle(std::string_view declarations)
{
    std::string out;
    Parser(declarations).Declarations(out, 0, false);
    return out;
}

} // namespace render
