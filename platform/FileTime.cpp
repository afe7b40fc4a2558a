#include "platform/FileTime.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <limits>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace platform {

namespace {

constexpr std::uint64_t kTicksPerDay = 86'400ULL * kTicksPerSecond;
// 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kUnixEpochTicks = 116'444'736'000'000'000ULL;
constexpr std::uint64_t kMaxFileTime = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

std::optional<FileTime> g_nowForTesting;
std::optional<int> g_zoneForTesting;

bool IsLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar
// (H. Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

const std::int64_t kDays1601To1970 = -DaysFromCivil(1601, 1, 1);

FileTime RealNow()
{
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto ticks = std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>>(since);
    return kUnixEpochTicks + static_cast<std::uint64_t>(ticks.count());
}

} // namespace

bool SystemTimeToFileTime(const SystemTime& in, FileTime& out)
{
    if (in.year < 1601 || in.year > 30827 || in.month < 1 || in.month > 12 || in.day < 1
        || in.day > DaysInMonth(in.year, in.month) || in.hour > 23 || in.minute > 59
        || in.second > 59 || in.milliseconds > 999)
        return false;
    const std::int64_t days = DaysFromCivil(in.year, in.month, in.day) + kDays1601To1970;
    const std::uint64_t seconds = static_cast<std::uint64_t>(days) * 86'400ULL + in.hour * 3600ULL
                                  + in.minute * 60ULL + in.second;
    out = seconds * kTicksPerSecond + in.milliseconds * 10'000ULL;
    return true;
}

bool FileTimeToSystemTime(FileTime in, SystemTime& out)
{
    if (in > kMaxFileTime)
        return false;
    const auto days = static_cast<std::int64_t>(in / kTicksPerDay);
    std::uint64_t rest = in % kTicksPerDay;
    std::int64_t y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(days - kDays1601To1970, y, m, d);
    out.year = static_cast<std::uint16_t>(y);
    out.month = static_cast<std::uint16_t>(m);
    out.day = static_cast<std::uint16_t>(d);
    out.dayOfWeek = static_cast<std::uint16_t>((days + 1) % 7);  // 1601-01-01 was a Monday
    out.hour = static_cast<std::uint16_t>(rest / (3600ULL * kTicksPerSecond));
    rest %= 3600ULL * kTicksPerSecond;
    out.minute = static_cast<std::uint16_t>(rest / (60ULL * kTicksPerSecond));
    rest %= 60ULL * kTicksPerSecond;
    out.second = static_cast<std::uint16_t>(rest / kTicksPerSecond);
    rest %= kTicksPerSecond;
    out.milliseconds = static_cast<std::uint16_t>(rest / 10'000ULL);
    return true;
}

SystemTime GetSystemTime()
{
    SystemTime st;
    FileTimeToSystemTime(g_nowForTesting ? *g_nowForTesting : RealNow(), st);
    return st;
}

int CurrentZoneOffsetMinutes()
{
    if (g_zoneForTesting)
        return *g_zoneForTesting;
#ifdef _WIN32
    TIME_ZONE_INFORMATION tz{};
    const DWORD id = GetTimeZoneInformation(&tz);
    LONG bias = tz.Bias;
    if (id == TIME_ZONE_ID_DAYLIGHT)
        bias += tz.DaylightBias;
    else if (id == TIME_ZONE_ID_STANDARD)
        bias += tz.StandardBias;
    return static_cast<int>(-bias);
#else
    // Asked once per e-mail date: the zone's offset is looked up again only
    // when the second has changed, as the system's lookup takes a lock that
    // every thread shares.
    const std::time_t now = std::time(nullptr);
    thread_local std::time_t asked = -1;
    thread_local int offset = 0;
    if (now != asked) {
        std::tm local{};
        if (!localtime_r(&now, &local))
            return 0;
        offset = static_cast<int>(local.tm_gmtoff / 60);
        asked = now;
    }
    return offset;
#endif
}

bool FileTimeToLocalFileTime(FileTime utc, FileTime& local)
{
    if (utc > kMaxFileTime)
        return false;
    const std::int64_t shift = static_cast<std::int64_t>(CurrentZoneOffsetMinutes()) * kTicksPerMinute;
    const auto value = static_cast<std::int64_t>(utc);
    if ((shift > 0 && value > std::numeric_limits<std::int64_t>::max() - shift) || value + shift < 0)
        return false;
    local = static_cast<FileTime>(value + shift);
    return true;
}

std::uint32_t GetTickCount()
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

void SetNowForTesting(std::optional<FileTime> utcNow)
{
    g_nowForTesting = utcNow;
}

void SetZoneOffsetForTesting(std::optional<int> minutesEastOfUtc)
{
    g_zoneForTesting = minutesEastOfUtc;
}

} // namespace platform
