#include "platform/Console.h"

#ifdef _WIN32
#include <io.h>
#include <cstdio>
#else
#include <unistd.h>
#endif

namespace platform {

#ifdef _WIN32

bool StderrIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

bool StdoutIsTerminal()
{
    return _isatty(_fileno(stdout)) != 0;
}

#else

bool StderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) != 0;
}

bool StdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) != 0;
}

#endif

} // namespace platform
