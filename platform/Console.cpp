#include "platform/Console.h"

#ifdef _WIN32
#include "platform/WidePath.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

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

std::vector<std::string> CommandLineArguments(int argc, char** argv)
{
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) {
        // Without the wide command line, the narrow one is all there is.
        for (int i = 1; i < argc; ++i)
            args.emplace_back(argv[i]);
        return args;
    }
    for (int i = 1; i < count; ++i)
        args.push_back(detail::Narrow(wide[i]));
    LocalFree(wide);
    return args;
}

void SetUpStandardStreams()
{
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
    bool console = false;
    for (const DWORD stream : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        HANDLE handle = GetStdHandle(stream);
        DWORD mode = 0;
        if (handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
            console = true;
            SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        }
    }
    if (console)
        SetConsoleOutputCP(CP_UTF8);
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

std::vector<std::string> CommandLineArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void SetUpStandardStreams() {}

#endif

} // namespace platform
