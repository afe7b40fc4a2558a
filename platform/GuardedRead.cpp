#include "platform/GuardedRead.h"

#include <cstring>

#include <atomic>
#include <csetjmp>
#include <cstdint>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <mutex>
#include <signal.h>
#endif

namespace platform {

#ifdef _WIN32

namespace {

struct Guard {
    const char* begin;
    std::size_t size;
    jmp_buf env;
};

// As on POSIX (below): the handler reads the guard of the thread it
// interrupts; an atomic, with signal fences around the guarded call, keeps
// the optimiser from dropping or moving the stores.
thread_local std::atomic<Guard*> t_guard{nullptr};
// Guarded runs under way in the process. While there are none, the handler
// returns before it touches the thread's guard, whose first use on a thread
// may allocate (MinGW emulates thread_local), which a fault inside the heap
// must not meet.
std::atomic<int> g_running{0};

#if !defined(_M_X64) && !defined(__x86_64__)
#error "the read guard resumes x86-64 threads only"
#endif

// Where a thread that faulted in a guarded region goes on.
[[noreturn]] void LeaveGuardedRun(Guard* guard)
{
    longjmp(guard->env, 1);
}

// The read guard's vectored exception handler, first in line. It acts only
// on a read fault whose address lies in the region guarded on the faulting
// thread: Windows raises EXCEPTION_IN_PAGE_ERROR for a page its file can no
// longer give, Wine EXCEPTION_ACCESS_VIOLATION for a file cut behind the
// mapping. It does not jump out of the exception dispatch: it ends the
// dispatch by resuming the thread in LeaveGuardedRun, which jumps back into
// RunGuarded. It writes nothing to the thread's stack, where the dispatch
// keeps the very context it resumes from.
LONG CALLBACK OnReadFault(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    const DWORD code = record->ExceptionCode;
    if ((code != EXCEPTION_IN_PAGE_ERROR && code != EXCEPTION_ACCESS_VIOLATION) || record->NumberParameters < 2
        || record->ExceptionInformation[0] != 0)  // 0: a read
        return EXCEPTION_CONTINUE_SEARCH;
    if (g_running.load(std::memory_order_relaxed) == 0)
        return EXCEPTION_CONTINUE_SEARCH;
    Guard* guard = t_guard.load(std::memory_order_relaxed);
    const auto address = static_cast<std::uintptr_t>(record->ExceptionInformation[1]);
    const auto begin = reinterpret_cast<std::uintptr_t>(guard ? guard->begin : nullptr);
    if (!guard || address < begin || address - begin >= guard->size)
        return EXCEPTION_CONTINUE_SEARCH;
    t_guard.store(nullptr, std::memory_order_relaxed);
    CONTEXT* context = pointers->ContextRecord;
    // Aligned as at a function's entry, below all the faulting code keeps on
    // its stack (Windows x64 has no red zone). LeaveGuardedRun never returns,
    // so its return address slot is never read.
    context->Rsp = (context->Rsp & ~DWORD64{15}) - sizeof(DWORD64);
    context->Rip = reinterpret_cast<DWORD64>(&LeaveGuardedRun);
    context->Rcx = reinterpret_cast<DWORD64>(guard);
    return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

void InstallReadGuard()
{
    // One handler for the process, first in line; it passes on every fault
    // outside a guarded read, so whatever handles faults after it (the crash
    // guard's filter) is unaffected.
    static void* const handler = AddVectoredExceptionHandler(1, OnReadFault);
    (void)handler;
}

bool RunGuarded(const void* regionBegin, std::size_t regionSize, void (*fn)(void*), void* context)
{
    InstallReadGuard();
    Guard guard;
    guard.begin = static_cast<const char*>(regionBegin);
    guard.size = regionSize;
    Guard* const outer = t_guard.load(std::memory_order_relaxed);
    g_running.fetch_add(1, std::memory_order_relaxed);
    if (setjmp(guard.env) != 0) {
        t_guard.store(outer, std::memory_order_relaxed);
        g_running.fetch_sub(1, std::memory_order_relaxed);
        return false;
    }
    // No frame: the C runtime's longjmp (MSVC's and MinGW's, which is
    // msvcrt's) then restores the registers without unwinding, which it
    // could not do from LeaveGuardedRun, a function nothing called.
    reinterpret_cast<_JUMP_BUFFER*>(&guard.env)->Frame = 0;
    t_guard.store(&guard, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    fn(context);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_guard.store(outer, std::memory_order_relaxed);
    g_running.fetch_sub(1, std::memory_order_relaxed);
    return true;
}

#else

namespace {

struct Guard {
    const char* begin;
    std::size_t size;
    sigjmp_buf env;
};

// The handler reads the guard of the thread it interrupts. As an atomic,
// and with signal fences around the guarded call, its stores can be neither
// dropped nor moved past the reads they protect, whatever the optimiser
// inlines: to the compiler a plain pointer that nothing reads before it is
// overwritten is a dead store, and the guard would be gone at -O3.
thread_local std::atomic<Guard*> t_guard{nullptr};
static_assert(std::atomic<Guard*>::is_always_lock_free, "the guard is read inside a signal handler");
struct sigaction g_previous {};
std::once_flag g_installOnce;

bool InGuardedRegion(const void* address)
{
    const Guard* g = t_guard.load(std::memory_order_relaxed);
    if (!g)
        return false;
    const auto* a = static_cast<const char*>(address);
    return a >= g->begin && static_cast<std::size_t>(a - g->begin) < g->size;
}

void OnBusError(int sig, siginfo_t* info, void* ucontext)
{
    // Only a fault raised by the kernel (si_code > 0) names an address; a
    // SIGBUS sent by kill() must never be taken for a read of the region.
    if (info && info->si_code > 0 && InGuardedRegion(info->si_addr)) {
        Guard* g = t_guard.load(std::memory_order_relaxed);
        t_guard.store(nullptr, std::memory_order_relaxed);
        siglongjmp(g->env, 1);
    }
    // Not ours: hand the fault to whoever had it before, or let it kill the
    // process the default way.
    if (g_previous.sa_flags & SA_SIGINFO) {
        if (g_previous.sa_sigaction) {
            g_previous.sa_sigaction(sig, info, ucontext);
            return;
        }
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(sig);
        return;
    }
    // With the default action back, a fault kills the process when the
    // access is re-executed; a sent signal has no access to re-execute.
    signal(sig, SIG_DFL);
    if (!info || info->si_code <= 0)
        raise(sig);
}

} // namespace

void InstallReadGuard()
{
    struct sigaction current {};
    sigaction(SIGBUS, nullptr, &current);
    if ((current.sa_flags & SA_SIGINFO) && current.sa_sigaction == OnBusError)
        return;
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    sigemptyset(&action.sa_mask);
    // SA_NODEFER: the handler leaves by siglongjmp without restoring the
    // signal mask, so SIGBUS must not stay blocked afterwards.
    action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
    sigaction(SIGBUS, &action, &g_previous);
}

bool RunGuarded(const void* regionBegin, std::size_t regionSize, void (*fn)(void*), void* context)
{
    std::call_once(g_installOnce, InstallReadGuard);
    Guard guard;
    guard.begin = static_cast<const char*>(regionBegin);
    guard.size = regionSize;
    Guard* const outer = t_guard.load(std::memory_order_relaxed);
    if (sigsetjmp(guard.env, 0) != 0) {
        t_guard.store(outer, std::memory_order_relaxed);
        return false;
    }
    t_guard.store(&guard, std::memory_order_relaxed);
    // Compiler barriers: no read of the region moves before the guard is in
    // place or after it is gone.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    fn(context);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_guard.store(outer, std::memory_order_relaxed);
    return true;
}

#endif

bool GuardedCopy(void* dst, const void* src, std::size_t n, const void* regionBegin, std::size_t regionSize)
{
    struct Args {
        void* dst;
        const void* src;
        std::size_t n;
    } args{dst, src, n};
    return RunGuarded(regionBegin, regionSize,
                      [](void* ctx) {
                          auto* a = static_cast<Args*>(ctx);
                          std::memcpy(a->dst, a->src, a->n);
                      },
                      &args);
}

} // namespace platform
