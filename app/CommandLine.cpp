#include "app/CommandLine.h"

#include <cstdio>

namespace app {

namespace {

constexpr const char* kProgram = "quillmend";

constexpr const char* kUsage =
    "usage: quillmend [FILE.dbx | IMAGE ...]\n"
    "Recovers existing and deleted e-mail from Outlook Express .dbx files.\n"
    "Opens a window that lists the mail files of the Outlook Express store and\n"
    "the FILEs named here; the mail files are only read, never changed. A file\n"
    "not named *.dbx is read as a disk image (or a disk) for the mail files it\n"
    "held.\n"
    "For scripts and batch work use quillmend-cli.\n\n"
    "  --help, -h   show this text\n"
    "  --version    show the version\n"
    "  --           every later word is a FILE, even one starting with '-'\n"
    "exit status: 0 when the window was closed, 2 on a usage error.\n";

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine result;
    bool optionsEnd = false;
    for (const std::string& arg : args) {
        if (!optionsEnd && arg == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && (arg == "--help" || arg == "-h")) {
            return {CommandLine::Action::kHelp, {}, {}};
        } else if (!optionsEnd && arg == "--version") {
            return {CommandLine::Action::kVersion, {}, {}};
        } else if (!optionsEnd && arg.size() > 1 && arg[0] == '-') {
            if (result.error.empty()) {
                result.action = CommandLine::Action::kUsageError;
                result.error = "unknown option '" + arg + "' (try --help)";
            }
        } else {
            result.files.push_back(arg);
        }
    }
    return result;
}

std::optional<int> Answer(const CommandLine& commandLine)
{
    switch (commandLine.action) {
    case CommandLine::Action::kHelp:
        std::fputs(kUsage, stdout);
        return 0;
    case CommandLine::Action::kVersion:
        std::printf("%s %s\n", kProgram, QUILLMEND_VERSION);
        return 0;
    case CommandLine::Action::kUsageError:
        std::fprintf(stderr, "%s: %s\n", kProgram, commandLine.error.c_str());
        return 2;
    case CommandLine::Action::kRun:
        break;
    }
    return std::nullopt;
}

std::optional<int> AnswerInfoOptions(int argc, char** argv)
{
    if (argc < 2)
        return std::nullopt;
    const CommandLine commandLine = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (commandLine.action == CommandLine::Action::kHelp || commandLine.action == CommandLine::Action::kVersion)
        return Answer(commandLine);
    return std::nullopt;
}

} // namespace app
