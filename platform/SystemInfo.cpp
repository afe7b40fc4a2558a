#include "platform/SystemInfo.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include "platform/WidePath.h"
#else
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>
#endif

namespace platform {

#ifdef _WIN32

bool GetOsVersion(OsVersion& out)
{
    // GetVersionEx is deprecated and lies to unmanifested programs; the
    // kernel's own file version would be the honest answer, but a rough one
    // does for a diagnostic line.
    out = {};
    return false;
}

int CurrentProcessId()
{
    return static_cast<int>(GetCurrentProcessId());
}

std::string CurrentUserName()
{
    wchar_t name[257] = {};
    DWORD size = 257;
    return GetUserNameW(name, &size) ? detail::Narrow(name) : std::string();
}

#else

bool GetOsVersion(OsVersion& out)
{
    utsname uts{};
    if (uname(&uts) != 0)
        return false;
    out = {};
    // "6.1.0-18-amd64": the leading numbers.
    std::sscanf(uts.release, "%d.%d.%d", &out.major, &out.minor, &out.build);
    out.detail = uts.version;
    return true;
}

int CurrentProcessId()
{
    return static_cast<int>(getpid());
}

std::string CurrentUserName()
{
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name)
        return found->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : "";
}

#endif

} // namespace platform
