#include "render/TextDecode.h"
#include "render/TextToHtml.h"

#include <gtest/gtest.h>

using render::DecodeText;
using render::PlainTextToHtml;
using render::ToDisplayUtf8;

// ---- charsets

TEST(TextDecode, DeclaredCharsetsDecode)
{
    EXPECT_EQ(DecodeText("\xcf\xf0\xe8\xe2\xe5\xf2", "windows-1251"), "Привет");
    EXPECT_EQ(DecodeText("\xcf\xf0\xe8\xe2\xe5\xf2", "CP1251"), "Привет");
    EXPECT_EQ(DecodeText("\xf0\xd2\xc9\xd7\xc5\xd4", "KOI8-R"), "Привет");
    EXPECT_EQ(DecodeText("\x80 caf\xe9", "iso-8859-1"), "€ café");  // read as Windows-1252, as mailers do
    EXPECT_EQ(DecodeText("\x93\xfa\x96\x7b", "shift_jis"), "日本");
    // A byte-order mark speaks for its own text only; without one, big-endian.
    using namespace std::string_view_literals;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(DecodeText("\xFE\xFF\0A"sv, "UTF-16"), "A");
        EXPECT_EQ(DecodeText("\0B"sv, "utf-16"), "B");
        EXPECT_EQ(DecodeText("\xFF\xFE" "A\0"sv, "UTF-16"), "A");
    }
}

TEST(TextDecode, BadBytesInADeclaredCharsetDoNotLoseTheRest)
{
    EXPECT_EQ(DecodeText("ok \xff\xfe still ok", "utf-8"), "ok \xEF\xBF\xBD\xEF\xBF\xBD still ok");
    EXPECT_EQ(DecodeText("\x93\xfa\x96", "shift_jis"), "日\xEF\xBF\xBD");  // cut inside a character
    EXPECT_EQ(DecodeText("caf\xc3\xa9 \xe2\x82", "utf-8"), "café ");  // cut inside a character
}

TEST(TextDecode, NoOrUnusableCharsetFollowsTheTextRule)
{
    EXPECT_EQ(DecodeText("caf\xc3\xa9", ""), "café");
    EXPECT_EQ(DecodeText("caf\xe9", "us-ascii"), "café");
    EXPECT_EQ(DecodeText("caf\xe9", "x-no-such-charset"), "café");
    // The five bytes Windows-1252 leaves undefined map to C1 code points.
    EXPECT_EQ(ToDisplayUtf8("\x81\x8d\x8f\x90\x9d"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    // A UTF-8 text cut inside its last character is still UTF-8 ...
    EXPECT_EQ(ToDisplayUtf8("d\xc3\xa9j\xc3\xa0 \xe2\x80"), "déjà ");
    // ... but a Windows-1252 text ending in a letter keeps it.
    EXPECT_EQ(ToDisplayUtf8("caf\xe9"), "café");
}

// ---- plain text to HTML

TEST(TextToHtml, LinksAreFoundAndTheirEndsAreRight)
{
    EXPECT_EQ(PlainTextToHtml("see http://example.com/x."),
              "see <a href=\"http://example.com/x\">http://example.com/x</a>.");
    EXPECT_EQ(PlainTextToHtml("(www.example.com/a_(b))"),
              "(<a href=\"http://www.example.com/a_(b)\">www.example.com/a_(b)</a>)");
    EXPECT_EQ(PlainTextToHtml("<mailto:joe@example.com>, \"https://x.org/?q=a&b\""),
              "&lt;<a href=\"mailto:joe@example.com\">mailto:joe@example.com</a>&gt;, "
              "&quot;<a href=\"https://x.org/?q=a&amp;b\">https://x.org/?q=a&amp;b</a>&quot;");
    // Not inside a word, and not a bare prefix.
    EXPECT_EQ(PlainTextToHtml("xhttp://a.b http:// www."), "xhttp://a.b http:// www.");
}

TEST(TextToHtml, EscapesMarkupAndDropsControlCharacters)
{
    EXPECT_EQ(PlainTextToHtml("<b>&'\r\n\t\x01\x7f"), "&lt;b&gt;&amp;&#39;\n\t");
}

TEST(TextToHtml, EndlessWordsGetPlacesToBreakAndTagsStayWhole)
{
    const std::string zwsp = "\xE2\x80\x8B";
    const std::string word(700, 'x');
    EXPECT_EQ(render::BreakLongWords(word), std::string(300, 'x') + zwsp + std::string(300, 'x') + zwsp
                                                + std::string(100, 'x'));
    // A reference or a character counts once and is never split; spaces
    // reset the count; tags are left alone.
    const std::string mixed = "<a href=\"" + word + "\">" + std::string(299, 'y') + "&amp;" + "\xC3\xA9" + " z</a>";
    EXPECT_EQ(render::BreakLongWords(mixed),
              "<a href=\"" + word + "\">" + std::string(299, 'y') + "&amp;" + zwsp + "\xC3\xA9" + " z</a>");
}
