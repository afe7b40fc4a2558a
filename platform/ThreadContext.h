#pragma once
// A thread's machine state (its registers at one instruction), captured on
// the calling thread, taken from a signal, or read from another thread that
// is held still meanwhile.

#include <cstdint>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <pthread.h>
#include <ucontext.h>
#endif

namespace platform {

#ifdef _WIN32
using ThreadHandle = HANDLE;
#else
using ThreadHandle = pthread_t;
#endif

struct ThreadContext {
#ifdef _WIN32
    CONTEXT native;
#else
    ucontext_t native;
#endif
    // True when the instruction pointer is the instruction that was running
    // (a fault, an interrupted thread), false when it is a return address
    // (a context captured by a call).
    bool exactInstruction = false;

    std::uint64_t InstructionPointer() const;
    std::uint64_t StackPointer() const;
    std::uint64_t FramePointer() const;
};

// Copies the machine context a signal handler (or exception filter) received.
void CopySignalContext(const void* signalContext, ThreadContext& out);

// The calling thread.
ThreadHandle CurrentThread();
bool IsCurrentThread(ThreadHandle thread);

// Holds `thread` still and copies its registers into `out`. False when the
// thread did not answer within `timeoutMs` (it blocks the signal used here,
// say) or it is the calling thread; it then runs on untouched. After true,
// call ResumeHeldThread once the registers and its stack have been used. One
// thread at a time, process-wide.
bool HoldThreadAndCapture(ThreadHandle thread, ThreadContext& out, unsigned timeoutMs);
// Lets the thread held by HoldThreadAndCapture run on.
void ResumeHeldThread();

} // namespace platform

// Captures the calling function's own registers into `ctx` (a
// platform::ThreadContext): a macro, because a helper function would capture
// its own frame, which is gone once it returns. Evaluates to true on success.
#ifdef _WIN32
#define PLATFORM_CAPTURE_CONTEXT(ctx) \
    ((ctx).exactInstruction = false, (ctx).native.ContextFlags = CONTEXT_FULL, RtlCaptureContext(&(ctx).native), true)
#else
#define PLATFORM_CAPTURE_CONTEXT(ctx) ((ctx).exactInstruction = false, ::getcontext(&(ctx).native) == 0)
#endif
