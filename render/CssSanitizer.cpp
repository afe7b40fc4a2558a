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

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c;
}

std::string Lower(std::string_view text)
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
    return url.size() > 4 && Lower(url.substr(0, 4)) == "cid:"
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

// The text as bytes: nothing that could hide a word from a reader that
// does not resolve escapes and comments, and none of the words themselves.
bool HasOnlyPlainBytes(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\\' || c == '<' || c == '&')
            return false;
    const std::string lower = Lower(text);
    for (const std::string_view word : {"/*", "expression", "javascript", "vbscript", "behavior", "binding",
                                        "@import", "image-set", "src("})
        if (lower.find(word) != std::string::npos)
            return false;
    for (std::size_t at = lower.find("url("); at != std::string::npos; at = lower.find("url(", at + 4))
        if (lower.compare(at + 4, 4, "cid:") != 0)
            return false;
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
        const std::string name = Lower(t.value);
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

// True when the tokens of a declaration, read back from its text, are
// "name:value" with an allowed name and value, and "!important" at most at
// the end.
bool IsAllowedDeclaration(const Tokens& tokens)
{
    if (tokens.size() < 3 || tokens[0].kind != Kind::Ident || !IsAllowedProperty(tokens[0].value)
        || tokens[1].kind != Kind::Colon)
        return false;
    std::size_t end = tokens.size();
    if (end >= 5 && tokens[end - 1] == Token(Kind::Ident, "important") && tokens[end - 2].Is(Kind::Delim, '!')
        && tokens[end - 3].kind == Kind::Whitespace)
        end -= 3;
    std::vector<Kind> open;
    for (std::size_t i = 2; i < end; ++i)
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

// Writes the tokens out and appends the text to `out` only when the text
// passes the checks: read back, it gives exactly `tokens`, and those are
// allowed in `context`. The checks run on the text, not on the tokens it
// was made from, so that no joining of neighbours can slip through.
bool Emit(const Tokens& tokens, Context context, std::string& out)
{
    std::string text;
    Serialise(tokens, text);
    if (!HasOnlyPlainBytes(text))
        return false;
    Tokens reread;
    CssTokenizer tokenizer(text);
    for (CssToken t; tokenizer.Next(t);) {
        if (reread.size() == tokens.size() || !(t == tokens[reread.size()]))
            return false;
        reread.push_back(t);
    }
    if (reread.size() != tokens.size())
        return false;
    if (context == Context::Declaration ? !IsAllowedDeclaration(reread) : !IsAllowedPrelude(reread, context))
        return false;
    out += text;
    return true;
}

// The tokens without white space at either end, and runs of it (left where
// a comment stood between spaces) as one.
Tokens Trimmed(Tokens tokens)
{
    Tokens out;
    out.reserve(tokens.size());
    for (CssToken& t : tokens)
        if (t.kind != Kind::Whitespace || (!out.empty() && out.back().kind != Kind::Whitespace))
            out.push_back(std::move(t));
    if (!out.empty() && out.back().kind == Kind::Whitespace)
        out.pop_back();
    return out;
}

// The value with url() resolved: a reference to a part of the message
// stays (written plainly), any other becomes "none". False when a url() is
// malformed or cut off: the declaration then goes.
bool ResolveUrls(Tokens& value)
{
    Tokens out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        CssToken t = std::move(value[i]);
        if (t.kind == Kind::Function && Lower(t.value) == "url") {
            // url("..."): a string and nothing else inside.
            std::size_t k = i + 1;
            if (k < value.size() && value[k].kind == Kind::Whitespace)
                ++k;
            if (k >= value.size() || value[k].kind != Kind::String)
                return false;
            const bool unterminated = value[k].unterminated;
            t = Token(Kind::Url, std::move(value[k].value));
            t.unterminated = unterminated;
            if (++k < value.size() && value[k].kind == Kind::Whitespace)
                ++k;
            if (k >= value.size() || value[k].kind != Kind::CloseParen)
                return false;
            i = k;
        }
        if (t.kind == Kind::Url) {
            if (t.unterminated)
                return false;
            t = t.value.size() > 4 && Lower(t.value.substr(0, 4)) == "cid:" ? Token(Kind::Url, EncodeCid(t.value))
                                                                             : Token(Kind::Ident, "none");
        }
        out.push_back(std::move(t));
    }
    value = std::move(out);
    return true;
}

// Appends one declaration ("name: value") made from its tokens, if it may stay.
void EmitDeclaration(Tokens unit, std::string& out)
{
    Tokens tokens = Trimmed(std::move(unit));
    if (tokens.size() < 3 || tokens[0].kind != Kind::Ident)
        return;
    tokens[0].value = Lower(tokens[0].value);
    std::size_t colon = 1;
    if (tokens[colon].kind == Kind::Whitespace)
        ++colon;
    if (colon >= tokens.size() || tokens[colon].kind != Kind::Colon || !IsAllowedProperty(tokens[0].value))
        return;
    const bool spaced = colon + 1 < tokens.size() && tokens[colon + 1].kind == Kind::Whitespace;
    Tokens value(std::make_move_iterator(tokens.begin() + static_cast<std::ptrdiff_t>(colon + 1)),
                 std::make_move_iterator(tokens.end()));
    value = Trimmed(std::move(value));
    // "! important", any case, at the end.
    bool important = false;
    if (value.size() >= 2 && value.back().kind == Kind::Ident && Lower(value.back().value) == "important") {
        std::size_t bang = value.size() - 2;
        if (value[bang].kind == Kind::Whitespace && bang > 0)
            --bang;
        if (value[bang].Is(Kind::Delim, '!')) {
            important = true;
            value.resize(bang);
            value = Trimmed(std::move(value));
        }
    }
    if (value.empty() || !ResolveUrls(value))
        return;

    Tokens declaration;
    declaration.reserve(value.size() + 6);
    declaration.push_back(std::move(tokens[0]));
    declaration.push_back(Token(Kind::Colon, ":"));
    if (spaced)
        declaration.push_back(Token(Kind::Whitespace, " "));
    std::move(value.begin(), value.end(), std::back_inserter(declaration));
    if (important) {
        declaration.push_back(Token(Kind::Whitespace, " "));
        declaration.push_back(Token(Kind::Delim, "!"));
        declaration.push_back(Token(Kind::Ident, "important"));
    }
    std::string text;
    if (Emit(declaration, Context::Declaration, text)) {
        if (!out.empty())
            out += "; ";
        out += text;
    }
}

// Reads rules and declarations from a token stream, one unit at a time.
class Parser {
public:
    explicit Parser(std::string_view css) : tokenizer_(css) {}

    // Rules up to the end of the input, or (inBlock) up to the "}" that
    // closes the block they stand in.
    void Rules(std::string& out, int depth, bool inBlock);

    // Declarations, "; "-joined, up to the end or (inBlock) the "}" of
    // their block.
    void Declarations(std::string& out, bool inBlock);

private:
    enum class End { Semicolon, Block, BlockEnd, Input };

    bool Read(CssToken& token);
    void Unread(CssToken token)
    {
        pending_ = std::move(token);
        hasPending_ = true;
    }

    // Reads component values into `unit` (when given; the first
    // kMaxUnitTokens, `overflow` set if there were more) up to a ";" or "{"
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
            if (unit->size() < kMaxUnitTokens)
                unit->push_back(std::move(t));
            else
                overflow = true;
        }
    }
    return End::Input;
}

void Parser::Declarations(std::string& out, bool inBlock)
{
    CssToken t;
    while (Read(t)) {
        if (t.kind == Kind::Whitespace || t.kind == Kind::Semicolon)
            continue;
        if (t.kind == Kind::CloseCurly && inBlock)
            return;
        // An at-rule among declarations ends at its ";" or block; it never stays.
        const bool atRule = t.kind == Kind::AtKeyword;
        Tokens unit;
        bool overflow = false;
        if (!atRule)
            Unread(std::move(t));
        const End end = Collect(atRule ? nullptr : &unit, true, atRule, inBlock, overflow);
        if (end == End::Block)
            SkipBlock();
        else if (!atRule && !overflow)
            EmitDeclaration(std::move(unit), out);
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
        const std::string atName = atRule ? Lower(t.value) : std::string();
        if (!atRule)
            Unread(std::move(t));
        Tokens prelude;
        bool overflow = false;
        const End end = Collect(&prelude, atRule, true, inBlock, overflow);
        if (end == End::BlockEnd)
            return;
        if (end != End::Block)
            continue;  // a statement at-rule (@import, @charset), or a rule cut off: none stay
        prelude = Trimmed(std::move(prelude));
        std::string inner;
        std::string head;
        if (atRule && atName == "media" && depth < kMaxRuleDepth) {
            Rules(inner, depth + 1, true);
            head = "@media ";
            if (!inner.empty() && !overflow && Emit(prelude, Context::Media, head))
                out += head + " {\n" + inner + "}\n";
        } else if (!atRule) {
            Declarations(inner, true);
            if (!inner.empty() && !overflow && Emit(prelude, Context::Selector, head))
                out += head + " { " + inner + " }\n";
        } else {
            SkipBlock();  // @font-face, @page, @keyframes, ...: they go whole
        }
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
    Parser(declarations).Declarations(out, false);
    return out;
}

} // namespace render
