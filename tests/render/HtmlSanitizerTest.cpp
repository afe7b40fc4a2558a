#include "render/HtmlSanitizer.h"

#include "VisibleText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using render::SanitizeHtml;
using ::testing::HasSubstr;

namespace {

std::string SanitizedBody(std::string_view html)
{
    return SanitizeHtml(html).body;
}

} // namespace

// ---- what could run or fetch goes

TEST(HtmlSanitizer, DropsActiveElementsAndKeepsFallbackText)
{
    const std::string out = SanitizedBody(
        "<script>bad()</script><SCRIPT src=x.js></SCRIPT><iframe src=a>in frame</iframe>"
        "<object data=x.swf>object fallback</object><embed src=x.swf><applet>applet text</applet>"
        "<form action=http://x/><input name=q><button>Go</button></form>"
        "<meta http-equiv=refresh content=0><base href=http://x/><link rel=stylesheet href=a.css>"
        "<noscript>no script</noscript><title>title text</title>");
    EXPECT_EQ(out, "object fallbackapplet textGono script");
}

TEST(HtmlSanitizer, RemovesHandlersAndScriptLinksHoweverWritten)
{
    const std::string out = SanitizedBody(
        "<a href=\"javascript:x()\">1</a><a href=\" JaVa&#x09;Script&colon;x()\">2</a>"
        "<a href=\"jav&#97;script:x()\">3</a><a href=vbscript:x>4</a><a href=\"data:text/html,x\">5</a>"
        "<p onclick=x() ONMOUSEOVER='y()' style=\"color:red\">6</p>"
        "<a href=\"http://example.com/?a=1&amp;b=2\" target=_blank>7</a><a href=\"#top\" name=n>8</a>");
    EXPECT_EQ(out, "<a>1</a><a>2</a><a>3</a><a>4</a><a>5</a><p style=\"color:red\">6</p>"
                   "<a href=\"http://example.com/?a=1&amp;b=2\">7</a><a href=\"#top\" name=\"n\">8</a>");
}

TEST(HtmlSanitizer, ShowsOnlyImagesFromTheMessageItself)
{
    const std::string out = SanitizedBody(
        "<img src=\"cid:part1@x\" width=10><img src=\"data:image/png;base64,iVBO\">"
        "<img src=\"http://tracker/p.gif\" alt=\"Company logo\"><img src=\"https://t/1.gif\" width=1>"
        "<img src=\"file:///etc/passwd\" alt=\"f\"><img alt=\"none\"><img src=\"data:text/html;base64,PA\">"
        "<table background=\"http://x/bg.gif\"><tr><td background=\"cid:bg\">c</td></tr></table>");
    // Pictures of the message stay; others show their alt text, remote backgrounds go.
    EXPECT_EQ(out, "<img src=\"cid:part1@x\" width=\"10\"><img src=\"data:image/png;base64,iVBO\">"
                   "[Company logo][f][none]<table><tr><td background=\"cid:bg\">c</td></tr></table>");
}

TEST(HtmlSanitizer, StylesKeepTheirLooksButLoadNothing)
{
    const auto clean = SanitizeHtml(
        "<style>@import url(http://x/a.css); @import 'b.css';\n"
        "body { color: #333; background: url('http://x/bg.png') } .a { background-image: url(cid:bg1) }\n"
        "p { width: expression(alert(1)); -moz-binding: url(x.xml#y) } q { background: u\\72l(http://x/e) }"
        "</style><style>x</style><p style=\"background:url(http://x/t.gif); color: blue\">t</p>");
    // Imports, remote URLs and rules left empty go.
    EXPECT_EQ(clean.styleSheet, "body { color: #333; background: none }\n.a { background-image: url(cid:bg1) }\n"
                                "q { background: none }\n\n\n");
    EXPECT_EQ(clean.body, "<p style=\"background:none; color: blue\">t</p>");
}

// ---- attribute values: references are decoded once, before the check, and
// the value checked is the value written

TEST(HtmlSanitizer, AttributeValuesAreCheckedAsTheBrowserReadsThem)
{
    const struct {
        std::string_view input;
        std::string_view expected;
    } cases[] = {
        {"<p style=\"background:&#117;rl(http://x)\">", "<p style=\"background:none\">"},
        {"<p style=\"background:u&#x72;l(cid:a@x)\">", "<p style=\"background:url(cid:a@x)\">"},
        {"<p style=\"background:url&lpar;http://x&rpar;\">", "<p style=\"background:none\">"},
        {"<p style=\"background:ur&#0;l(http://x)\">", "<p>"},
        {"<p style=\"background:url&amp;lpar;http://x/)\">", "<p>"},
        {"<p style=\"background:url&bsol;28http://x/)\">", "<p>"},
        {"<p style=\"font-family:&quot;a&quot;\">", "<p style=\"font-family:&quot;a&quot;\">"},
        {"<div style= background:ur<<<<<<<<l(c>x", "<div>"},
        {"<p title=\"&amp;lt;b&amp;gt; &eacute; &#x26;\">", "<p title=\"&amp;lt;b&amp;gt; &eacute; &amp;\">"},
        // a URL loses only what a browser's URL parser drops: no scheme is made by taking spaces out
        {"<a href=\"ht tp://x\">", "<a>"},
        {"<a href=\"java&#1;script:x\">", "<a>"},
        {"<a href=\" jav&#x09;ascript:x\">", "<a>"},
        {"<a href=\"&#1; http://x/a b&#10;c&amp;d \">", "<a href=\"http://x/a%20bc&amp;d\">"},
    };
    for (const auto& c : cases) {
        std::string body = SanitizedBody(c.input);
        body.resize(body.find('>') + 1);
        EXPECT_EQ(body, c.expected) << c.input;
    }
}

// ---- the output is well-formed whatever the input

TEST(HtmlSanitizer, ClosesWhatItOpensAndLetsTextThroughEscaped)
{
    using namespace std::string_view_literals;
    const struct {
        std::string_view input;
        std::string_view expected;
    } cases[] = {
        {"<div><b>bold <i>both</div> after</b></i></p>", "<div><b>bold <i>both</i></b></div> after"},
        {"<ul><li>one<li>two</ul>", "<ul><li>one</li><li>two</li></ul>"},
        {"<table><tr><td>a<td>b<tr><td>c</table>", "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>"},
        // an end tag inside a cell does not close what is outside the table
        {"<b><table><tr><td>x</b>y</td></tr></table>z</b>", "<b><table><tr><td>xy</td></tr></table>z</b>"},
        // text, and odd markup made harmless
        {"a < b && c > d &amp; &eacute;", "a &lt; b && c &gt; d &amp; &eacute;"},
        {"x<!-- <script>hidden</script> -->y<!DOCTYPE html><?xml x?></ >z", "xyz"},
        {"<p title=\"a&quot;b\">t</p>", "<p title=\"a&quot;b\">t</p>"},
        {"<p title=\"x\" title=\"y\" class=c>t", "<p title=\"x\" class=\"c\">t</p>"},
        {"text <b title=\"never closed", "text "},  // a tag cut off by the end goes
        {"<textarea><b>shown as text</b></textarea>", "&lt;b&gt;shown as text&lt;/b&gt;"},
        {"a\0b\x01" "c"sv, "abc"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SanitizedBody(c.input), c.expected) << c.input;
}

TEST(HtmlSanitizer, DeepNestingIsBounded)
{
    std::string tables, divs;
    for (int i = 0; i < 50; ++i)
        tables += "<table><tr><td>";
    for (int i = 0; i < 5000; ++i)
        divs += "<div>";
    const std::string t = SanitizedBody(tables + "deep");
    EXPECT_EQ(Count(t, "<table>"), 8u);
    EXPECT_THAT(t, HasSubstr("deep"));
    std::string rows = "<table>";
    for (int i = 0; i < 30000; ++i)
        rows += "<tr><td>cell";
    const std::string r = SanitizedBody(rows);
    EXPECT_EQ(Count(r, "<td>"), 20000u);  // the rest of the text stays, without the table around it
    EXPECT_THAT(r, HasSubstr("cellcell"));

    const std::string d = SanitizedBody(divs + "deep");
    EXPECT_LE(std::count(d.begin(), d.end(), '<'), 2 * 200);
    EXPECT_THAT(d, HasSubstr("deep"));
}
