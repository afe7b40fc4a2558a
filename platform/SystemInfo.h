#pragma once
// Facts about the running system and user, for diagnostics.

#include <string>

namespace platform {

struct OsVersion {
    int major = 0;
    int minor = 0;
    int build = 0;
    std::string detail;  // the kernel's build text (Windows: the service pack)
};

// The running kernel's version; false when it cannot be had.
bool GetOsVersion(OsVersion& out);

// This process's id.
int CurrentProcessId();

// The name of the user running the program; empty when unknown.
std::string CurrentUserName();

} // namespace platform
