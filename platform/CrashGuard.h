#pragma once
// The crash guard: while one is in place, a fault of the process (a bad
// memory access, an illegal instruction, a division by zero, abort(), an
// exception nobody catches, or such a signal sent by another process) goes to
// a crash filter, after which the process ends at once with a non-zero
// status. POSIX: signal handlers on an alternate stack (so that a stack
// overflow of the guarding thread is caught too; other threads make their
// own, ThreadAltStack.h) and a terminate handler. Windows: an
// unhandled-exception filter and a terminate handler.
//
// While the filter runs, the other threads of the process are held still
// (a fault there waits for the report; the window takes no more input), a
// signal sent from outside to end the process (SIGTERM, SIGINT, SIGHUP,
// SIGQUIT, or a second crash signal) cuts the stack walk short instead of
// ending the process half-way, and SIGPIPE and SIGXFSZ are ignored.

#include "platform/ThreadAltStack.h"

#include <cstdint>

namespace platform {

// What a crash filter is told about a fault.
struct CrashInfo {
    std::uint32_t code = 0;           // Windows exception code; signals are mapped onto these
    std::uint64_t address = 0;        // the instruction that was running
    int signal = 0;                   // the POSIX signal; 0 on Windows
    const void* context = nullptr;    // machine context at the fault (ucontext_t / CONTEXT)
};

// The exception codes used for signals.
constexpr std::uint32_t kCodeAccessViolation = 0xC0000005;   // SIGSEGV
constexpr std::uint32_t kCodeInPageError = 0xC0000006;       // SIGBUS
constexpr std::uint32_t kCodeIllegalInstruction = 0xC000001D; // SIGILL
constexpr std::uint32_t kCodeDivideByZero = 0xC0000094;      // SIGFPE
constexpr std::uint32_t kCodeFatalAppExit = 0x40000015;      // SIGABRT, std::terminate

// The exception code for POSIX signal `signal` (0 for others).
std::uint32_t ExceptionCodeForSignal(int signal);

// Called once per process, on the thread that faulted, inside the signal
// handler: it may use only what is safe there (no allocation, no locks, no
// stdio). Its result is the filter verdict; the process ends after it in any
// case.
using CrashFilter = int (*)(const CrashInfo& info);

// Called at most once, instead of waiting for the filter to return, when the
// process must end before the filter is done: a fault inside the filter
// itself, or the watchdog. As safe as a filter; it should leave nothing
// half-done behind.
using CrashAbandon = void (*)();

// Puts the guard in place for its lifetime and takes it away again, giving
// back the handlers that were there before. One guard at a time. A SIGBUS
// read guard (GuardedRead.h) must be installed again after it, so that it
// stays in front of this one.
class CrashGuard {
public:
    explicit CrashGuard(CrashFilter filter, CrashAbandon abandon = nullptr);
    ~CrashGuard();
    CrashGuard(const CrashGuard&) = delete;
    CrashGuard& operator=(const CrashGuard&) = delete;

private:
    ThreadAltStack altStack_;
};

// The file deleted before the process ends after a crash (the preview file);
// nullptr or "" for none. Copied; may be called at any time from ordinary code
// on one thread, also while no guard is in place.
void SetFileToDeleteOnCrash(const char* path);

// The watchdog: the guard starts it before it calls the filter, and when it
// runs out the process ends (after the abandon call, deleting the file above),
// so that a hang can never leave a frozen window behind. Its time in seconds
// (default 10); set from ordinary code.
void SetCrashWatchdogSeconds(unsigned seconds);

// From inside a crash filter: stop the watchdog, around work that is bounded
// by other means (the stack walk in a copy of the process), and start it
// again with its whole time afterwards.
void PauseCrashWatchdog();
void RestartCrashWatchdog();

// The exit status after a crash: 128 + the signal on POSIX, the exception
// code on Windows.
int CrashExitStatus(const CrashInfo& info);

} // namespace platform
