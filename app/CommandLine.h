#pragma once
// The desktop program's command line: mail files to show, and the --help and
// --version answers the command-line tool gives too. Plain C++: --help and
// --version are answered before any window system is needed.

#include <optional>
#include <string>
#include <vector>

namespace app {

struct CommandLine {
    enum class Action { kRun, kHelp, kVersion, kUsageError };
    Action action = Action::kRun;
    std::vector<std::string> files;  // in the order given
    std::string error;               // what is wrong, for kUsageError
};

// Reads the arguments after the program's name. --help (-h) and --version
// before "--" answer whatever else is there; any other word that starts with
// '-' before "--" is an unknown option; every other word, and every word
// after "--", is a mail file.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// For --help, --version and usage errors: prints the answer (usage and
// version on stdout, errors on stderr) and returns the exit code (0, or 2
// for a usage error). For a command line that runs the program: nullopt.
std::optional<int> Answer(const CommandLine& commandLine);

// Answer for the raw arguments of main(), --help and --version only: those
// must work where no window can be opened. Everything else is left to the
// program (nullopt), which sees the arguments once Qt has taken its own.
std::optional<int> AnswerInfoOptions(int argc, char** argv);

} // namespace app
