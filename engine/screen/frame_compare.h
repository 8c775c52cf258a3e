// Frame comparison: non-zero when two equal-sized buffers differ. One process-wide routine is chosen
// by CPUID at first use: AVX2 (512-byte blocks, then 32-byte steps) when the processor has it and
// the operating system saves the AVX registers, else SSE2, else memcmp.
// All routines are pure and thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

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

// What the processor and the operating system report: CPUID leaf 1 ECX and EDX, leaf 7 (sub-leaf 0)
// EBX (0 when the processor has no leaf 7), and XCR0 as XGETBV reads it (0 when OSXSAVE is clear:
// XGETBV itself faults then).
struct CpuFeatureBits {
    uint32_t leaf1_ecx = 0;
    uint32_t leaf1_edx = 0;
    uint32_t leaf7_ebx = 0;
    uint64_t xcr0 = 0;
};

enum class CompareRoutine : uint8_t { kBytes, kSse2, kAvx2 };

// The routine the bits allow. AVX2 needs AVX2 and AVX, and OSXSAVE with XCR0 saving both the SSE and
// the AVX register state: without the operating system's saving, AVX instructions fault or their
// registers are lost at a task switch. SSE2 needs SSE and SSE2.
[[nodiscard]] CompareRoutine ChooseCompareRoutine(const CpuFeatureBits& bits);
// The bits of this processor and operating system.
[[nodiscard]] CpuFeatureBits ReadCpuFeatureBits();

}  // namespace vexa::engine
