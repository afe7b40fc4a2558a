#include "platform/FileTime.h"

#include "support/Times.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>

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

TEST(FileTime, EveryDayConvertsAsTheCalendarHasItAndBackWithItsWeekday)
{
    using namespace std::chrono;
    constexpr sys_days kStart = 1601y / January / 1;
    EXPECT_EQ(FileTime((sys_days(1970y / January / 1) - kStart).count()) * 864'000'000'000ULL, 116444736000000000ULL);
    // Days 0 to 32 of months 0 to 13, in years at and past the ends of the
    // range and where the leap-year rules differ; the standard library's
    // calendar says which are days and when.
    for (const int y : {1600, 1601, 1900, 1970, 2000, 2008, 2024, 2100, 30827, 30828}) {
        for (int m = 0; m <= 13; ++m) {
            for (int d = 0; d <= 32; ++d) {
                const int h = d % 24, mi = d * 7 % 60, s = d * 13 % 60, ms = d * 31 % 1000;
                const SystemTime t = MakeSystemTime(y, m, d, h, mi, s, ms);
                const year_month_day date{year{y}, month(static_cast<unsigned>(m)), day(static_cast<unsigned>(d))};
                const bool valid = date.ok() && y >= 1601 && y <= 30827;
                FileTime ft = 0;
                ASSERT_EQ(SystemTimeToFileTime(t, ft), valid) << y << "-" << m << "-" << d;
                if (!valid)
                    continue;
                const FileTime ms1601 = FileTime((sys_days(date) - kStart).count()) * 86'400'000 +
                                        ((h * 60 + mi) * 60 + s) * 1000 + ms;
                ASSERT_EQ(ft, ms1601 * 10'000) << y << "-" << m << "-" << d;
                SystemTime back;
                ASSERT_TRUE(FileTimeToSystemTime(ft + 9'999, back));  // ticks below a millisecond are dropped
                EXPECT_EQ(Fields(back), Fields(t));
                EXPECT_EQ(back.dayOfWeek, weekday(sys_days(date)).c_encoding());
            }
        }
    }
}

TEST(FileTime, RejectsInvalidTimesOfDayAndFileTimesPastTheSignBit)
{
    FileTime ft = 0;
    for (const SystemTime& t : {MakeSystemTime(2008, 1, 1, 24), MakeSystemTime(2008, 1, 1, 0, 60),
                                MakeSystemTime(2008, 1, 1, 0, 0, 60), MakeSystemTime(2008, 1, 1, 0, 0, 0, 1000)})
        EXPECT_FALSE(SystemTimeToFileTime(t, ft))
            << t.hour << ":" << t.minute << ":" << t.second << "." << t.milliseconds;
    EXPECT_TRUE(SystemTimeToFileTime(MakeSystemTime(30827, 12, 31, 23, 59, 59, 999), ft));

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
