#include "dbx/HeaderFields.h"

#include "platform/FileTime.h"
#include "support/Times.h"

#include <gtest/gtest.h>

#include <optional>

using namespace dbx;

namespace {

// Fixes the clock at 2011-06-07 08:09:10 UTC and the zone offset.
class FixedClock {
public:
    explicit FixedClock(int zoneMinutes)
    {
        platform::SetNowForTesting(testsupport::FileTimeOf(2011, 6, 7, 8, 9, 10));
        platform::SetZoneOffsetForTesting(zoneMinutes);
    }
    ~FixedClock()
    {
        platform::SetNowForTesting(std::nullopt);
        platform::SetZoneOffsetForTesting(std::nullopt);
    }
};

std::uint64_t Utc(int y, int mo, int d, int h, int mi, int s)
{
    const std::uint64_t ft = testsupport::FileTimeOf(y, mo, d, h, mi, s);
    EXPECT_NE(ft, 0u);
    return ft;
}

constexpr std::uint64_t kMinute = 600'000'000ULL;

std::string Value(std::string_view text, std::string_view label)
{
    std::string value = "stale";
    if (!FindHeaderValue(text, label, value)) {
        EXPECT_TRUE(value.empty());
        return "<none>";
    }
    return value;
}

std::string Decode(std::string_view b64, std::size_t capacity, bool* ok = nullptr, std::size_t* total = nullptr)
{
    std::uint8_t out[600] = {};
    std::size_t cap = capacity;
    const bool r = DecodeBase64(b64.data(), b64.size(), out, cap);
    if (ok)
        *ok = r;
    if (total)
        *total = cap;
    return std::string(reinterpret_cast<const char*>(out), std::min(cap, capacity));
}

} // namespace

// --- finding a header value ----------------------------------------------------

TEST(FindHeaderValue, TakesTheLineUpToItsEndWithoutOuterSpaces)
{
    EXPECT_EQ(Value("From:    Ann <a@x.org>   \r\nTo: b\r\n", "From: "), "Ann <a@x.org>");
    EXPECT_EQ(Value("Subject: hello world\r\n", "Subject: "), "hello world");
    // Tabs are not spaces here.
    EXPECT_EQ(Value("Subject: \thi\r\n", "Subject: "), "\thi");
}

TEST(FindHeaderValue, FailsOnEmptyOrUnterminatedValues)
{
    EXPECT_EQ(Value("Subject: \r\nX: y\r\n", "Subject: "), "<none>");
    EXPECT_EQ(Value("Subject:    \nX: y\r\n", "Subject: "), "<none>");
    EXPECT_EQ(Value("X: y\r\nSubject: cut short", "Subject: "), "<none>");
    EXPECT_EQ(Value("X: y\r\nSubject:    ", "Subject: "), "<none>");
    EXPECT_EQ(Value("X: y\r\n", "Subject: "), "<none>");
}

TEST(FindHeaderValue, PrefersCrOverAnEarlierBareLf)
{
    // A line ended by LF alone runs on to the next CR of the text.
    EXPECT_EQ(Value("Subject: one\nTwo: x\r\n", "Subject: "), "one\nTwo: x");
    EXPECT_EQ(Value("Subject: only lf\nmore\n", "Subject: "), "only lf");
}

TEST(FindHeaderValue, FirstOccurrenceAnywhereWinsAndValuesAreCut)
{
    EXPECT_EQ(Value("Reply-To: r@x\r\nTo: t@x\r\n", "To: "), "r@x");
    EXPECT_EQ(Value("X-Subject: inner\r\nSubject: outer\r\n", "Subject: "), "inner");
    const std::string longLine = "Subject: " + std::string(700, 'a') + "\r\n";
    EXPECT_EQ(Value(longLine, "Subject: ").size(), 511u);
}

// --- Base64 ------------------------------------------------------------------------

TEST(DecodeBase64, DecodesGroupsAndSkipsEverythingElse)
{
    EXPECT_EQ(Decode("SGVsbG8=", 100), "Hello");
    EXPECT_EQ(Decode("SGVs\r\n bG8?=", 100), "Hello");
    EXPECT_EQ(Decode("\x80SGVs\xff" "bG8", 100), "Hello");
    // 3 digits give 2 bytes, 2 give 1, a lone digit gives none.
    std::size_t total = 0;
    EXPECT_EQ(Decode("QUJD", 100, nullptr, &total), "ABC");
    EXPECT_EQ(total, 3u);
    Decode("QUI", 100, nullptr, &total);
    EXPECT_EQ(total, 2u);
    Decode("QQ", 100, nullptr, &total);
    EXPECT_EQ(total, 1u);
    Decode("QUJDQ", 100, nullptr, &total);
    EXPECT_EQ(total, 3u);
    bool ok = false;
    EXPECT_EQ(Decode("", 100, &ok, &total), "");
    EXPECT_TRUE(ok);
    EXPECT_EQ(total, 0u);
}

TEST(DecodeBase64, StopsStoringWhenAGroupNoLongerFitsButKeepsCounting)
{
    bool ok = true;
    std::size_t total = 0;
    // Capacity 4: the first group (3 bytes) fits, the second (3 more) does not.
    EXPECT_EQ(Decode("QUJDREVG", 4, &ok, &total), std::string("ABC") + '\0');
    EXPECT_FALSE(ok);
    EXPECT_EQ(total, 6u);
    EXPECT_EQ(Decode("QUJDREVG", 6, &ok, &total), "ABCDEF");
    EXPECT_TRUE(ok);
}

// --- dates ---------------------------------------------------------------------------

TEST(ParseMailDate, FullDatesBecomeLocalTimeInAnyZone)
{
    for (int zone : {0, 60, -300, 330}) {
        FixedClock clock(zone);
        const std::uint64_t local = Utc(2008, 1, 15, 9, 20, 30) + static_cast<std::uint64_t>(zone) * kMinute;
        EXPECT_EQ(ParseMailDate("Tue, 15 Jan 2008 10:20:30 +0100"), local) << zone;
        EXPECT_EQ(ParseMailDate("Tue, 15 Jan 2008 04:20:30 -0500"), local) << zone;
        EXPECT_EQ(ParseMailDate("15 jan 2008 09:20:30 +0000"), local) << zone;
        EXPECT_EQ(ParseMailDate("Tue, 15 Jan 2008 09:20:30"), local) << zone;  // no zone: UTC
    }
}

TEST(ParseMailDate, MissingPartsTakeTodaysUtcDate)
{
    FixedClock clock(120);
    const std::uint64_t shift = 120 * kMinute;
    EXPECT_EQ(ParseMailDate("15 Jan 2008"), Utc(2008, 1, 15, 0, 0, 0) + shift);
    EXPECT_EQ(ParseMailDate("10:20:30"), Utc(2011, 6, 7, 10, 20, 30) + shift);
    // "08" is not a year: the day is already set, so the current year is used.
    EXPECT_EQ(ParseMailDate("15 Jan 08 10:20:30 +0000"), Utc(2011, 1, 15, 10, 20, 30) + shift);
}

TEST(ParseMailDate, UnconvertibleDatesGiveZero)
{
    FixedClock clock(0);
    EXPECT_EQ(ParseMailDate("15 Foo 2008 10:20:30"), 0u);
    EXPECT_EQ(ParseMailDate("31 Apr 2008"), 0u);
    EXPECT_EQ(ParseMailDate("15 Jan 2008 25:00:00"), 0u);
    EXPECT_EQ(ParseMailDate("15 Jan 1492"), 0u);
    EXPECT_EQ(ParseMailDate("1 Jan 1601 00:00:00 +0100"), 0u);  // before the epoch in UTC
    EXPECT_EQ(ParseMailDate("Mon, Tue, 15 Jan 2008"), 0u);       // a second weekday is read as a year
}

TEST(ParseMailDate, TokenizerQuirksAreKept)
{
    FixedClock clock(0);
    // A run of spaces repeats the next word: the repeated time token, cut to
    // two characters by the first, is not taken as a day.
    EXPECT_EQ(ParseMailDate("15 Jan 2008  10:20:30"), Utc(2008, 1, 15, 10, 20, 30));
    // The repeated word of "Jan" is ignored once the month is set.
    EXPECT_EQ(ParseMailDate("15    Jan 2008"), Utc(2008, 1, 15, 0, 0, 0));
    // Leading spaces give an empty first token; a later zone replaces an earlier one.
    EXPECT_EQ(ParseMailDate("  15 Jan 2008 10:00:00 +0100 -0100"), Utc(2008, 1, 15, 11, 0, 0));
    // A later time token replaces an earlier one.
    EXPECT_EQ(ParseMailDate("15 Jan 2008 01:02:03 04:05:06"), Utc(2008, 1, 15, 4, 5, 6));
    // Month names compare without regard to case; the separators of a time are not checked.
    EXPECT_EQ(ParseMailDate("15 DEC 2008 10.20.30"), Utc(2008, 12, 15, 10, 20, 30));
}

TEST(ParseMailDate, NeverOverrunsOnLongOrOddInput)
{
    FixedClock clock(0);
    std::string many;
    for (int i = 0; i < 300; ++i)
        many += "abcdef ";
    many += "15 Jan 2008";  // beyond the 100th token: ignored
    const std::uint64_t today = Utc(2011, 6, 7, 0, 0, 0);
    EXPECT_EQ(ParseMailDate(many), today);
    EXPECT_EQ(ParseMailDate(std::string(2000, ' ')), today);
    EXPECT_EQ(ParseMailDate(""), today);
    EXPECT_EQ(ParseMailDate(","), today);
    EXPECT_EQ(ParseMailDate("+99999"), today);  // six characters: not a zone
    EXPECT_EQ(ParseMailDate("x 15 Jan 2008"), 0u);  // "x" takes the day slot as 0
}
