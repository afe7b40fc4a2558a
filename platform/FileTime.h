#pragma once
// Calendar and file times with the rules of the Windows time functions:
// a file time counts 100-ns ticks since 1601-01-01 00:00:00 UTC.

#include <cstdint>
#include <optional>

namespace platform {

using FileTime = std::uint64_t;

// Field layout and widths of the Windows SYSTEMTIME structure.
struct SystemTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;      // 1..12
    std::uint16_t dayOfWeek = 0;  // 0 = Sunday; ignored on input
    std::uint16_t day = 0;        // 1..31
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};

constexpr FileTime kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksPerMinute = 600'000'000;

// The current time in UTC (GetSystemTime).
SystemTime GetSystemTime();

// Fails (returns false) for years outside 1601..30827, a month outside 1..12,
// a day outside the month, hour >= 24, minute or second >= 60, ms >= 1000.
bool SystemTimeToFileTime(const SystemTime& in, FileTime& out);

// Fails for a time above 0x7FFFFFFFFFFFFFFF. Sets dayOfWeek.
bool FileTimeToSystemTime(FileTime in, SystemTime& out);

// UTC to local time with the zone offset in effect *now* (not at that date),
// as Windows does. Fails when the result leaves the valid range.
bool FileTimeToLocalFileTime(FileTime utc, FileTime& local);

// Minutes to add to UTC to obtain local time now (for UTC+1: 60).
int CurrentZoneOffsetMinutes();

// Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount).
std::uint32_t GetTickCount();

// Test hooks: fix "now" (a UTC file time) and the zone offset; nullopt
// returns to the real clock and the machine's zone.
void SetNowForTesting(std::optional<FileTime> utcNow);
void SetZoneOffsetForTesting(std::optional<int> minutesEastOfUtc);

} // namespace platform
