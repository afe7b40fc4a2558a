#include "tools/mkdbx/CommandLine.h"

#include <algorithm>
#include <cstdlib>

namespace mkdbx {

bool ParseCommandLine(int argc, char** argv, const std::vector<std::string>& known, CommandLine& out,
                      std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            out.help = true;
            continue;
        }
        if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            std::string value;
            const auto eq = arg.find('=');
            const bool inlineValue = eq != std::string::npos;
            if (inlineValue) {
                value = arg.substr(eq + 1);
                arg.resize(eq);
            }
            if (std::find(known.begin(), known.end(), arg) == known.end()) {
                error = "unknown option " + arg;
                return false;
            }
            if (!inlineValue) {
                if (i + 1 >= argc) {
                    error = "option " + arg + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            out.options[arg] = value;
            continue;
        }
        if (out.command.empty())
            out.command = arg;
        else
            out.positional.push_back(arg);
    }
    return true;
}

std::optional<std::uint64_t> ParseUnsigned(const std::string& text)
{
    if (text.empty() || text.size() > 19 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoull(text);
}

std::optional<std::uint64_t> ParseSize(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    std::uint64_t unit = 1;
    std::string digits = text;
    switch (text.back()) {
    case 'k': case 'K': unit = 1ull << 10; break;
    case 'm': case 'M': unit = 1ull << 20; break;
    case 'g': case 'G': unit = 1ull << 30; break;
    default: break;
    }
    if (unit != 1)
        digits.pop_back();
    const auto n = ParseUnsigned(digits);
    if (!n || *n == 0 || *n > (~std::uint64_t{0}) / unit)
        return std::nullopt;
    return *n * unit;
}

std::optional<double> ParseShare(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !(v >= 0.0 && v <= 1.0))
        return std::nullopt;
    return v;
}

} // namespace mkdbx
