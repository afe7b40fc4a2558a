#pragma once
// Reading a mapped file that another program may truncate meanwhile. On
// POSIX systems a read of a mapped page past the new end of the file raises
// SIGBUS; on Windows EXCEPTION_IN_PAGE_ERROR (a file whose disk or share went
// away; Windows refuses to cut a mapped file), under Wine
// EXCEPTION_ACCESS_VIOLATION (a file cut by a Linux program). A guarded call
// turns that fault into a plain "false" for the operation that hit it.

#include <cstddef>
#include <cstdint>

namespace platform {

// Runs fn(context) and returns true, or returns false as soon as a read of
// [regionBegin, regionBegin + regionSize) inside it faults. The call is
// abandoned by a non-local jump, so fn must not own objects with destructors,
// hold locks or allocate across a read of the region: keep it a plain loop
// over plain data. A guard inside another covers only its own region.
// Other faults are passed on unchanged.
bool RunGuarded(const void* regionBegin, std::size_t regionSize,
                void (*fn)(void* context), void* context);

// Typed convenience: runs f() under the same contract.
template <class F>
bool Guarded(const void* regionBegin, std::size_t regionSize, F& f)
{
    return RunGuarded(regionBegin, regionSize,
                      [](void* ctx) { (*static_cast<F*>(ctx))(); }, &f);
}

// Puts the guard's fault handler in front of whatever handles SIGBUS now
// (a crash reporter, say), passing faults outside guarded reads on to it.
// RunGuarded installs it on first use; call it again after installing
// another SIGBUS handler. Windows: installs the guard's vectored exception
// handler, first in line, once per process.
void InstallReadGuard();

// Copies n bytes from a mapped region; false when the source faulted (the
// destination then holds an unspecified prefix).
bool GuardedCopy(void* dst, const void* src, std::size_t n,
                 const void* regionBegin, std::size_t regionSize);

} // namespace platform
