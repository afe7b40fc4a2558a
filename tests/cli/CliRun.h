#pragma once
// Runs the real quillmend-cli as scripts do and collects what it printed.

#include "support/TempDir.h"

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace testsupport {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs the tool with `args` (already quoted) under /bin/sh, with an optional
// shell prefix such as a ulimit. Standard error comes through a pipe, which a
// file-size limit does not affect.
inline CliRun Cli(const TempDir& dir, const std::string& args, const std::string& prefix = "")
{
    const std::string out = dir.File("stdout");
    const std::string command =
        prefix + Quote(QUILLMEND_CLI) + " " + args + " 2>&1 >" + Quote(out);
    CliRun r;
    FILE* pipe = ::popen(("/bin/sh -c " + Quote(command)).c_str(), "r");
    if (!pipe)
        return r;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        r.err.append(buffer, n);
    const int raw = ::pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFile(out);
    return r;
}

} // namespace testsupport
