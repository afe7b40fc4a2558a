#pragma once
// Splits HTML into text, tags and raw-text contents. Forgiving like a
// browser: nothing in the input makes it fail, and it never backtracks, so it
// runs in time linear in the input.

#include <string>
#include <string_view>
#include <vector>

namespace render {

struct HtmlAttribute {
    std::string name;   // lower case
    std::string value;  // as written, character references not decoded
};

struct HtmlToken {
    enum class Kind {
        Text,      // text between tags, as written (references not decoded)
        RawText,   // the content of script, style, textarea and the like
        StartTag,
        EndTag,
    };
    Kind kind = Kind::Text;
    std::string_view text;  // Text and RawText
    std::string name;       // tags: the lower-case name; RawText: its element
    std::vector<HtmlAttribute> attributes;  // StartTag; the first of a name wins
    bool selfClosing = false;
};

class HtmlTokenizer {
public:
    explicit HtmlTokenizer(std::string_view html);

    // Reads the next token; false at the end of the input. Comments,
    // doctypes and processing instructions are skipped, and a tag cut off by
    // the end of the input is dropped, as browsers do.
    bool Next(HtmlToken& token);

    // True for elements whose content is not markup.
    static bool IsRawTextElement(std::string_view name);

private:
    bool ReadTag(HtmlToken& token);
    void SkipMarkupDeclaration();
    std::size_t FindRawTextEnd(std::string_view name) const;

    std::string_view html_;
    std::size_t pos_ = 0;
    std::string rawTextElement_;  // set after a start tag of a raw-text element
};

} // namespace render
