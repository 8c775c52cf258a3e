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

#ifdef VEXA_X86

bool CpuHasAvx2() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & (1u << 28))) return false;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    return ebx & (1u << 5);
}

bool CpuHasSse2() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    return (edx & (1u << 25)) && (edx & (1u << 26));
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

const Choice& Chosen() {
    static const Choice choice = CpuHasAvx2()   ? Choice{CompareAvx2, "avx2"}
                                 : CpuHasSse2() ? Choice{CompareSse2, "sse2"}
                                                : Choice{CompareBytes, "memcmp"};
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
