#pragma once
// Argument handling of quillmend-mkdbx: a command word, options with values
// ("--size 512M" or "--size=512M") and positional arguments.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mkdbx {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1; // the file could not be written
constexpr int kExitUsage = 2;

struct CommandLine {
    std::string command;
    std::vector<std::string> positional;
    std::map<std::string, std::string> options; // "--size" -> "512M"
    bool help = false;
};

// Splits argv. Returns false with `error` set for an unknown option or an
// option without its value; `known` lists the options that take a value.
bool ParseCommandLine(int argc, char** argv, const std::vector<std::string>& known, CommandLine& out,
                      std::string& error);

// "1048576", "512K", "512M", "2G" (binary multiples); nullopt when malformed or 0.
std::optional<std::uint64_t> ParseSize(const std::string& text);
// A decimal number; nullopt when malformed.
std::optional<std::uint64_t> ParseUnsigned(const std::string& text);
// A share from 0 to 1 ("0.2"); nullopt when malformed or out of range.
std::optional<double> ParseShare(const std::string& text);

int RunDemo(const CommandLine& cl);
int RunBench(const CommandLine& cl);

} // namespace mkdbx
