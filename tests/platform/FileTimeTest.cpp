#include "platform/FileTime.h"

#include "support/Times.h"

#include <gtest/gtest.h>

#include <array>

using namespace platform;
using testsupport::MakeSystemTime;

namespace {

struct ZoneGuard {
    explicit ZoneGuard(int minutes) { SetZoneOffsetForTesting(minutes); }
    ~ZoneGuard() { SetZoneOffsetForTesting(std::nullopt); }
};

// The fields of a calendar moment but its day of the week, to compare whole ones.
std::array<int, 7> Fields(const SystemTime& t)
{
    return {t.year, t.month, t.day, t.hour, t.minute, t.second, t.milliseconds};
}

} // namespace

// --- calendar conversion -------------------------------------------------------

TEST(FileTime, KnownInstantsConvertExactlyAndBackWithTheirWeekday)
{
    const struct {
        SystemTime time;
        FileTime fileTime;
        int dayOfWeek;  // 0 = Sunday
    } cases[] = {
        {MakeSystemTime(1601, 1, 1), 0, 1},
        {MakeSystemTime(1970, 1, 1), 116444736000000000ULL, 4},
        {MakeSystemTime(2008, 1, 15, 9, 20, 30, 250), 128448624302500000ULL, 2},  // Unix 1200388830.25
        {MakeSystemTime(2024, 2, 29, 23, 59, 59, 999), 133537247999990000ULL, 4},
    };
    for (const auto& c : cases) {
        FileTime ft = 1;
        ASSERT_TRUE(SystemTimeToFileTime(c.time, ft)) << c.fileTime;
        EXPECT_EQ(ft, c.fileTime);
        SystemTime back;
        ASSERT_TRUE(FileTimeToSystemTime(ft, back));
        EXPECT_EQ(Fields(back), Fields(c.time)) << c.fileTime;
        EXPECT_EQ(back.dayOfWeek, c.dayOfWeek) << c.fileTime;
    }
}

TEST(FileTime, RejectsInvalidFieldsLikeWindows)
{
    FileTime ft = 0;
    const SystemTime refused[] = {
        MakeSystemTime(1600, 12, 31), MakeSystemTime(30828, 1, 1), MakeSystemTime(2008, 0, 1),
        MakeSystemTime(2008, 13, 1), MakeSystemTime(2008, 1, 0), MakeSystemTime(2008, 4, 31),
        MakeSystemTime(1900, 2, 29),  // not a leap year
        MakeSystemTime(2008, 1, 1, 24), MakeSystemTime(2008, 1, 1, 0, 60), MakeSystemTime(2008, 1, 1, 0, 0, 60),
        MakeSystemTime(2008, 1, 1, 0, 0, 0, 1000),
    };
    for (const SystemTime& t : refused)
        EXPECT_FALSE(SystemTimeToFileTime(t, ft)) << t.year << "-" << t.month << "-" << t.day << " " << t.hour;
    EXPECT_TRUE(SystemTimeToFileTime(MakeSystemTime(30827, 12, 31, 23, 59, 59, 999), ft));
    EXPECT_TRUE(SystemTimeToFileTime(MakeSystemTime(2000, 2, 29), ft));  // a leap year

    SystemTime st;
    EXPECT_FALSE(FileTimeToSystemTime(0x8000000000000000ULL, st));
    EXPECT_TRUE(FileTimeToSystemTime(0x7FFFFFFFFFFFFFFFULL, st));
}

// --- local time ----------------------------------------------------------------

TEST(FileTime, LocalConversionUsesTheCurrentZoneOffset)
{
    FileTime utc = 0;
    ASSERT_TRUE(SystemTimeToFileTime(MakeSystemTime(2008, 1, 15, 9, 20, 30), utc));
    FileTime local = 0;
    {
        ZoneGuard zone(60);  // UTC+1
        ASSERT_TRUE(FileTimeToLocalFileTime(utc, local));
        EXPECT_EQ(local - utc, 60ULL * 600'000'000ULL);
    }
    {
        ZoneGuard zone(-300);  // UTC-5
        ASSERT_TRUE(FileTimeToLocalFileTime(utc, local));
        EXPECT_EQ(utc - local, 300ULL * 600'000'000ULL);
        EXPECT_FALSE(FileTimeToLocalFileTime(0, local));  // before 1601
    }
    {
        ZoneGuard zone(600);
        EXPECT_FALSE(FileTimeToLocalFileTime(0x7FFFFFFFFFFFFFFFULL, local));
        EXPECT_FALSE(FileTimeToLocalFileTime(0x9000000000000000ULL, local));
    }
}

TEST(FileTime, NowCanBeFixedForTestsAndTheTickCountGoesOn)
{
    SetNowForTesting(129519077500000000ULL);
    const SystemTime now = GetSystemTime();
    SetNowForTesting(std::nullopt);
    EXPECT_EQ(Fields(now), Fields(MakeSystemTime(2011, 6, 7, 8, 9, 10)));
    EXPECT_GE(GetSystemTime().year, 2024);
    const std::uint32_t a = GetTickCount();
    EXPECT_LE(static_cast<std::uint32_t>(GetTickCount() - a), 1000u);
}
