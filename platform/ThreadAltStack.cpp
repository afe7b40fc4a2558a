#include "platform/ThreadAltStack.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <csignal>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace platform {

#ifdef _WIN32

// Windows runs the exception filter on the faulting thread's own stack; a
// guarantee keeps room for it after an overflow.
ThreadAltStack::ThreadAltStack()
{
    ULONG size = static_cast<ULONG>(64 * 1024);
    usable_ = SetThreadStackGuarantee(&size) != 0;
}

ThreadAltStack::~ThreadAltStack() = default;

#else

ThreadAltStack::ThreadAltStack()
{
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) {
        hadStack_ = true;
        previousStack_ = current.ss_sp;
        previousSize_ = current.ss_size;
        previousFlags_ = current.ss_flags;
        if (current.ss_size >= kSize) {
            usable_ = true;  // a library's own, big enough: left as it is
            return;
        }
    }
    const long page = sysconf(_SC_PAGESIZE);
    const std::size_t pageSize = page > 0 ? static_cast<std::size_t>(page) : 4096;
    const std::size_t size = kSize + pageSize;
    void* mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        usable_ = hadStack_;
        return;
    }
    mprotect(mapping, pageSize, PROT_NONE);  // an overflow of this stack faults, too
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(mapping) + pageSize;
    stack.ss_size = kSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(mapping, size);
        usable_ = hadStack_;
        return;
    }
    mapping_ = mapping;
    mappingSize_ = size;
    usable_ = true;
}

ThreadAltStack::~ThreadAltStack()
{
    if (!mapping_)
        return;
    stack_t previous{};
    if (hadStack_) {
        previous.ss_sp = previousStack_;
        previous.ss_size = previousSize_;
        previous.ss_flags = previousFlags_ & ~SS_ONSTACK;
    } else {
        previous.ss_flags = SS_DISABLE;
    }
    // Fails only while a handler runs on it; the stack then stays mapped.
    if (sigaltstack(&previous, nullptr) == 0)
        munmap(mapping_, mappingSize_);
}

#endif

} // namespace platform
