#pragma once
// Calendar moments for tests that deal in file times.

#include "platform/FileTime.h"

#include <cstdint>

namespace testsupport {

inline platform::SystemTime MakeSystemTime(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    platform::SystemTime st;
    st.year = static_cast<std::uint16_t>(y);
    st.month = static_cast<std::uint16_t>(mo);
    st.day = static_cast<std::uint16_t>(d);
    st.hour = static_cast<std::uint16_t>(h);
    st.minute = static_cast<std::uint16_t>(mi);
    st.second = static_cast<std::uint16_t>(s);
    st.milliseconds = static_cast<std::uint16_t>(ms);
    return st;
}

// The file time of a calendar moment; 0 when it is not a valid one.
inline std::uint64_t FileTimeOf(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    platform::FileTime ft = 0;
    return platform::SystemTimeToFileTime(MakeSystemTime(y, mo, d, h, mi, s), ft) ? ft : 0;
}

} // namespace testsupport
