#include "engine/screen/frame_compare.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define VEXA_X86 1
#endif

namespace vexa::engine {

int CompareBytes(const void* a, const void* b, size_t bytes) {
    return bytes != 0 && std::memcmp(a, b, bytes) != 0;  // empty buffers may have no address at all
}

CompareRoutine ChooseCompareRoutine(const CpuFeatureBits& bits) {
    constexpr uint32_t kSse = 1u << 25, kSse2 = 1u << 26;     // leaf 1 EDX
    constexpr uint32_t kOsxsave = 1u << 27, kAvx = 1u << 28;  // leaf 1 ECX
    constexpr uint32_t kAvx2 = 1u << 5;                       // leaf 7 EBX
    constexpr uint64_t kSseAndAvxState = 0x6;                 // XCR0 bits 1 (XMM) and 2 (YMM)
    const bool os_saves_avx = (bits.leaf1_ecx & kOsxsave) && (bits.xcr0 & kSseAndAvxState) == kSseAndAvxState;
    if ((bits.leaf1_ecx & kAvx) && (bits.leaf7_ebx & kAvx2) && os_saves_avx) return CompareRoutine::kAvx2;
    if ((bits.leaf1_edx & kSse) && (bits.leaf1_edx & kSse2)) return CompareRoutine::kSse2;
    return CompareRoutine::kBytes;
}

#ifdef VEXA_X86

CpuFeatureBits ReadCpuFeatureBits() {
    CpuFeatureBits bits;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return bits;
    bits.leaf1_ecx = ecx;
    bits.leaf1_edx = edx;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) bits.leaf7_ebx = ebx;
    if (bits.leaf1_ecx & (1u << 27)) {  // OSXSAVE: XGETBV may be used
        uint32_t lo = 0, hi = 0;
        __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        bits.xcr0 = (static_cast<uint64_t>(hi) << 32) | lo;
    }
    return bits;
}

bool CpuHasAvx2() {
    return ChooseCompareRoutine(ReadCpuFeatureBits()) == CompareRoutine::kAvx2;
}

bool CpuHasSse2() {
    return ChooseCompareRoutine(ReadCpuFeatureBits()) != CompareRoutine::kBytes;
}

__attribute__((target("avx2"))) int CompareAvx2(const void* a, const void* b, size_t bytes) {
    const auto* pa = static_cast<const unsigned char*>(a);
    const auto* pb = static_cast<const unsigned char*>(b);
    size_t i = 0;
    // 512-byte blocks: OR the differences of sixteen 32-byte lanes, test once.
    for (; i + 512 <= bytes; i += 512) {
        __m256i acc = _mm256_setzero_si256();
        for (size_t k = 0; k < 512; k += 32) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pa + i + k));
            const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pb + i + k));
            acc = _mm256_or_si256(acc, _mm256_xor_si256(x, y));
        }
        if (!_mm256_testz_si256(acc, acc)) return 1;
    }
    for (; i + 32 <= bytes; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pa + i));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pb + i));
        const __m256i d = _mm256_xor_si256(x, y);
        if (!_mm256_testz_si256(d, d)) return 1;
    }
    return CompareBytes(pa + i, pb + i, bytes - i);
}

int CompareSse2(const void* a, const void* b, size_t bytes) {
    const auto* pa = static_cast<const unsigned char*>(a);
    const auto* pb = static_cast<const unsigned char*>(b);
    size_t i = 0;
    for (; i + 16 <= bytes; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pa + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)) != 0xFFFF) return 1;
    }
    return CompareBytes(pa + i, pb + i, bytes - i);
}

#else

CpuFeatureBits ReadCpuFeatureBits() {
    return {};
}
bool CpuHasAvx2() {
    return false;
}
bool CpuHasSse2() {
    return false;
}
int CompareAvx2(const void* a, const void* b, size_t bytes) {
    return CompareBytes(a, b, bytes);
}
int CompareSse2(const void* a, const void* b, size_t bytes) {
    return CompareBytes(a, b, bytes);
}

#endif

namespace {

struct Choice {
    FrameCompareFn fn;
    const char* name;
};

Choice ChoiceFor(CompareRoutine routine) {
    switch (routine) {
        case CompareRoutine::kAvx2:
            return {CompareAvx2, "avx2"};
        case CompareRoutine::kSse2:
            return {CompareSse2, "sse2"};
        case CompareRoutine::kBytes:
            break;
    }
    return {CompareBytes, "memcmp"};
}

const Choice& Chosen() {
    static const Choice choice = ChoiceFor(ChooseCompareRoutine(ReadCpuFeatureBits()));
    return choice;
}

}  // namespace

FrameCompareFn FrameCompare() {
    return Chosen().fn;
}
const char* FrameCompareName() {
    return Chosen().name;
}

}  // namespace vexa::engine
