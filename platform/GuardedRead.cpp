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

// Volatile, with signal fences around the guarded call: the handler reads it
// in the middle of that call, so the optimiser must neither drop the store
// that arms it (the call never reads it) nor move the call's reads past it.
thread_local Guard* volatile t_guard = nullptr;
struct sigaction g_previous {};
std::once_flag g_installOnce;

bool InGuardedRegion(const void* address)
{
    const Guard* g = t_guard;
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
        Guard* g = t_guard;
        t_guard = nullptr;
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
    Guard* const outer = t_guard;
    if (sigsetjmp(guard.env, 0) != 0) {
        t_guard = outer;
        return false;
    }
    t_guard = &guard;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    fn(context);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_guard = outer;
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
