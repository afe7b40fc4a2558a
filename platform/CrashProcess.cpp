#include "platform/CrashProcess.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace platform {

#ifdef _WIN32

void PreparedProgram::Prepare(const std::string& path, const std::string& workingDirectory)
{
    path_ = path;
    workingDirectory_ = workingDirectory;
}

bool PreparedProgram::RunAndWait() const
{
    if (path_.empty())
        return false;
    char commandLine[520] = {};
    path_.copy(commandLine, sizeof commandLine - 1);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                        workingDirectory_.empty() ? nullptr : workingDirectory_.c_str(), &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool RunInProcessCopy(void (*fn)(void*), void* context, unsigned)
{
    fn(context);
    return true;
}

void KillProcessCopy() {}

#else

namespace {

std::atomic<pid_t> g_copy{0};

// The child of a fork inside a crash handler: signals back to their defaults
// and unblocked, so that it can be ended and a fault ends it.
void ResetSignals()
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP)
            sigaction(sig, &action, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

bool WaitFor(pid_t pid, int& status)
{
    for (;;) {
        if (waitpid(pid, &status, 0) == pid)
            return true;
        if (errno != EINTR)
            return false;
    }
}

} // namespace

void PreparedProgram::Prepare(const std::string& path, const std::string& workingDirectory)
{
    path_ = path;
    workingDirectory_ = workingDirectory;
    environment_.clear();
    for (char** e = environ; e && *e; ++e)
        environment_.emplace_back(*e);
    argv_ = {path_.data(), nullptr};
    envp_.clear();
    for (std::string& e : environment_)
        envp_.push_back(e.data());
    envp_.push_back(nullptr);
}

bool PreparedProgram::RunAndWait() const
{
    if (path_.empty())
        return false;
    const pid_t pid = _Fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ResetSignals();
        if (!workingDirectory_.empty() && chdir(workingDirectory_.c_str()) != 0)
            _exit(127);
        close_range(3, ~0U, 0);  // no open file of the crashed program goes along
        execve(path_.c_str(), argv_.data(), envp_.data());
        _exit(127);
    }
    int status = 0;
    WaitFor(pid, status);
    return true;
}

bool RunInProcessCopy(void (*fn)(void*), void* context, unsigned timeoutSeconds)
{
    const pid_t pid = _Fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ResetSignals();
        alarm(timeoutSeconds);  // its default action ends the copy
        fn(context);
        _exit(0);
    }
    g_copy.store(pid);
    int status = 0;
    const bool waited = WaitFor(pid, status);
    g_copy.store(0);
    return waited && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void KillProcessCopy()
{
    const pid_t pid = g_copy.load();
    if (pid > 0)
        kill(pid, SIGKILL);
}

#endif

} // namespace platform
