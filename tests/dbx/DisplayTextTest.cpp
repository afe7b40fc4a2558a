#include "dbx/DisplayText.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

using dbx::IsValidUtf8;
using dbx::ToDisplayUtf8;

TEST(DisplayText, ValidUtf8IsShownAsItIsAnythingElseAsWindows1252)
{
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {
        {"plain", "plain"},
        {"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x93\xA7", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x93\xA7"},
        {"Gr\xFC\xDF" "e", "Gr\xC3\xBC\xC3\x9F" "e"},
        {"\x80 \x93quoted\x94 \x81", "\xE2\x82\xAC \xE2\x80\x9Cquoted\xE2\x80\x9D \xC2\x81"},
        // A subject cut at the field limit in the middle of "é" is still
        // UTF-8 text, not Windows-1252 mojibake; a lone Windows-1252 letter
        // at the end is kept.
        {"Gr\xC3\xBC\xC3\x9F" "e caf\xC3", "Gr\xC3\xBC\xC3\x9F" "e caf"},
        {"caf\xE9", "caf\xC3\xA9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToDisplayUtf8(c.text), c.shown) << c.text;
    EXPECT_EQ(dbx::RepairUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
}

TEST(DisplayText, RejectsMalformedUtf8)
{
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong slash
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // cut short
    EXPECT_FALSE(IsValidUtf8("\xBF"));              // lone continuation
    EXPECT_TRUE(IsValidUtf8(""));
    // Mostly ASCII with sequences, whole or broken, at any place: valid
    // exactly where repairing changes nothing.
    const char* const pieces[] = {"a",    "abcdefgh", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x93\xA7",
                                  "\xC3", "\xBF",      "\xED\xA0\x80"};
    std::mt19937 random(3);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (int k = static_cast<int>(random() % 12); k > 0; --k)
            text += pieces[random() % 3 == 0 ? random() % std::size(pieces) : random() % 2];
        ASSERT_EQ(IsValidUtf8(text), dbx::RepairUtf8(text) == text) << testing::PrintToString(text);
    }
}

TEST(DisplayText, PathsAreShownOneComponentAtATime)
{
    const struct {
        const char* path;
        const char* shown;
    } cases[] = {
        {"/home/j\xC3\xB6rg/Inbox.dbx", "/home/j\xC3\xB6rg/Inbox.dbx"},
        // A Latin-1 name in a UTF-8 home: each reads right.
        {"/home/j\xC3\xB6rg/Entw\xFCrfe.dbx", "/home/j\xC3\xB6rg/Entw\xC3\xBCrfe.dbx"},
        // A name cut inside a character keeps its last byte, read as Windows-1252.
        {"C:\\Mail\\caf\xC3", "C:\\Mail\\caf\xC3\x83"},
        {"\xFF/", "\xC3\xBF/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dbx::PathToDisplay(c.path), c.shown) << c.path;
}
