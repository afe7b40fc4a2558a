#pragma once
// Processes started from inside a crash handler. Nothing there may allocate
// or take a lock (posix_spawn and fork() may do both), so everything a start
// needs is prepared in ordinary code beforehand, and the handler uses only
// _Fork, execve and waitpid.

#include <string>
#include <vector>

namespace platform {

// A program to start later with no arguments, in a given working directory,
// with the environment the process has when Prepare is called.
class PreparedProgram {
public:
    // Copies everything the start needs. `path` empty: nothing to start.
    void Prepare(const std::string& path, const std::string& workingDirectory);
    bool IsPrepared() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }

    // Starts the program (inheriting no open files), waits without a time
    // limit until it ends and returns true; false when no process could be
    // made. A program that cannot be run ends at once with status 127.
    // Safe in a signal handler.
    bool RunAndWait() const;

private:
    std::string path_;
    std::string workingDirectory_;
    std::vector<std::string> environment_;
    std::vector<char*> argv_;
    std::vector<char*> envp_;
};

// Runs fn(context) in a copy of this process and waits for it: a fault,
// allocator deadlock or hang there costs only the copy, which is ended after
// `timeoutSeconds`. True when fn returned. Where processes cannot be copied
// (Windows) fn runs in this process. Safe in a signal handler on the
// caller's side; the copy has only the calling thread, signal handlers back
// at their defaults, and runs fn on a fresh 8 MiB stack of its own.
bool RunInProcessCopy(void (*fn)(void* context), void* context, unsigned timeoutSeconds);

// Ends the copy RunInProcessCopy is waiting for, if any. Safe in a signal
// handler.
void KillProcessCopy();

} // namespace platform
