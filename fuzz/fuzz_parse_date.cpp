// ParseMailDate on arbitrary text. The first byte picks the machine's zone
// offset (-12:00 .. +14:00 in quarter hours), the rest is the Date value.
// A result is 0 or a file time that converts back; the text is only read.

#include "FuzzCheck.h"

#include "dbx/HeaderFields.h"
#include "platform/FileTime.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool clockFixed = [] {
        platform::SetNowForTesting(platform::FileTime{128'000'000'000'000'000});
        return true;
    }();
    (void)clockFixed;
    if (size == 0)
        return 0;
    platform::SetZoneOffsetForTesting(static_cast<int>(data[0] % 105) * 15 - 720);
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string copy = text;

    const std::uint64_t time = dbx::ParseMailDate(text);
    FUZZ_CHECK(text == copy);
    if (time != 0) {
        platform::SystemTime parts;
        FUZZ_CHECK(platform::FileTimeToSystemTime(time, parts));
    }
    FUZZ_CHECK(dbx::ParseMailDate(text) == time);
    return 0;
}
