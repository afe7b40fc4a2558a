#include "render/CssTokenizer.h"

#include "render/TextDecode.h"

#include <algorithm>
#include <cstdint>

namespace render {
namespace {

using Kind = CssToken::Kind;

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

// Letters, "_" and everything outside ASCII (bytes of UTF-8 sequences).
bool IsNameStart(char c)
{
    return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

bool IsName(char c)
{
    return IsNameStart(c) || IsDigit(c) || c == '-';
}

bool IsNonPrintable(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x08 || u == 0x0B || (u >= 0x0E && u <= 0x1F) || u == 0x7F;
}

} // namespace

CssTokenizer::CssTokenizer(std::string_view css) : css_(css)
{
    if (std::none_of(css.begin(), css.end(), [](char c) { return c == '\r' || c == '\f' || c == '\0'; }))
        return;
    fixed_.reserve(css.size());
    for (std::size_t i = 0; i < css.size(); ++i) {
        const char c = css[i];
        if (c == '\r') {
            fixed_ += '\n';
            if (i + 1 < css.size() && css[i + 1] == '\n')
                ++i;
        } else if (c == '\f') {
            fixed_ += '\n';
        } else if (c == '\0') {
            fixed_ += "\xEF\xBF\xBD";
        } else {
            fixed_ += c;
        }
    }
    css_ = fixed_;
}

char CssTokenizer::At(std::size_t offset) const
{
    return pos_ + offset < css_.size() ? css_[pos_ + offset] : '\0';
}

bool CssTokenizer::ValidEscape(std::size_t at) const
{
    return pos_ + at < css_.size() && css_[pos_ + at] == '\\' && At(at + 1) != '\n';
}

bool CssTokenizer::StartsIdent(std::size_t at) const
{
    const char c = At(at);
    if (c == '-')
        return (pos_ + at + 1 < css_.size() && (IsNameStart(At(at + 1)) || At(at + 1) == '-')) || ValidEscape(at + 1);
    return (pos_ + at < css_.size() && IsNameStart(c)) || ValidEscape(at);
}

bool CssTokenizer::StartsNumber(std::size_t at) const
{
    std::size_t k = at;
    if (At(k) == '+' || At(k) == '-')
        ++k;
    return IsDigit(At(k)) || (At(k) == '.' && IsDigit(At(k + 1)));
}

void CssTokenizer::ConsumeEscape(std::string& out)
{
    // pos_ is past the backslash.
    if (pos_ >= css_.size()) {
        AppendUtf8(out, 0xFFFD);
        return;
    }
    if (!IsHex(css_[pos_])) {
        out += css_[pos_++];  // the rest of a UTF-8 sequence follows as name bytes
        return;
    }
    std::uint32_t cp = 0;
    for (int k = 0; k < 6 && pos_ < css_.size() && IsHex(css_[pos_]); ++k, ++pos_) {
        const char c = css_[pos_];
        cp = cp * 16 + static_cast<std::uint32_t>(IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    if (pos_ < css_.size() && IsSpace(css_[pos_]))
        ++pos_;
    AppendUtf8(out, cp);
}

void CssTokenizer::ConsumeName(std::string& out)
{
    while (pos_ < css_.size()) {
        if (IsName(css_[pos_])) {
            const std::size_t start = pos_;
            while (pos_ < css_.size() && IsName(css_[pos_]))
                ++pos_;
            out.append(css_.substr(start, pos_ - start));
        } else if (ValidEscape(0)) {
            ++pos_;
            ConsumeEscape(out);
        } else {
            return;
        }
    }
}

void CssTokenizer::ConsumeNumeric(CssToken& token)
{
    const std::size_t start = pos_;
    if (At(0) == '+' || At(0) == '-')
        ++pos_;
    while (IsDigit(At(0)))
        ++pos_;
    if (At(0) == '.' && IsDigit(At(1))) {
        pos_ += 2;
        while (IsDigit(At(0)))
            ++pos_;
    }
    if ((At(0) | 0x20) == 'e' && (IsDigit(At(1)) || ((At(1) == '+' || At(1) == '-') && IsDigit(At(2))))) {
        pos_ += 2;
        while (IsDigit(At(0)))
            ++pos_;
    }
    token.value.assign(css_.substr(start, pos_ - start));
    if (StartsIdent(0)) {
        token.kind = Kind::Dimension;
        ConsumeName(token.unit);
    } else if (At(0) == '%' && pos_ < css_.size()) {
        token.kind = Kind::Percentage;
        ++pos_;
    } else {
        token.kind = Kind::Number;
    }
}

void CssTokenizer::ConsumeIdentLike(CssToken& token)
{
    ConsumeName(token.value);
    if (pos_ >= css_.size() || css_[pos_] != '(') {
        token.kind = Kind::Ident;
        return;
    }
    ++pos_;
    if (!EqualsNoCase(token.value, "url")) {
        token.kind = Kind::Function;
        return;
    }
    std::size_t k = 0;
    while (IsSpace(At(k)) && pos_ + k < css_.size())
        ++k;
    if (At(k) == '"' || At(k) == '\'') {
        token.kind = Kind::Function;  // url("..."): the string is a token of its own
        return;
    }
    pos_ += k;
    ConsumeUrl(token);
}

void CssTokenizer::ConsumeString(CssToken& token, char quote)
{
    token.kind = Kind::String;
    while (pos_ < css_.size()) {
        const char c = css_[pos_];
        if (c == quote) {
            ++pos_;
            return;
        }
        if (c == '\n') {
            token.kind = Kind::BadString;  // the line break starts the next token
            return;
        }
        ++pos_;
        if (c != '\\') {
            token.value += c;
        } else if (pos_ < css_.size() && css_[pos_] == '\n') {
            ++pos_;  // an escaped line break continues the string
        } else if (pos_ < css_.size()) {
            ConsumeEscape(token.value);
        }
    }
    token.unterminated = true;
}

void CssTokenizer::ConsumeUrl(CssToken& token)
{
    // pos_ is after "url(" and the white space after it.
    token.kind = Kind::Url;
    token.value.clear();
    while (pos_ < css_.size()) {
        const char c = css_[pos_];
        if (c == ')') {
            ++pos_;
            return;
        }
        if (IsSpace(c)) {
            while (pos_ < css_.size() && IsSpace(css_[pos_]))
                ++pos_;
            if (pos_ < css_.size() && css_[pos_] == ')') {
                ++pos_;
                return;
            }
            if (pos_ >= css_.size())
                break;
            token.kind = Kind::BadUrl;
        } else if (c == '"' || c == '\'' || c == '(' || IsNonPrintable(c)) {
            token.kind = Kind::BadUrl;
            ++pos_;
        } else if (c == '\\') {
            if (ValidEscape(0)) {
                ++pos_;
                ConsumeEscape(token.value);
            } else {
                token.kind = Kind::BadUrl;
                ++pos_;
            }
        } else {
            token.value += c;
            ++pos_;
        }
        if (token.kind == Kind::BadUrl) {
            // The rest up to ")" belongs to the bad url, escaped ")" included.
            while (pos_ < css_.size() && css_[pos_] != ')')
                pos_ += ValidEscape(0) && pos_ + 1 < css_.size() ? 2 : 1;
            if (pos_ < css_.size())
                ++pos_;
            token.value.clear();
            return;
        }
    }
    token.unterminated = true;
}

bool CssTokenizer::Next(CssToken& token)
{
    token.value.clear();
    token.unit.clear();
    token.unterminated = false;
    for (;;) {
        if (pos_ >= css_.size())
            return false;
        if (css_.compare(pos_, 2, "/*") != 0)
            break;
        const std::size_t end = css_.find("*/", pos_ + 2);
        pos_ = end == std::string_view::npos ? css_.size() : end + 2;
    }
    const char c = css_[pos_];
    const auto single = [&](Kind kind) {
        token.kind = kind;
        token.value.assign(1, c);
        ++pos_;
        return true;
    };
    if (IsSpace(c)) {
        while (pos_ < css_.size() && IsSpace(css_[pos_]))
            ++pos_;
        token.kind = Kind::Whitespace;
        token.value += ' ';
        return true;
    }
    if (c == '"' || c == '\'') {
        ++pos_;
        ConsumeString(token, c);
        return true;
    }
    if (IsDigit(c) || ((c == '+' || c == '-' || c == '.') && StartsNumber(0))) {
        ConsumeNumeric(token);
        return true;
    }
    if (c == '#' && pos_ + 1 < css_.size() && (IsName(css_[pos_ + 1]) || ValidEscape(1))) {
        ++pos_;
        token.kind = Kind::Hash;
        ConsumeName(token.value);
        return true;
    }
    if (c == '-' && At(1) == '-' && At(2) == '>') {
        pos_ += 3;
        token.kind = Kind::Cdc;
        token.value += "-->";
        return true;
    }
    if (c == '<' && css_.compare(pos_ + 1, 3, "!--") == 0) {
        pos_ += 4;
        token.kind = Kind::Cdo;
        token.value += "<!--";
        return true;
    }
    if (c == '@' && StartsIdent(1)) {
        ++pos_;
        token.kind = Kind::AtKeyword;
        ConsumeName(token.value);
        return true;
    }
    if (StartsIdent(0)) {
        ConsumeIdentLike(token);
        return true;
    }
    switch (c) {
    case ':': return single(Kind::Colon);
    case ';': return single(Kind::Semicolon);
    case ',': return single(Kind::Comma);
    case '[': return single(Kind::OpenSquare);
    case ']': return single(Kind::CloseSquare);
    case '(': return single(Kind::OpenParen);
    case ')': return single(Kind::CloseParen);
    case '{': return single(Kind::OpenCurly);
    case '}': return single(Kind::CloseCurly);
    default: return single(Kind::Delim);
    }
}

} // namespace render
