// File names as Content-Type and Content-Disposition give them.

#include "mailtext/MimeParameters.h"

#include <gtest/gtest.h>

using mailtext::ParameterText;

TEST(MimeParameters, ReadsEveryFormMailProgramsWrite)
{
    const struct {
        const char* value;
        const char* name;
    } cases[] = {
        {"attachment; filename=\"a b.pdf\"", "a b.pdf"},
        {"attachment; FileName=plain.txt ; size=3", "plain.txt"},
        {"attachment;\r\n\tfilename=\"folded;name.txt\"", "folded;name.txt"},
        {"attachment; filename=\"esc\\\"aped.txt\"", "esc\"aped.txt"},
        {"attachment; filenamex=\"no\"; filename=\"yes\"", "yes"},
        {"attachment; filename=\"first\"; filename=\"second\"", "first"},
        {"attachment; filename", ""},
        {"attachment", ""},
        // RFC 2047 words, which Outlook Express wrote into parameters.
        {"attachment; filename=\"=?iso-8859-1?Q?M=E4rz.xls?=\"", "M\xC3\xA4rz.xls"},
        {"attachment; filename=\"=?koi8-r?B?8NLJ18XU?=.doc\"", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.doc"},
        // Raw 8-bit: the text rule.
        {"attachment; filename=\"Gr\xFC\xDF" "e.txt\"", "Gr\xC3\xBC\xC3\x9F" "e.txt"},
        // RFC 2231: charset, language, continuations in order, a character
        // split between two sections.
        {"attachment; filename*=iso-8859-1'de'M%E4rz.xls", "M\xC3\xA4rz.xls"},
        {"attachment; filename*1*=%A4rz.xls; filename*0*=utf-8''M%C3", "M\xC3\xA4rz.xls"},
        {"attachment; filename*0=\"long \"; filename*1=\"name.txt\"", "long name.txt"},
        {"attachment; filename*0=a; filename*2=c", "a"},  // the first one missing ends it
        {"attachment; filename*=utf-16''%00a%00b", "ab"},
        {"attachment; filename*=x-unknown''a%2Fb", "a/b"},
        {"attachment; filename=\"plain\"; filename*=utf-8''%C3%A9", "\xC3\xA9"},  // the extended form wins
        {"attachment; filename*99999*=x; filename*0*=''ok", "ok"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParameterText(c.value, "filename"), c.name) << c.value;
}

TEST(MimeParameters, AVeryLongEncodedNameKeepsItsEnding)
{
    std::string words;
    for (int i = 0; i < 200; ++i)
        words += "=?utf-8?Q?abcdefghij?=";
    const std::string name = ParameterText("attachment; filename=\"" + words + ".exe\"", "filename");
    EXPECT_EQ(name.substr(name.size() - 4), ".exe");
}
