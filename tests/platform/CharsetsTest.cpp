// The system's charset converters (iconv; on Windows the code pages and our
// own UTF-16/UTF-32 reader): the same text from both, by the same lenient
// rules; and Windows names as the program keeps them. Built on both systems
// with the same expectations.

#include "platform/Charsets.h"
#include "platform/Utf8.h"

#include <gtest/gtest.h>

#include <string>

TEST(Charsets, EveryConverterGivesTheSameTextByTheSameRules)
{
    using namespace std::string_literals;
    const std::string R = "\xEF\xBF\xBD";  // U+FFFD
    const struct {
        const char* charset;
        std::string bytes;
        std::string text;
    } cases[] = {
        // Legacy code pages (Wine has none for GB18030, ISO-2022 or HZ:
        // Windows and iconv do).
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
        // A lead byte cut off at the end is one mark; one without its trail
        // byte too, and the text goes on.
        {"shift_jis", "\x93\xFA\x93", "日" + R},
        {"euc-kr", "a\xC7", "a" + R},
        {"shift_jis", "\x93 \x93\xFA", R + " 日"},
        {"gbk", "\x81\x20x", R + " x"},
        // UTF-16 and UTF-32 unit by unit, as iconv reads them.
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
    for (const auto& c : cases) {
        std::string out = "<";
        ASSERT_TRUE(platform::ConvertToUtf8(c.bytes, c.charset, out)) << c.charset;
        EXPECT_EQ(out, "<" + c.text) << c.charset;
    }
    // Unknown charsets append nothing.
    std::string out = "kept";
    EXPECT_FALSE(platform::ConvertToUtf8("abc", "x-unheard-of", out));
    EXPECT_FALSE(platform::ConvertToUtf8("abc", "", out));
    EXPECT_EQ(out, "kept");
}

// --- Windows names: UTF-8 of their UTF-16 form ---------------------------------------

TEST(WideName, EveryUtf16NameComesBackUnchanged)
{
    const std::u16string names[] = {
        u"Inbox.dbx",
        u"Z\u00FCrich \u20AC \U0001D11E.dbx",  // a surrogate pair
        std::u16string(u"lone \xD800 high"),
        std::u16string(u"lone \xDC00 low"),
        std::u16string(u"reversed \xDC00\xD800"),
        std::u16string(u"at the end \xD83D"),
    };
    for (const std::u16string& name : names)
        EXPECT_EQ(platform::WideNameFromUtf8(platform::WideNameToUtf8(name)), name);
    // Valid UTF-16 gives plain UTF-8; a lone surrogate its own three bytes;
    // bytes that are no UTF-8 become replacement characters.
    EXPECT_EQ(platform::WideNameToUtf8(u"\u00FC\U0001D11E"), "\xC3\xBC\xF0\x9D\x84\x9E");
    EXPECT_EQ(platform::WideNameToUtf8(std::u16string(1, u'\xD800')), "\xED\xA0\x80");
    EXPECT_EQ(platform::WideNameFromUtf8("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(platform::WideNameFromUtf8("\xC3"), u"\uFFFD");
    EXPECT_EQ(platform::WideNameFromUtf8("\xED\xA0"), u"\uFFFD\uFFFD");
}
