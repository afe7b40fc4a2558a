#include "platform/CrashProcess.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/mman.h>
#include <sys/wait.h>
#include <ucontext.h>
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

// The copy's work runs on a stack of its own: the handler may be on a small
// alternate stack that another library gave the faulting thread.
constexpr std::size_t kCopyStackSize = 8 * 1024 * 1024;
void (*g_copyFn)(void*) = nullptr;
void* g_copyContext = nullptr;

void RunCopyWork()
{
    g_copyFn(g_copyContext);
}

void RunOnFreshStack(void (*fn)(void*), void* context)
{
    g_copyFn = fn;
    g_copyContext = context;
    void* stack = mmap(nullptr, kCopyStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                       -1, 0);
    ucontext_t caller;
    ucontext_t work;
    if (stack == MAP_FAILED || getcontext(&work) != 0) {
        fn(context);
        return;
    }
    work.uc_stack.ss_sp = stack;
    work.uc_stack.ss_size = kCopyStackSize;
    work.uc_link = &caller;
    makecontext(&work, RunCopyWork, 0);
    swapcontext(&caller, &work);
}

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
        RunOnFreshStack(fn, context);
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
