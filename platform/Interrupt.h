#pragma once
// Ctrl-C for a long command-line job: the first one asks the job to stop
// (it then reports what it has), a second one ends the program at once.

namespace platform {

// From now on the first Ctrl-C (SIGINT) only sets the flag Interrupted()
// reads; the one after it ends the program as usual.
void CatchInterrupt();
// Whether Ctrl-C was pressed since CatchInterrupt.
bool Interrupted();
// Ctrl-C ends the program again.
void ReleaseInterrupt();

} // namespace platform
