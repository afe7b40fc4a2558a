#include "platform/CrashProcess.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <csignal>
#include <windows.h>
#else
#include "platform/SafeFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

extern char** environ;
#endif

namespace platform {

#ifdef _WIN32

void PreparedProgram::Prepare(const std::string& path)
{
    path_ = path;
}

bool PreparedProgram::Start(const char* workingDirectory, int& error) const
{
    error = 0;
    if (path_.empty()) {
        error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    // Paths are UTF-8 inside the program: the wide calls take them whole.
    // The program is named apart from its command line, which holds it in
    // quotes, so that a folder with spaces ("C:\Program Files") cannot be
    // read as a shorter program's path. Fixed buffers: nothing allocates.
    wchar_t application[1024];
    wchar_t commandLine[1030] = L"\"";
    wchar_t folder[1024];
    const bool inFolder = workingDirectory && *workingDirectory;
    if (MultiByteToWideChar(CP_UTF8, 0, path_.c_str(), -1, application, 1024) <= 0
        || (inFolder && MultiByteToWideChar(CP_UTF8, 0, workingDirectory, -1, folder, 1024) <= 0)) {
        error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    lstrcatW(commandLine, application);
    lstrcatW(commandLine, L"\"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application, commandLine, nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP, nullptr,
                        inFolder ? folder : nullptr, &startup, &process)) {
        error = static_cast<int>(GetLastError());
        return false;
    }
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

void CallOnEndRequest(void (*handler)(int))
{
    for (const int signal : {SIGTERM, SIGINT, SIGBREAK})
        std::signal(signal, handler);
}

#else

namespace {

std::atomic<pid_t> g_copy{0};
std::atomic<bool> g_cutShort{false};

// How long a started program may take to reach execve: a local file starts
// in milliseconds; this only bounds a start that hangs (a working folder on
// a file system that does not answer).
constexpr long long kStartMs = 5000;

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

long long NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Waits until `fd` can be read or its last writer has gone; false when
// `deadlineMs` passes first. Signals that interrupt the wait do not end it.
bool WaitReadable(int fd, long long deadlineMs)
{
    for (;;) {
        const long long left = deadlineMs - NowMs();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        const int n = poll(&p, 1, static_cast<int>(left > 60000 ? 60000 : left));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

// Collects the child `pid`, waiting at most `maxMs` for it to end.
bool Reap(pid_t pid, int& status, long long maxMs)
{
    const long long deadline = NowMs() + maxMs;
    for (;;) {
        const pid_t got = waitpid(pid, &status, WNOHANG);
        if (got == pid)
            return true;
        if (got < 0 && errno != EINTR)
            return false;
        if (NowMs() >= deadline)
            return false;
        poll(nullptr, 0, 10);
    }
}

} // namespace

void PreparedProgram::Prepare(const std::string& path)
{
    path_ = path;
    environment_.clear();
    for (char** e = environ; e && *e; ++e)
        environment_.emplace_back(*e);
    argv_ = {path_.data(), nullptr};
    envp_.clear();
    for (std::string& e : environment_)
        envp_.push_back(e.data());
    envp_.push_back(nullptr);
}

bool PreparedProgram::Start(const char* workingDirectory, int& error) const
{
    error = 0;
    if (path_.empty()) {
        error = ENOENT;
        return false;
    }
    // The child reports a failed start through this pipe; a successful
    // execve closes it unwritten.
    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) {
        error = errno;
        return false;
    }
    const pid_t pid = _Fork();
    if (pid < 0) {
        error = errno;
        CloseFile(status[0]);
        CloseFile(status[1]);
        return false;
    }
    if (pid == 0) {
        CloseFile(status[0]);
        ResetSignals();
        setsid();
        int reason = 0;
        if (workingDirectory && *workingDirectory && chdir(workingDirectory) != 0) {
            reason = errno;
        } else {
            // No open file of the crashed program goes along but the
            // standard streams and the status pipe.
            const unsigned keep = static_cast<unsigned>(status[1]);
            if (keep > 3)
                close_range(3, keep - 1, 0);
            close_range(keep >= 3 ? keep + 1 : 3, ~0U, 0);
            execve(path_.c_str(), argv_.data(), envp_.data());
            reason = errno;
        }
        WriteAll(status[1], &reason, sizeof reason);
        _exit(127);
    }
    CloseFile(status[1]);
    int reason = ETIMEDOUT;
    bool started = false;
    if (WaitReadable(status[0], NowMs() + kStartMs)) {
        int answer = 0;
        ssize_t n;
        do
            n = read(status[0], &answer, sizeof answer);
        while (n < 0 && errno == EINTR);
        started = n == 0;
        reason = n == static_cast<ssize_t>(sizeof answer) && answer != 0 ? answer : EIO;
    }
    CloseFile(status[0]);
    if (started)
        return true;
    kill(pid, SIGKILL);
    int ignored = 0;
    Reap(pid, ignored, 500);
    error = reason;
    return false;
}

bool RunInProcessCopy(void (*fn)(void*), void* context, unsigned timeoutSeconds)
{
    if (g_cutShort.load())
        return false;
    // The copy holds the writing end until it ends: the wait below ends with
    // it, or at the time limit even when the copy cannot be ended.
    int done[2];
    if (pipe2(done, O_CLOEXEC) != 0)
        return false;
    const pid_t pid = _Fork();
    if (pid < 0) {
        CloseFile(done[0]);
        CloseFile(done[1]);
        return false;
    }
    if (pid == 0) {
        CloseFile(done[0]);
        ResetSignals();
        alarm(timeoutSeconds);  // its default action ends the copy
        RunOnFreshStack(fn, context);
        _exit(0);
    }
    CloseFile(done[1]);
    g_copy.store(pid);
    if (g_cutShort.load())
        kill(pid, SIGKILL);  // cut short while it was being made
    const bool ended = WaitReadable(done[0], NowMs() + static_cast<long long>(timeoutSeconds) * 1000 + 1000);
    CloseFile(done[0]);
    if (!ended)
        kill(pid, SIGKILL);
    int status = 0;
    const bool reaped = Reap(pid, status, ended ? 2000 : 500);
    g_copy.store(0);
    return reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void KillProcessCopy()
{
    g_cutShort.store(true);
    const pid_t pid = g_copy.load();
    if (pid > 0)
        kill(pid, SIGKILL);
}

void CallOnEndRequest(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

#endif

} // namespace platform
