// The system's charset converters (iconv; on Windows the code pages and our
// own UTF-16/UTF-32 reader): the same text from both, by the same lenient
// rules. Built on both systems with the same expectations.

#include "platform/Charsets.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string R = "\xEF\xBF\xBD";  // U+FFFD

struct Case {
    const char* charset;
    std::string bytes;
    std::string text;
};

template <std::size_t N>
void ExpectTexts(const Case (&cases)[N])
{
    for (const Case& c : cases) {
        std::string out = "<";
        ASSERT_TRUE(platform::ConvertToUtf8(c.bytes, c.charset, out)) << c.charset;
        EXPECT_EQ(out, "<" + c.text) << c.charset;
    }
}

} // namespace

// Wine has no GB18030, ISO-2022 or HZ code page: Windows and iconv do.
TEST(Charsets, LegacyCodePagesGiveTheSameText)
{
    const Case cases[] = {
        {"koi8-r", "\xF4\xC5\xD3\xD4", "Тест"},
        {"windows-1251", "\xD2\xE5\xF1\xF2", "Тест"},
        {"cp1251", "\xD2\xE5\xF1\xF2", "Тест"},
        {"iso-8859-2", "\xA3\xF3\x64\xBC", "Łódź"},
        {"ISO-8859-7", "\xC1\xE8\xDE\xED\xE1", "Αθήνα"},
        {"iso-8859-15", "\xA4uro", "€uro"},
        {"windows-1255", "\xF9\xEC\xE5\xED", "שלום"},
        {"ibm866", "\x92\xA5\xE1\xE2", "Тест"},
        {"shift_jis", "\x93\xFA\x96\x7B", "日本"},
        {"euc-jp", "\xC6\xFC\xCB\xDC", "日本"},
        {"euc-kr", "\xC7\xD1\xB1\xB9", "한국"},
        {"gbk", "\xD6\xD0\xCE\xC4", "中文"},
        {"big5", "\xA4\xA4\xA4\xE5", "中文"},
    };
    ExpectTexts(cases);
}

TEST(Charsets, BadBytesBecomeReplacementMarksAndTheRestStays)
{
    const Case cases[] = {
        // A lead byte cut off at the end is one mark.
        {"shift_jis", "\x93\xFA\x93", "日" + R},
        {"euc-kr", "a\xC7", "a" + R},
        // A lead byte without its trail byte, and the text goes on.
        {"shift_jis", "\x93 \x93\xFA", R + " 日"},
        {"gbk", "\x81\x20x", R + " x"},
    };
    ExpectTexts(cases);
}

TEST(Charsets, Utf16AndUtf32ReadUnitByUnitAsIconvDoes)
{
    using namespace std::string_literals;
    const Case cases[] = {
        {"utf-16be", "\0A\xD8\x3D\xDE\0"s, "A\xF0\x9F\x98\x80"},
        {"utf-16le", "A\0\x3D\xD8\0\xDE"s, "A\xF0\x9F\x98\x80"},
        {"UTF-16", "\xFF\xFE" "A\0"s, "A"},               // the mark says the order and goes
        {"utf-16", "\xFE\xFF\0A"s, "A"},
        {"utf-16be", "\xFE\xFF\0A"s, "\xEF\xBB\xBF" "A"},  // no mark in a named order: text
        // A lone surrogate is a mark, and reading goes on one byte later.
        {"utf-16be", "\xDC\0\0A"s, R + "\0"s + R},
        {"utf-16be", "\xD8\0\0A\0B"s, R + "\0\xE4\x84\x80"s + R},
        // Cut off at the end: one mark.
        {"utf-16be", "\0A\0"s, "A" + R},
        {"utf-16be", "\xD8\x3D"s, R},
        {"utf-32be", "\0\0\0A\0\x01\xF6\0"s, "A\xF0\x9F\x98\x80"},
        {"utf-32le", "A\0\0\0"s, "A"},
        {"utf-32", "\0\0\xFE\xFF\0\0\0A"s, "A"},
        {"utf-32be", "\0\x11\0\0\0\0\0A"s, R + R + "\0"s + R},  // past U+10FFFF
        {"utf-32be", "\0\0\0A\0"s, "A" + R},
    };
    ExpectTexts(cases);
}

TEST(Charsets, UnknownCharsetsAppendNothing)
{
    std::string out = "kept";
    EXPECT_FALSE(platform::ConvertToUtf8("abc", "x-unheard-of", out));
    EXPECT_FALSE(platform::ConvertToUtf8("abc", "", out));
    EXPECT_EQ(out, "kept");
}
