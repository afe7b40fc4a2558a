#pragma once
// A stack of its own for the crash handler on the calling thread. A thread
// that overflows its stack can run no handler on that stack: without a
// second one the kernel ends the whole process with a bare "Segmentation
// fault" and no report. Every thread this program starts (std::thread,
// QThread::run, pool jobs that recurse) makes one first thing in its body:
//
//     std::thread worker([&] {
//         platform::ThreadAltStack altStack;
//         ...
//     });
//
// The crash guard makes one for the thread that puts it in place.

#include <cstddef>

namespace platform {

class ThreadAltStack {
public:
    // Gives the calling thread an alternate signal stack (with a guard page
    // below it) unless it has one of at least this size already; nothing
    // happens when memory is short. Must be destroyed on the same thread.
    ThreadAltStack();
    // Gives back the stack the thread had before.
    ~ThreadAltStack();
    ThreadAltStack(const ThreadAltStack&) = delete;
    ThreadAltStack& operator=(const ThreadAltStack&) = delete;

    // True when the thread has a usable stack for its handler now (ours or
    // one it had already).
    bool Usable() const { return usable_; }

    // Room for the crash handler; the stack walk runs in a copy of the
    // process on a stack of its own, so the handler itself needs little.
    static constexpr std::size_t kSize = 256 * 1024;

private:
    void* mapping_ = nullptr;
    std::size_t mappingSize_ = 0;
    bool usable_ = false;
    bool hadStack_ = false;
    void* previousStack_ = nullptr;
    std::size_t previousSize_ = 0;
    int previousFlags_ = 0;
};

} // namespace platform
