#include "render/CssSanitizer.h"

#include <gtest/gtest.h>

#include <string>

using render::SanitizeInlineStyle;
using render::SanitizeStyleSheet;

namespace {

struct CssCase {
    std::string_view input;
    std::string_view expected;
};

using namespace std::string_view_literals;

} // namespace

// ---- a style attribute: what stays, and every way of hiding what must not

TEST(CssSanitizer, InlineStylesKeepLooksAndLoseEverythingThatLoadsOrRuns)
{
    const CssCase cases[] = {
        // ordinary styles stay as written
        {"color: red; font-weight:bold", "color: red; font-weight:bold"},
        {"COLOR : Red ;; margin:0 auto !important", "color : Red; margin:0 auto !important"},
        {"color: red ! IMPORTANT; color:blue!important", "color: red ! IMPORTANT; color:blue!important"},
        {"color: !important; color", ""},
        {"font: 12px/1.4 \"Segoe UI\", Arial; color: rgb(1, 2, 3)", "font: 12px/1.4 \"Segoe UI\", Arial; color: rgb(1, 2, 3)"},
        {"font-family: \"a 'b' c\"", "font-family: \"a 'b' c\""},
        // url(): a part of the message stays, anything else is "none"
        {"background: #fff url(http://x/a.png) no-repeat", "background: #fff none no-repeat"},
        {"background: url( 'http://x/a.png' ); color: red", "background: none; color: red"},
        {"background-image: url(\"cid:logo@x\")", "background-image: url(cid:logo@x)"},
        {"background-image: url('cid:a b(c)')", "background-image: url(cid:a%20b%28c%29)"},
        {"background: url(cid:a'b)", ""},
        {"background: URL(javascript:alert)", "background: none"},
        {"background: url(javascript:alert(1))", ""},
        // the input that grew a url(): taking the "<" out joined "ur" and "l(c"
        {"background:ur<<<<<<<<l(c", ""},
        {"background:ur<l(cid:x)", ""},
        // escapes resolve as a browser resolves them, then the result is judged
        {"background: u\\72l(http://x/a)", "background: none"},
        {"background: \\75 rl(http://x/a)", "background: none"},
        {"background: \\55\\52\\4c(cid:x)", "background: url(cid:x)"},
        {"width: e\\78pression(alert(1))", ""},
        {"b\\65havior: url(x.htc)", ""},
        {"color: r\\65 d", "color: red"},
        // comments separate tokens: what they split never joins
        {"background: ur/**/l(http://x)", ""},
        {"background: ur/**/l(cid:x)", ""},
        {"background: url/**/(http://x)", ""},
        {"width: ex/**/pression(alert(1))", ""},
        {"color:/**/red", "color:red"},
        // NUL becomes U+FFFD, other control bytes stay what they are: nothing joins
        {"background: ur\0l(http://x)"sv, ""},
        {"background: ur\x01l(http://x)", ""},
        {"color: red\x7f", ""},
        // look-alikes are other characters, not the ASCII they resemble
        {"background: \xEF\xBD\x95\xEF\xBD\x92\xEF\xBD\x8C(http://x)", ""},
        {"width: \xEF\xBD\x85xpression(1)", ""},
        {"font-family: Caf\xC3\xA9", "font-family: Caf\xC3\xA9"},
        // script hooks and loaders in any spelling
        {"width: expression(alert(1)); color: red", "color: red"},
        {"behavior: url(x.htc); -moz-binding: url(x.xml#y)", ""},
        {"background-image: image-set(\"a.png\" 1x)", ""},
        {"background-image: -webkit-image-set(url(a.png) 1x)", ""},
        {"@import url(http://x/a.css); color: red", "color: red"},
        {"@media print { color: blue } color: red", "color: red"},
        {"color: javascript:alert(1)", ""},
        {"font-family: \"javascript:x\"", ""},
        {"font-family: \"url(x)\"", ""},
        {"background: url(cid:a@x)\"url(cid:b?c)\"", ""},
        {"content: \"x\"; position: fixed; cursor: url(x), auto", ""},
        // quotes and brackets that do not pair up take their declaration with them
        {"font-family: 'a \"b\" c'", ""},
        {"font-family: \"unterminated; color: red", ""},
        {"color: red\"; background: url(http://x)", ""},
        {"color: rgb(1,2,3; background: red", ""},
        {"color: rgb(1,2,3)); background: red", "background: red"},
        {"color: red}background: blue", ""},
        {"color: {red}", ""},
        {"font-family: \"a\nb; color: red", "color: red"},
    };
    for (const CssCase& c : cases)
        EXPECT_EQ(SanitizeInlineStyle(c.input), c.expected) << c.input;
}

TEST(CssSanitizer, LongValuesAreBoundedAndDoNotSpillIntoTheirNeighbours)
{
    std::string many = "font-family: a";
    for (int i = 0; i < 5000; ++i)
        many += ",a";
    EXPECT_EQ(SanitizeInlineStyle(many + "; color: red"), "color: red");
    const std::string longWord = "color: " + std::string(1 << 20, 'a');
    EXPECT_EQ(SanitizeInlineStyle(longWord), longWord);
    std::string deep = "width: calc(";
    for (int i = 0; i < 100; ++i)
        deep += "calc(";
    EXPECT_EQ(SanitizeInlineStyle(deep + "1px" + std::string(101, ')') + "; color: red"), "color: red");
}

// ---- a style sheet

TEST(CssSanitizer, StyleSheetsKeepAllowedRulesOnly)
{
    const CssCase cases[] = {
        {"p { color: red } a:hover, .x > b[title=\"t\"] { text-decoration: underline }",
         "p { color: red }\na:hover, .x > b[title=\"t\"] { text-decoration: underline }\n"},
        {"@import url(http://x/a.css); @import 'b.css'; p { color: red }", "p { color: red }\n"},
        {"@media (max-width: 600px) { .m { width: 100% !important } }",
         "@media (max-width: 600px) {\n.m { width: 100% !important }\n}\n"},
        {"@font-face { font-family: x; src: url(http://x/f.woff) } p { color: red }", "p { color: red }\n"},
        {"p { color: red; behavior: url(x.htc) } q { width: expression(alert(1)) }", "p { color: red }\n"},
        {"q { background: u\\72l(http://x/e) } r { background: url(cid:bg) }",
         "q { background: none }\nr { background: url(cid:bg) }\n"},
        {"<!-- p { color: red } -->", "p { color: red }\n"},
        {"p { color: red", "p { color: red }\n"},
        {"p { color: red }</style><script>alert(1)</script>", "p { color: red }\n"},
        {"p { font-family: \"</style><script>\" }", ""},
        {"a[href=url(x)] { color: red } p:x(y) { color: red } p { }", ""},
        {"p::after { content: url(http://x) } p:not(.a) { color: red }", "p:not(.a) { color: red }\n"},
        {"@media screen { @font-face { src: url(x) } p { color: red } }", "@media screen {\np { color: red }\n}\n"},
        {"@media scr/**/een, url(x) { p { color: red } }", ""},
        {"p/**/.a { color: red }", "p.a { color: red }\n"},
        {"p\\3c { color: red }", ""},
    };
    for (const CssCase& c : cases)
        EXPECT_EQ(SanitizeStyleSheet(c.input), c.expected) << c.input;

    std::string deep;
    for (int i = 0; i < 10; ++i)
        deep += "@media screen { ";
    EXPECT_EQ(SanitizeStyleSheet(deep + "p { color: red }" + std::string(10, '}') + " q { color: blue }"),
              "q { color: blue }\n");
}
