#include "platform/GuardedRead.h"

#include <cstring>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <atomic>
#include <csetjmp>
#include <mutex>
#include <signal.h>
#endif

namespace platform {

#ifdef _WIN32

void InstallReadGuard() {}

bool RunGuarded(const void* regionBegin, std::size_t regionSize, void (*fn)(void*), void* context)
{
    (void)regionBegin;
    (void)regionSize;
#ifdef _MSC_VER
    __try {
        fn(context);
    } __except (GetExceptionCode() == EXCEPTION_IN_PAGE_ERROR ? EXCEPTION_EXECUTE_HANDLER
                                                               : EXCEPTION_CONTINUE_SEARCH) {
        return false;
    }
#else
    fn(context);
#endif
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
