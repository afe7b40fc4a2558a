#include "platform/FileTime.h"

#include "support/Times.h"

#include <gtest/gtest.h>

using namespace platform;
using testsupport::MakeSystemTime;

namespace {

struct ZoneGuard {
    explicit ZoneGuard(int minutes) { SetZoneOffsetForTesting(minutes); }
    ~ZoneGuard() { SetZoneOffsetForTesting(std::nullopt); }
};

} // namespace

// --- calendar conversion -------------------------------------------------------

TEST(FileTime, KnownInstantsConvertExactly)
{
    FileTime ft = 1;
    ASSERT_TRUE(SystemTimeToFileTime(MakeSystemTime(1601, 1, 1), ft));
    EXPECT_EQ(ft, 0u);
    ASSERT_TRUE(SystemTimeToFileTime(MakeSystemTime(1970, 1, 1), ft));
    EXPECT_EQ(ft, 116444736000000000ULL);
    // 2008-01-15 09:20:30.250 UTC = Unix 1200388830.25
    ASSERT_TRUE(SystemTimeToFileTime(MakeSystemTime(2008, 1, 15, 9, 20, 30, 250), ft));
    EXPECT_EQ(ft, 116444736000000000ULL + 1200388830ULL * 10'000'000ULL + 2'500'000ULL);
}

TEST(FileTime, RoundTripsAndNamesTheWeekday)
{
    SystemTime back;
    FileTime ft = 0;
    ASSERT_TRUE(SystemTimeToFileTime(MakeSystemTime(2024, 2, 29, 23, 59, 59, 999), ft));
    ASSERT_TRUE(FileTimeToSystemTime(ft, back));
    EXPECT_EQ(back.year, 2024);
    EXPECT_EQ(back.month, 2);
    EXPECT_EQ(back.day, 29);
    EXPECT_EQ(back.hour, 23);
    EXPECT_EQ(back.minute, 59);
    EXPECT_EQ(back.second, 59);
    EXPECT_EQ(back.milliseconds, 999);
    EXPECT_EQ(back.dayOfWeek, 4);  // a Thursday
    ASSERT_TRUE(FileTimeToSystemTime(0, back));
    EXPECT_EQ(back.dayOfWeek, 1);  // 1601-01-01 was a Monday
}

TEST(FileTime, RejectsInvalidFieldsLikeWindows)
{
    FileTime ft = 0;
    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(1600, 12, 31), ft));
    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(30828, 1, 1), ft));
    EXPECT_TRUE(SystemTimeToFileTime(MakeSystemTime(30827, 12, 31, 23, 59, 59, 999), ft));
    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(2008, 0, 1), ft));
    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(2008, 13, 1), ft));
    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(2008, 1, 0), ft));
    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(2008, 4, 31), ft));
    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(1900, 2, 29), ft));  // not a leap year
    EXPECT_TRUE(SystemTimeToFileTime(MakeSystemTime(2000, 2, 29), ft));   // a leap year
    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(2008, 1, 1, 24), ft));
    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(2008, 1, 1, 0, 60), ft));
    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(2008, 1, 1, 0, 0, 60), ft));
    EXPECT_FALSE(SystemTimeToFileTime(MakeSystemTime(2008, 1, 1, 0, 0, 0, 1000), ft));

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

TEST(FileTime, NowCanBeFixedForTests)
{
    FileTime fixed = 0;
    ASSERT_TRUE(SystemTimeToFileTime(MakeSystemTime(2011, 6, 7, 8, 9, 10), fixed));
    SetNowForTesting(fixed);
    const SystemTime now = GetSystemTime();
    SetNowForTesting(std::nullopt);
    EXPECT_EQ(now.year, 2011);
    EXPECT_EQ(now.month, 6);
    EXPECT_EQ(now.day, 7);
    EXPECT_EQ(now.hour, 8);
    EXPECT_GE(GetSystemTime().year, 2024);
}

TEST(FileTime, TickCountAdvancesInMilliseconds)
{
    const std::uint32_t a = GetTickCount();
    const std::uint32_t b = GetTickCount();
    EXPECT_LE(static_cast<std::uint32_t>(b - a), 1000u);
}
