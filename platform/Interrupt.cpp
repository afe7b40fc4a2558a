#include "platform/Interrupt.h"

#include <atomic>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <csignal>
#endif

namespace platform {

namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set inside a signal handler");

} // namespace

bool Interrupted()
{
    return g_interrupted.load(std::memory_order_relaxed);
}

#ifdef _WIN32

namespace {

BOOL WINAPI OnControl(DWORD type)
{
    if (type != CTRL_C_EVENT || g_interrupted.exchange(true))
        return FALSE;  // a second one ends the program
    return TRUE;
}

} // namespace

void CatchInterrupt()
{
    g_interrupted = false;
    SetConsoleCtrlHandler(OnControl, TRUE);
}

void ReleaseInterrupt()
{
    SetConsoleCtrlHandler(OnControl, FALSE);
}

#else

namespace {

void OnInterrupt(int)
{
    g_interrupted.store(true, std::memory_order_relaxed);
    // The next one takes the default way out.
    std::signal(SIGINT, SIG_DFL);
}

} // namespace

void CatchInterrupt()
{
    g_interrupted = false;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

void ReleaseInterrupt()
{
    std::signal(SIGINT, SIG_DFL);
}

#endif

} // namespace platform
