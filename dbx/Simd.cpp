#include "dbx/Simd.h"

#include <atomic>

namespace dbx::simd {
namespace {

bool CpuHasWide()
{
#if QUILLMEND_WIDE_SIMD
    __builtin_cpu_init();  // may run before the library's own constructor
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

// Set before main, so that asking costs two loads and no lock. Asked before
// then, it reads false: the narrower path, which finds the same.
const bool g_cpuHasWide = CpuHasWide();
std::atomic<bool> g_baseline{false};

} // namespace

bool Wide()
{
    return g_cpuHasWide && !g_baseline.load(std::memory_order_relaxed);
}

void SetBaselineForTesting(bool baseline)
{
    g_baseline.store(baseline, std::memory_order_relaxed);
}

} // namespace dbx::simd
