#pragma once
// Splits CSS into tokens the way a browser does: comments go, escapes are
// resolved into the tokens' values, and "u\72l(" is a url token like
// "url(". Never fails and never looks back, so it runs in time linear in
// the input.

#include <algorithm>
#include <string>
#include <string_view>

namespace render {

struct CssToken {
    enum class Kind {
        Ident, Function, AtKeyword, Hash, String, BadString, Url, BadUrl, Delim,
        Number, Percentage, Dimension, Whitespace, Cdo, Cdc,
        Colon, Semicolon, Comma, OpenSquare, CloseSquare, OpenParen, CloseParen, OpenCurly, CloseCurly,
    };
    Kind kind = Kind::Delim;
    // Ident, Function (without "("), AtKeyword and Hash (without "@"/"#"),
    // String and Url: the unescaped text. Number, Percentage, Dimension: the
    // number as written. Delim: the character.
    std::string value;
    std::string unit;           // Dimension: the unescaped unit
    bool unterminated = false;  // String or Url cut off by the end of the input

    bool Is(Kind k, char c) const { return kind == k && value.size() == 1 && value[0] == c; }
    bool operator==(const CssToken&) const = default;
};

class CssTokenizer {
public:
    // Reads css with the input fixes browsers make first: CR, CR LF and FF
    // become LF, and NUL becomes U+FFFD (a replacement, so no two pieces of
    // text are joined by taking a byte out). css must outlive the tokenizer.
    explicit CssTokenizer(std::string_view css);
    CssTokenizer(const CssTokenizer&) = delete;
    CssTokenizer& operator=(const CssTokenizer&) = delete;

    // Reads the next token; false at the end of the input.
    bool Next(CssToken& token);

private:
    char At(std::size_t offset) const;
    bool StartsIdent(std::size_t at) const;
    bool StartsNumber(std::size_t at) const;
    bool ValidEscape(std::size_t at) const;
    void ConsumeEscape(std::string& out);
    void ConsumeName(std::string& out);
    void ConsumeNumeric(CssToken& token);
    void ConsumeIdentLike(CssToken& token);
    void ConsumeString(CssToken& token, char quote);
    void ConsumeUrl(CssToken& token);

    std::string fixed_;     // the input after those fixes, when it needed any
    std::string_view css_;  // what is read: the input itself, or fixed_
    std::size_t pos_ = 0;
};

// ASCII letters as CSS compares names: A-Z as a-z, nothing else changed.
inline char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c;
}

// True when `text` is `lower` (lower case) in any ASCII letter case.
inline bool EqualsNoCase(std::string_view text, std::string_view lower)
{
    return text.size() == lower.size() && std::equal(text.begin(), text.end(), lower.begin(),
                                                     [](char a, char b) { return LowerAscii(a) == b; });
}

} // namespace render
