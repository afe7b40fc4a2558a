// Windows names as the program keeps them: UTF-8 of their UTF-16 form,
// every one of them coming back unchanged.

#include "platform/Utf8.h"

#include <gtest/gtest.h>

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
    for (const std::u16string& name : names) {
        const std::string utf8 = platform::WideNameToUtf8(name);
        EXPECT_EQ(platform::WideNameFromUtf8(utf8), name);
    }
    // Valid UTF-16 gives plain UTF-8; a lone surrogate its own three bytes.
    EXPECT_EQ(platform::WideNameToUtf8(u"\u00FC\U0001D11E"), "\xC3\xBC\xF0\x9D\x84\x9E");
    EXPECT_EQ(platform::WideNameToUtf8(std::u16string(1, u'\xD800')), "\xED\xA0\x80");
}

TEST(WideName, BytesThatAreNoUtf8BecomeReplacementCharacters)
{
    EXPECT_EQ(platform::WideNameFromUtf8("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(platform::WideNameFromUtf8("\xC3"), u"\uFFFD");
    EXPECT_EQ(platform::WideNameFromUtf8("\xED\xA0"), u"\uFFFD\uFFFD");
}
