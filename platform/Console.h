#pragma once
// The standard streams of a command-line program.

namespace platform {

// True when standard error / standard output is a terminal (where progress
// may be drawn and text is read by a person).
bool StderrIsTerminal();
bool StdoutIsTerminal();

} // namespace platform
