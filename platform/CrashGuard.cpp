#include "platform/CrashGuard.h"

#include "platform/CrashProcess.h"
#include "platform/SafeFile.h"
#include "platform/ThreadContext.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <exception>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

std::atomic<CrashFilter> g_filter{nullptr};
std::atomic<CrashAbandon> g_abandon{nullptr};
std::terminate_handler g_previousTerminate = nullptr;

// The file to delete: written into the slot not in use, then published, so
// that a crash while it is being set still finds a whole path.
char g_deleteSlots[2][4096];
std::atomic<int> g_deleteSlot{-1};

void DeletePublishedFile()
{
    const int slot = g_deleteSlot.load();
    if (slot >= 0)
        RemoveFile(g_deleteSlots[slot]);
}

} // namespace

std::uint32_t ExceptionCodeForSignal(int signal)
{
    switch (signal) {
    case SIGSEGV: return kCodeAccessViolation;
    case SIGILL: return kCodeIllegalInstruction;
    case SIGFPE: return kCodeDivideByZero;
    case SIGABRT: return kCodeFatalAppExit;
#ifdef SIGBUS
    case SIGBUS: return kCodeInPageError;
#endif
    default: return 0;
    }
}

int CrashExitStatus(const CrashInfo& info)
{
#ifdef _WIN32
    return static_cast<int>(info.code);
#else
    return 128 + info.signal;
#endif
}

void SetFileToDeleteOnCrash(const char* path)
{
    if (!path || !*path || std::strlen(path) >= sizeof g_deleteSlots[0]) {
        g_deleteSlot.store(-1);
        return;
    }
    const int next = g_deleteSlot.load() == 0 ? 1 : 0;
    std::strcpy(g_deleteSlots[next], path);
    g_deleteSlot.store(next);
}

#ifdef _WIN32

namespace {

[[noreturn]] void EndNow(const CrashInfo& info)
{
    DeletePublishedFile();
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(CrashExitStatus(info)));
    _exit(CrashExitStatus(info));
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers)
{
    CrashFilter filter = g_filter.load();
    if (!filter)
        return EXCEPTION_CONTINUE_SEARCH;
    CrashInfo info;
    info.code = pointers->ExceptionRecord->ExceptionCode;
    info.address = reinterpret_cast<std::uintptr_t>(pointers->ExceptionRecord->ExceptionAddress);
    info.context = pointers->ContextRecord;
    filter(info);
    EndNow(info);
}

[[noreturn]] void OnTerminate()
{
    // Raised rather than aborted, so that the filter sees it with a context.
    RaiseException(kCodeFatalAppExit, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    std::abort();
}

LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;

} // namespace

CrashGuard::CrashGuard(CrashFilter filter, CrashAbandon abandon)
{
    g_filter.store(filter);
    g_abandon.store(abandon);
    g_previousFilter = SetUnhandledExceptionFilter(OnUnhandledException);
    g_previousTerminate = std::set_terminate(OnTerminate);
}

CrashGuard::~CrashGuard()
{
    std::set_terminate(g_previousTerminate);
    SetUnhandledExceptionFilter(g_previousFilter);
    g_filter.store(nullptr);
}

// The filter runs in-process there; nothing watches it.
void SetCrashWatchdogSeconds(unsigned) {}
void PauseCrashWatchdog() {}
void RestartCrashWatchdog() {}

#else

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kSignalCount = sizeof kCrashSignals / sizeof kCrashSignals[0];
// Signals that ask the process to end: during a report they cut the stack
// walk short, so that the page is finished and shown at once.
constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

struct sigaction g_previousActions[kSignalCount];

std::atomic<unsigned> g_watchdogSeconds{10};
std::atomic<pid_t> g_reportingThread{0};
std::atomic<int> g_crashSignal{0};
std::atomic<bool> g_abandoned{false};

[[noreturn]] void EndNow(int signal)
{
    DeletePublishedFile();
    _exit(128 + signal);
}

void Abandon()
{
    const CrashAbandon abandon = g_abandon.load();
    if (!g_abandoned.exchange(true) && abandon)
        abandon();
}

void OnWatchdog(int)
{
    KillProcessCopy();
    Abandon();
    EndNow(g_crashSignal.load());
}

void OnEndRequest(int)
{
    const int saved = errno;
    KillProcessCopy();
    errno = saved;
}

// Outside a guarded run (reached through a handler that chains to this one):
// the default action, as if no guard had ever been there.
void ActAsDefault(int signal, const siginfo_t* info)
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    // A fault happens again when the instruction is re-run; a sent signal must
    // be sent again.
    if (!info || info->si_code <= 0)
        raise(signal);
}

[[noreturn]] void Park()
{
    for (;;)
        pause();
}

// Holds every other thread of the process still: each gets a crash signal
// of ours, and the handler parks a thread that is not the reporting one.
// Threads are listed from /proc with plain system calls.
void ParkOtherThreads(pid_t self)
{
    const int dir = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    const pid_t process = getpid();
    alignas(dirent64) char buffer[4096];
    for (;;) {
        const ssize_t n = getdents64(dir, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            pid_t tid = 0;
            const char* c = entry->d_name;
            for (; *c >= '0' && *c <= '9'; ++c)
                tid = tid * 10 + (*c - '0');
            if (*c == '\0' && tid > 0 && tid != self)
                tgkill(process, tid, SIGSEGV);
        }
    }
    close(dir);
}

// The rest of the process while one thread reports: the watchdog, end
// requests that cut the walk short, no death by a failed write.
void PrepareForReport()
{
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = OnWatchdog;
    sigaction(SIGALRM, &action, nullptr);
    action.sa_handler = OnEndRequest;
    for (const int sig : kEndSignals)
        sigaction(sig, &action, nullptr);
    // A closed pipe or the file-size limit fails a write instead of ending
    // the process half-way.
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
    sigaction(SIGXFSZ, &action, nullptr);

    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGALRM);
    for (const int sig : kEndSignals)
        sigaddset(&set, sig);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void OnCrashSignal(int signal, siginfo_t* info, void* signalContext)
{
    const CrashFilter filter = g_filter.load();
    if (!filter) {
        ActAsDefault(signal, info);
        return;
    }
    const pid_t self = gettid();
    // Sent by another process rather than raised by a fault or by this one.
    const bool fromOutside = info && info->si_code <= 0 && info->si_pid != getpid();
    pid_t reporter = 0;
    if (!g_reportingThread.compare_exchange_strong(reporter, self)) {
        if (fromOutside)
            KillProcessCopy();  // asked again: finish the report sooner
        if (reporter != self)
            Park();  // the reporting thread ends the process
        if (fromOutside)
            return;
        // A fault inside the report itself: end now, leaving nothing half-done.
        Abandon();
        EndNow(g_crashSignal.load());
    }
    g_crashSignal.store(signal);
    ParkOtherThreads(self);
    PrepareForReport();
    RestartCrashWatchdog();

    CrashInfo crash;
    crash.signal = signal;
    crash.code = ExceptionCodeForSignal(signal);
    crash.context = signalContext;
    if (signalContext) {
        ThreadContext registers;
        CopySignalContext(signalContext, registers);
        crash.address = registers.InstructionPointer();
    }
    filter(crash);
    EndNow(signal);
}

[[noreturn]] void OnTerminate()
{
    // The standard handler allocates to print the exception's type, which a
    // damaged heap can turn into a hang: go straight to the report.
    std::abort();
}

} // namespace

CrashGuard::CrashGuard(CrashFilter filter, CrashAbandon abandon)
{
    g_filter.store(filter);
    g_abandon.store(abandon);
    struct sigaction action {};
    action.sa_sigaction = OnCrashSignal;
    sigemptyset(&action.sa_mask);
    // SA_NODEFER: a second fault inside the handler enters it again and is
    // recognised there, instead of the kernel's forced default action.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    for (int i = 0; i < kSignalCount; ++i)
        sigaction(kCrashSignals[i], &action, &g_previousActions[i]);
    g_previousTerminate = std::set_terminate(OnTerminate);
}

CrashGuard::~CrashGuard()
{
    std::set_terminate(g_previousTerminate);
    for (int i = 0; i < kSignalCount; ++i)
        sigaction(kCrashSignals[i], &g_previousActions[i], nullptr);
    g_filter.store(nullptr);
    g_abandon.store(nullptr);
}

void SetCrashWatchdogSeconds(unsigned seconds)
{
    g_watchdogSeconds.store(seconds);
}

void PauseCrashWatchdog()
{
    alarm(0);
}

void RestartCrashWatchdog()
{
    alarm(g_watchdogSeconds.load());
}

#endif

} // namespace platform
