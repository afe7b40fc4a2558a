#include "platform/ThreadContext.h"

#include <cstring>

#ifndef _WIN32
#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <mutex>
#endif

namespace platform {

#ifdef _WIN32

std::uint64_t ThreadContext::InstructionPointer() const
{
#if defined(_M_X64) || defined(__x86_64__)
    return native.Rip;
#else
    return 0;
#endif
}

std::uint64_t ThreadContext::StackPointer() const
{
#if defined(_M_X64) || defined(__x86_64__)
    return native.Rsp;
#else
    return 0;
#endif
}

std::uint64_t ThreadContext::FramePointer() const
{
#if defined(_M_X64) || defined(__x86_64__)
    return native.Rbp;
#else
    return 0;
#endif
}

void CopySignalContext(const void* signalContext, ThreadContext& out)
{
    std::memcpy(&out.native, signalContext, sizeof out.native);
    out.exactInstruction = true;
}

ThreadHandle CurrentThread()
{
    return GetCurrentThread();
}

bool IsCurrentThread(ThreadHandle thread)
{
    return thread == GetCurrentThread() || GetThreadId(thread) == GetCurrentThreadId();
}

namespace {
HANDLE g_held = nullptr;
}

bool HoldThreadAndCapture(ThreadHandle thread, ThreadContext& out, unsigned)
{
    if (IsCurrentThread(thread) || SuspendThread(thread) == static_cast<DWORD>(-1))
        return false;
    std::memset(&out.native, 0, sizeof out.native);
    out.native.ContextFlags = CONTEXT_FULL;
    if (!GetThreadContext(thread, &out.native)) {
        ResumeThread(thread);
        return false;
    }
    out.exactInstruction = true;
    g_held = thread;
    return true;
}

void ResumeHeldThread()
{
    if (g_held)
        ResumeThread(g_held);
    g_held = nullptr;
}

#else

std::uint64_t ThreadContext::InstructionPointer() const
{
#if defined(__x86_64__)
    return static_cast<std::uint64_t>(native.uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return native.uc_mcontext.pc;
#else
    return 0;
#endif
}

std::uint64_t ThreadContext::StackPointer() const
{
#if defined(__x86_64__)
    return static_cast<std::uint64_t>(native.uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
    return native.uc_mcontext.sp;
#else
    return 0;
#endif
}

std::uint64_t ThreadContext::FramePointer() const
{
#if defined(__x86_64__)
    return static_cast<std::uint64_t>(native.uc_mcontext.gregs[REG_RBP]);
#elif defined(__aarch64__)
    return native.uc_mcontext.regs[29];
#else
    return 0;
#endif
}

void CopySignalContext(const void* signalContext, ThreadContext& out)
{
    // Plain bytes: memcpy is safe in a signal handler. The copy's pointer to
    // the saved floating-point state still points into the signal frame.
    std::memcpy(&out.native, signalContext, sizeof out.native);
    out.exactInstruction = true;
}

ThreadHandle CurrentThread()
{
    return pthread_self();
}

bool IsCurrentThread(ThreadHandle thread)
{
    return pthread_equal(thread, pthread_self()) != 0;
}

namespace {

// The held thread parks in its signal handler until released: the handler
// copies its registers, says so, and waits. States of the one hold at a time:
enum HoldState : int { kIdle, kAsked, kHeld, kReleased };

std::atomic<int> g_holdState{kIdle};
std::atomic<pthread_t> g_holdTarget{};
ucontext_t g_heldContext;  // written by the held thread before kHeld, read after
std::once_flag g_holdHandlerOnce;

int HoldSignal()
{
    // A real-time signal nobody else here uses: queued, never merged.
    return SIGRTMIN + 4;
}

void SleepBriefly()
{
    timespec ts{0, 500 * 1000};
    nanosleep(&ts, nullptr);
}

void OnHoldSignal(int, siginfo_t*, void* signalContext)
{
    const int savedErrno = errno;
    // A late signal from a hold that was given up, or one meant for another
    // thread, changes nothing.
    if (g_holdState.load() == kAsked && pthread_equal(g_holdTarget.load(), pthread_self())) {
        std::memcpy(&g_heldContext, signalContext, sizeof g_heldContext);
        int expected = kAsked;
        if (g_holdState.compare_exchange_strong(expected, kHeld)) {
            while (g_holdState.load() == kHeld)
                SleepBriefly();
            g_holdState.store(kIdle);
        }
    }
    errno = savedErrno;
}

void InstallHoldHandler()
{
    struct sigaction action {};
    action.sa_sigaction = OnHoldSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigaction(HoldSignal(), &action, nullptr);
}

} // namespace

bool HoldThreadAndCapture(ThreadHandle thread, ThreadContext& out, unsigned timeoutMs)
{
    if (IsCurrentThread(thread))
        return false;
    std::call_once(g_holdHandlerOnce, InstallHoldHandler);
    int expected = kIdle;
    if (!g_holdState.compare_exchange_strong(expected, kAsked))
        return false;  // another hold is going on
    g_holdTarget.store(thread);
    if (pthread_kill(thread, HoldSignal()) != 0) {
        g_holdState.store(kIdle);
        return false;
    }
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (g_holdState.load() == kHeld)
            break;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long elapsedMs = (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (elapsedMs >= static_cast<long long>(timeoutMs)) {
            expected = kAsked;
            if (g_holdState.compare_exchange_strong(expected, kIdle))
                return false;  // no answer: the thread keeps running untouched
            break;             // it answered just now
        }
        SleepBriefly();
    }
    std::memcpy(&out.native, &g_heldContext, sizeof out.native);
    out.exactInstruction = true;
    return true;
}

void ResumeHeldThread()
{
    int expected = kHeld;
    if (!g_holdState.compare_exchange_strong(expected, kReleased))
        return;
    while (g_holdState.load() == kReleased)
        SleepBriefly();
}

#endif

} // namespace platform
