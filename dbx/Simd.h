#pragma once
// Whether the inner loops over a whole file (the block scan, the search of
// message texts) may take 32 bytes at a step: x86-64 CPUs with AVX2, asked
// at start. Elsewhere, and on Windows, where GCC cannot align the stack for
// 32-byte spills, they take 16 (SSE2) or go byte by byte.

#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#define QUILLMEND_WIDE_SIMD 1
#else
#define QUILLMEND_WIDE_SIMD 0
#endif

namespace dbx::simd {

// Safe to ask anywhere, inside guarded reads as well: it takes no lock.
bool Wide();

// The 16-byte paths even on a CPU that has wider ones, so that tests reach
// both.
void SetBaselineForTesting(bool baseline);

} // namespace dbx::simd
