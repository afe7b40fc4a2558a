#pragma once
// Cutting a file the program has mapped, as another program would do it:
// truncate(2) on POSIX systems. Windows refuses to cut a mapped file, so
// there it is cut from the Linux side, which only Wine has.

#include <cstdint>
#include <string>

#ifdef _WIN32
#include "platform/FsPath.h"
#include "support/LinuxSide.h"
#else
#include <unistd.h>
#endif

namespace testsupport {

// True where CutFile can cut a mapped file (on Windows, only under Wine).
inline bool CanCutMappedFiles()
{
#ifdef _WIN32
    return UnderWine();
#else
    return true;
#endif
}

// Cuts the file at `path` to its first `size` bytes; false when that fails.
inline bool CutFile(const std::string& path, std::uint64_t size)
{
#ifdef _WIN32
    const std::string unixPath = UnixPathOf(platform::ToFsPath(path).native());
    return !unixPath.empty() && LinuxTruncate(unixPath, static_cast<long long>(size));
#else
    return ::truncate(path.c_str(), static_cast<off_t>(size)) == 0;
#endif
}

} // namespace testsupport

// Skips the test where a mapped file cannot be cut.
#define SKIP_UNLESS_MAPPED_FILES_CAN_BE_CUT()                                       \
    if (!testsupport::CanCutMappedFiles())                                          \
    GTEST_SKIP() << "Windows refuses to cut a mapped file; only Wine can from Linux"
