#pragma once
// The standard streams and arguments of a command-line program.

#include <string>
#include <vector>

namespace platform {

// True when standard error / standard output is a terminal (where progress
// may be drawn and text is read by a person).
bool StderrIsTerminal();
bool StdoutIsTerminal();

// The program's arguments after its own name, as paths and text are kept
// inside the program. POSIX: argv as given (the system's bytes). Windows:
// the UTF-16 command line split as the C runtime splits it, each argument
// as UTF-8, so that names in any script reach the program whole (argv
// there holds them in the ANSI code page, which loses what it lacks).
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Makes standard output carry bytes as they are written, and a terminal
// show what the program writes. Windows: no "\n" becomes CR LF on standard
// output (cat writes an e-mail byte for byte); a console shows UTF-8 and
// acts on the escape sequences of the progress bar. Does nothing elsewhere.
void SetUpStandardStreams();

} // namespace platform
