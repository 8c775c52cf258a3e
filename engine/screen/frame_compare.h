// Frame comparison: non-zero when two equal-sized buffers differ. One process-wide routine is chosen
// by CPUID at first use: AVX2 (512-byte blocks, then 32-byte steps), else SSE2, else memcmp.
// All routines are pure and thread-safe.
#pragma once

#include <cstddef>

namespace vexa::engine {

using FrameCompareFn = int (*)(const void* a, const void* b, size_t bytes);

[[nodiscard]] FrameCompareFn FrameCompare();
[[nodiscard]] const char* FrameCompareName();

// The three routines, for tests and benchmarks (the AVX2 one must only be called when supported).
[[nodiscard]] int CompareAvx2(const void* a, const void* b, size_t bytes);
[[nodiscard]] int CompareSse2(const void* a, const void* b, size_t bytes);
[[nodiscard]] int CompareBytes(const void* a, const void* b, size_t bytes);
[[nodiscard]] bool CpuHasAvx2();
[[nodiscard]] bool CpuHasSse2();

}  // namespace vexa::engine
