#pragma once
// Processes started from inside a crash handler. Nothing there may allocate
// or take a lock (posix_spawn and fork() may do both), so everything a start
// needs is prepared in ordinary code beforehand, and the handler uses only
// _Fork, execve, pipes, poll and waitpid.

#include <string>
#include <vector>

namespace platform {

// A program to start later with no arguments, with the environment the
// process has when Prepare is called.
class PreparedProgram {
public:
    // Copies everything the start needs. `path` empty: nothing to start.
    void Prepare(const std::string& path);
    bool IsPrepared() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }

    // Starts the program in `workingDirectory` as a session of its own (so
    // that it outlives this process and a terminal's Ctrl+C or hang-up does
    // not reach it), inheriting only the standard streams, and returns once
    // it runs, without waiting for it. False when it could not be started
    // within a few seconds, with the reason in `error` (an errno value; the
    // program file missing or not executable, say). Safe in a signal handler.
    bool Start(const char* workingDirectory, int& error) const;

private:
    std::string path_;
    std::vector<std::string> environment_;
    std::vector<char*> argv_;
    std::vector<char*> envp_;
};

// Runs fn(context) in a copy of this process and waits for it: a fault,
// allocator deadlock or hang there costs only the copy, which is ended after
// `timeoutSeconds` (the wait ends then even when the copy cannot be ended at
// once, stuck in a device read, say). True when fn returned. Where processes
// cannot be copied (Windows) fn runs in this process. Safe in a signal
// handler on the caller's side; the copy has only the calling thread, signal
// handlers back at their defaults, and runs fn on a fresh 8 MiB stack of its
// own.
bool RunInProcessCopy(void (*fn)(void* context), void* context, unsigned timeoutSeconds);

// Calls `handler` with the signal number when the process is asked to end
// (SIGTERM, SIGINT, SIGHUP; on Windows SIGTERM, SIGINT, SIGBREAK), in place
// of ending it. The handler runs as a signal handler.
void CallOnEndRequest(void (*handler)(int signal));

// Ends the copy RunInProcessCopy is waiting for, if any, and makes every
// later call return false at once without a copy: the report is to be cut
// short. Safe in a signal handler.
void KillProcessCopy();

} // namespace platform
