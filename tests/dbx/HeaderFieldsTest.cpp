#include "DbxTestSupport.h"

#include "dbx/HeaderFields.h"
#include "support/Times.h"

#include <cstring>

using namespace dbx;

namespace {

// The clock at 2011-06-07 08:09:10 UTC, and the zone offset.
dbxtest::FixedClock ClockAt(int zoneMinutes)
{
    return dbxtest::FixedClock(testsupport::FileTimeOf(2011, 6, 7, 8, 9, 10), zoneMinutes);
}

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

} // namespace

// --- finding a header value ----------------------------------------------------

TEST(FindHeaderValue, TakesTheFirstLabelledLineUpToItsEndWithoutOuterSpaces)
{
    const struct {
        std::string text;
        const char* label;
        std::string value;  // "<none>": not found
    } cases[] = {
        {"From:    Ann <a@x.org>   \r\nTo: b\r\n", "From: ", "Ann <a@x.org>"},
        {"Subject: hello world\r\n", "Subject: ", "hello world"},
        {"Subject: \thi\r\n", "Subject: ", "\thi"},  // tabs are not spaces here
        // Empty or unterminated values.
        {"Subject: \r\nX: y\r\n", "Subject: ", "<none>"},
        {"Subject:    \nX: y\r\n", "Subject: ", "<none>"},
        {"X: y\r\nSubject: cut short", "Subject: ", "<none>"},
        {"X: y\r\nSubject:    ", "Subject: ", "<none>"},
        {"X: y\r\n", "Subject: ", "<none>"},
        // A line ended by LF alone runs on to the next CR of the text.
        {"Subject: one\nTwo: x\r\n", "Subject: ", "one\nTwo: x"},
        {"Subject: only lf\nmore\n", "Subject: ", "only lf"},
        // The first occurrence anywhere wins, and values are cut.
        {"Reply-To: r@x\r\nTo: t@x\r\n", "To: ", "r@x"},
        {"X-Subject: inner\r\nSubject: outer\r\n", "Subject: ", "inner"},
        {"Subject: " + std::string(700, 'a') + "\r\n", "Subject: ", std::string(511, 'a')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Value(c.text, c.label), c.value) << c.text;
}

// --- Base64 ------------------------------------------------------------------------

TEST(DecodeBase64, DecodesGroupsSkipsEverythingElseAndCountsPastTheCapacity)
{
    const struct {
        const char* b64;
        std::size_t capacity;
        std::string decoded;
        bool ok;            // everything stored
        std::size_t total;  // bytes the whole text decodes to
    } cases[] = {
        {"SGVsbG8=", 100, "Hello", true, 5},
        {"SGVs\r\n bG8?=", 100, "Hello", true, 5},
        {"\x80SGVs\xff" "bG8", 100, "Hello", true, 5},
        // 3 digits give 2 bytes, 2 give 1, a lone digit gives none.
        {"QUJD", 100, "ABC", true, 3},
        {"QUI", 100, "AB", true, 2},
        {"QQ", 100, "A", true, 1},
        {"QUJDQ", 100, "ABC", true, 3},
        {"", 100, "", true, 0},
        // Capacity 4: the first group (3 bytes) fits, the second (3 more) does not.
        {"QUJDREVG", 4, std::string("ABC") + '\0', false, 6},
        {"QUJDREVG", 6, "ABCDEF", true, 6},
    };
    for (const auto& c : cases) {
        std::uint8_t out[600] = {};
        std::size_t total = c.capacity;  // in: room in `out`; out: bytes the whole text decodes to
        EXPECT_EQ(DecodeBase64(c.b64, std::strlen(c.b64), out, total), c.ok) << c.b64;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), std::min(total, c.capacity)), c.decoded) << c.b64;
        EXPECT_EQ(total, c.total) << c.b64;
    }
}

// --- dates ---------------------------------------------------------------------------

TEST(ParseMailDate, FullDatesBecomeLocalTimeInAnyZone)
{
    for (int zone : {0, 60, -300, 330}) {
        const auto clock = ClockAt(zone);
        const std::uint64_t local = Utc(2008, 1, 15, 9, 20, 30) + static_cast<std::uint64_t>(zone) * kMinute;
        EXPECT_EQ(ParseMailDate("Tue, 15 Jan 2008 10:20:30 +0100"), local) << zone;
        EXPECT_EQ(ParseMailDate("Tue, 15 Jan 2008 04:20:30 -0500"), local) << zone;
        EXPECT_EQ(ParseMailDate("15 jan 2008 09:20:30 +0000"), local) << zone;
        EXPECT_EQ(ParseMailDate("Tue, 15 Jan 2008 09:20:30"), local) << zone;  // no zone: UTC
    }
}

TEST(ParseMailDate, MissingPartsOddAndUnconvertibleDates)
{
    const auto clock = ClockAt(120);
    std::string many;
    for (int i = 0; i < 300; ++i)
        many += "abcdef ";
    many += "15 Jan 2008";  // beyond the 100th token: ignored
    const std::uint64_t today = Utc(2011, 6, 7, 0, 0, 0);
    const struct {
        std::string text;
        std::uint64_t date;
    } cases[] = {
        // Missing parts take today's UTC date. "08" is not a year: the day
        // is already set, so the current year is used.
        {"15 Jan 2008", Utc(2008, 1, 15, 0, 0, 0)},
        {"10:20:30", Utc(2011, 6, 7, 10, 20, 30)},
        {"15 Jan 08 10:20:30 +0000", Utc(2011, 1, 15, 10, 20, 30)},
        // Dates that cannot be converted give zero.
        {"15 Foo 2008 10:20:30", 0},
        {"31 Apr 2008", 0},
        {"15 Jan 2008 25:00:00", 0},
        {"15 Jan 1492", 0},
        {"1 Jan 1601 00:00:00 +0100", 0},  // before the epoch in UTC
        {"Mon, Tue, 15 Jan 2008", 0},      // a second weekday is read as a year
        {"x 15 Jan 2008", 0},              // "x" takes the day slot as 0
        // A run of spaces repeats the next word: the repeated time token, cut
        // to two characters by the first, is not taken as a day.
        {"15 Jan 2008  10:20:30", Utc(2008, 1, 15, 10, 20, 30)},
        // The repeated word of "Jan" is ignored once the month is set.
        {"15    Jan 2008", Utc(2008, 1, 15, 0, 0, 0)},
        // Leading spaces give an empty first token; a later zone replaces an earlier one.
        {"  15 Jan 2008 10:00:00 +0100 -0100", Utc(2008, 1, 15, 11, 0, 0)},
        // A later time token replaces an earlier one.
        {"15 Jan 2008 01:02:03 04:05:06", Utc(2008, 1, 15, 4, 5, 6)},
        // Month names compare without regard to case; the separators of a time are not checked.
        {"15 DEC 2008 10.20.30", Utc(2008, 12, 15, 10, 20, 30)},
        // Long or odd input never overruns: today.
        {many, today},
        {std::string(2000, ' '), today},
        {"", today},
        {",", today},
        {"+99999", today},  // six characters: not a zone
    };
    for (const auto& c : cases)  // local time, two hours ahead
        EXPECT_EQ(ParseMailDate(c.text), c.date ? c.date + 120 * kMinute : 0) << c.text.substr(0, 40);
}
