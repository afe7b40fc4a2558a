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
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

std::atomic<CrashFilter> g_filter{nullptr};
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

CrashGuard::CrashGuard(CrashFilter filter)
{
    g_filter.store(filter);
    g_previousFilter = SetUnhandledExceptionFilter(OnUnhandledException);
    g_previousTerminate = std::set_terminate(OnTerminate);
}

CrashGuard::~CrashGuard()
{
    std::set_terminate(g_previousTerminate);
    SetUnhandledExceptionFilter(g_previousFilter);
    g_filter.store(nullptr);
}

void SetCrashWatchdog(unsigned)
{
    // The filter runs in-process there; nothing watches it.
}

#else

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kSignalCount = sizeof kCrashSignals / sizeof kCrashSignals[0];
constexpr unsigned kWatchdogSeconds = 10;
// Room for the handler; the stack walk runs in a copy of the process on a
// stack of its own.
constexpr std::size_t kAltStackSize = 256 * 1024;

struct sigaction g_previousActions[kSignalCount];
stack_t g_previousAltStack{};
void* g_altStackMapping = nullptr;
std::size_t g_altStackMappingSize = 0;

std::atomic<pid_t> g_reportingThread{0};
std::atomic<int> g_crashSignal{0};

[[noreturn]] void EndNow(int signal)
{
    DeletePublishedFile();
    _exit(128 + signal);
}

void OnWatchdog(int)
{
    KillProcessCopy();
    EndNow(g_crashSignal.load());
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

void OnCrashSignal(int signal, siginfo_t* info, void* signalContext)
{
    const CrashFilter filter = g_filter.load();
    if (!filter) {
        ActAsDefault(signal, info);
        return;
    }
    const pid_t self = gettid();
    pid_t reporter = 0;
    if (!g_reportingThread.compare_exchange_strong(reporter, self)) {
        if (reporter == self)
            EndNow(g_crashSignal.load());  // a fault inside the report itself
        for (;;)
            pause();  // another thread is reporting and will end the process
    }
    g_crashSignal.store(signal);

    struct sigaction watchdog {};
    watchdog.sa_handler = OnWatchdog;
    sigemptyset(&watchdog.sa_mask);
    sigaction(SIGALRM, &watchdog, nullptr);
    sigset_t alarmOnly;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    pthread_sigmask(SIG_UNBLOCK, &alarmOnly, nullptr);
    alarm(kWatchdogSeconds);

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

void InstallAltStack()
{
    const long page = sysconf(_SC_PAGESIZE);
    const std::size_t pageSize = page > 0 ? static_cast<std::size_t>(page) : 4096;
    const std::size_t size = kAltStackSize + pageSize;
    void* mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        return;  // faults are still caught, only a stack overflow is not
    mprotect(mapping, pageSize, PROT_NONE);  // an overflow of this stack faults, too
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(mapping) + pageSize;
    stack.ss_size = kAltStackSize;
    if (sigaltstack(&stack, &g_previousAltStack) != 0) {
        munmap(mapping, size);
        return;
    }
    g_altStackMapping = mapping;
    g_altStackMappingSize = size;
}

void RemoveAltStack()
{
    if (!g_altStackMapping)
        return;
    if (g_previousAltStack.ss_flags & SS_DISABLE) {
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
    } else {
        sigaltstack(&g_previousAltStack, nullptr);
    }
    munmap(g_altStackMapping, g_altStackMappingSize);
    g_altStackMapping = nullptr;
}

} // namespace

CrashGuard::CrashGuard(CrashFilter filter)
{
    InstallAltStack();
    g_filter.store(filter);
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
    RemoveAltStack();
}

void SetCrashWatchdog(unsigned seconds)
{
    alarm(seconds);
}

#endif

} // namespace platform
