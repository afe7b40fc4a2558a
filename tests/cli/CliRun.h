#pragma once
// Runs the command-line tool as scripts do and collects what it printed:
// the real quillmend-cli in a shell, or one command in-process.

#include "archive/Sha256.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <vector>

namespace testsupport {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a command's entry point, e.g. cli::RunSave, in this process.
inline CliRun InProcess(int (*command)(const std::vector<std::string>&), const std::vector<std::string>& args)
{
    CliRun r;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    r.status = command(args);
    r.out = testing::internal::GetCapturedStdout();
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

inline std::size_t Count(std::string_view text, std::string_view what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

inline std::string Sha256Hex(std::string_view bytes)
{
    archive::Sha256 hash;
    hash.Update(bytes);
    return hash.HexDigest();
}

// The bytes as lower-case hex digits, as JSON gives a path's exact bytes.
inline std::string Hex(std::string_view bytes)
{
    std::string hex;
    for (const char c : bytes) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c));
        hex += two;
    }
    return hex;
}

inline std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

#ifdef QUILLMEND_CLI
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
#endif

} // namespace testsupport
