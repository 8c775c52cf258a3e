// Frame comparison and rectangle copies: the hot pixel loops of screen capture.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "engine/screen/frame_compare.h"
#include "engine/screen/rect_copy.h"

namespace vexa::engine {
namespace {

struct Routine {
    const char* name;
    FrameCompareFn fn;
    bool available;
};

std::vector<Routine> Routines() {
    return {{"avx2", CompareAvx2, CpuHasAvx2()},
            {"sse2", CompareSse2, CpuHasSse2()},
            {"memcmp", CompareBytes, true}};
}

TEST(FrameCompare, FindsADifferenceAtEveryPositionOfEveryLength) {
    // Lengths around the 16-, 32- and 512-byte steps, with one byte changed at each position.
    for (const Routine& r : Routines()) {
        if (!r.available) continue;
        for (size_t len : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 511u, 512u, 513u, 1055u, 1100u}) {
            std::vector<uint8_t> a(len), b(len);
            std::iota(a.begin(), a.end(), 7);
            b = a;
            EXPECT_EQ(r.fn(a.data(), b.data(), len), 0) << r.name << " len " << len;
            for (size_t i = 0; i < len; ++i) {
                b[i] ^= 0x40;
                EXPECT_NE(r.fn(a.data(), b.data(), len), 0) << r.name << " len " << len << " at " << i;
                b[i] = a[i];
            }
        }
    }
}

TEST(FrameCompare, UnalignedBuffersAndChosenRoutine) {
    std::vector<uint8_t> a(4096 + 3, 1), b(4096 + 3, 1);
    b[4096 + 2] = 2;
    EXPECT_NE(FrameCompare()(a.data() + 3, b.data() + 3, 4096), 0);
    EXPECT_EQ(FrameCompare()(a.data() + 1, b.data() + 1, 4000), 0);
    EXPECT_STRNE(FrameCompareName(), "");
}

// Intel's rules for using AVX: the processor has AVX2 and AVX, and the operating system has enabled
// XSAVE (OSXSAVE) with both the SSE and the AVX register state in XCR0.
TEST(FrameCompare, AvxIsChosenOnlyWhenTheOperatingSystemSavesItsRegisters) {
    constexpr uint32_t kSse = 1u << 25, kSse2 = 1u << 26;     // leaf 1 EDX
    constexpr uint32_t kOsxsave = 1u << 27, kAvx = 1u << 28;  // leaf 1 ECX
    constexpr uint32_t kAvx2 = 1u << 5;                       // leaf 7 EBX
    using R = CompareRoutine;
    struct Case {
        const char* what;
        CpuFeatureBits bits;
        CompareRoutine want;
    } cases[] = {
        {"everything, XCR0 = x87 | SSE | AVX", {kOsxsave | kAvx, kSse | kSse2, kAvx2, 0x7}, R::kAvx2},
        {"AVX-512 state saved too", {kOsxsave | kAvx, kSse | kSse2, kAvx2, 0xE7}, R::kAvx2},
        {"no OSXSAVE: XCR0 cannot be read", {kAvx, kSse | kSse2, kAvx2, 0}, R::kSse2},
        {"OSXSAVE but the AVX state is not saved", {kOsxsave | kAvx, kSse | kSse2, kAvx2, 0x3}, R::kSse2},
        {"OSXSAVE but the SSE state is not saved", {kOsxsave | kAvx, kSse | kSse2, kAvx2, 0x5}, R::kSse2},
        {"AVX2 without AVX", {kOsxsave, kSse | kSse2, kAvx2, 0x7}, R::kSse2},
        {"AVX without AVX2", {kOsxsave | kAvx, kSse | kSse2, 0, 0x7}, R::kSse2},
        {"SSE2 without SSE", {0, kSse2, 0, 0}, R::kBytes},
        {"nothing", {}, R::kBytes},
    };
    for (const Case& c : cases) EXPECT_EQ(ChooseCompareRoutine(c.bits), c.want) << c.what;

    // This machine: the routine in use is the one its bits allow.
    const char* names[] = {"memcmp", "sse2", "avx2"};
    EXPECT_STREQ(FrameCompareName(), names[static_cast<int>(ChooseCompareRoutine(ReadCpuFeatureBits()))]);
}

// A small picture whose pixel (x, y) holds x + 100 × y, stored in the given row order.
std::vector<uint32_t> Picture(int w, int h, bool bottom_up) {
    std::vector<uint32_t> p(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p[static_cast<size_t>(bottom_up ? h - 1 - y : y) * w + x] = x + 100 * y;
    return p;
}

uint32_t At(const std::vector<uint32_t>& p, int w, int h, bool bottom_up, int x, int y) {
    return p[static_cast<size_t>(bottom_up ? h - 1 - y : y) * w + x];
}

TEST(RectCopy, ClipsAgainstBothBuffersInAnyRowOrder) {
    for (bool src_up : {false, true}) {
        for (bool dst_up : {false, true}) {
            std::vector<uint32_t> src = Picture(10, 8, src_up);
            std::vector<uint32_t> dst(6 * 5, 0xDEAD);
            // A 4 × 4 block from (8, 6) of the source to (-1, 3) of the destination: only the
            // overlap (x 8..9 of the source → 0..0 of the destination after the left clip) lands.
            CopyRect({reinterpret_cast<uint8_t*>(dst.data()), 6, 5, dst_up}, -1, 3,
                     {reinterpret_cast<const uint8_t*>(src.data()), 10, 8, src_up}, 8, 6, 4, 4);
            for (int y = 0; y < 5; ++y) {
                for (int x = 0; x < 6; ++x) {
                    const uint32_t got = At(dst, 6, 5, dst_up, x, y);
                    const bool inside = x == 0 && (y == 3 || y == 4);
                    const uint32_t want = inside ? static_cast<uint32_t>(9 + 100 * (6 + y - 3)) : 0xDEAD;
                    EXPECT_EQ(got, want) << src_up << dst_up << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(RectCopy, NothingOutsideEitherBuffer) {
    std::vector<uint32_t> src = Picture(4, 4, false), dst(16, 0);
    CopyRect({reinterpret_cast<uint8_t*>(dst.data()), 4, 4, false}, 10, 10,
             {reinterpret_cast<const uint8_t*>(src.data()), 4, 4, false}, 0, 0, 4, 4);
    CopyRect({reinterpret_cast<uint8_t*>(dst.data()), 4, 4, false}, 0, 0,
             {reinterpret_cast<const uint8_t*>(src.data()), 4, 4, false}, -8, 0, 4, 4);
    EXPECT_EQ(std::accumulate(dst.begin(), dst.end(), 0u), 0u);
}

TEST(BlendArgb, OpaqueTransparentAndHalf) {
    std::vector<uint32_t> dst(3, 0xFF204060u);                           // B 0x60, G 0x40, R 0x20
    const uint32_t cursor[3] = {0xFFFFFFFFu, 0x00000000u, 0x80800000u};  // white, clear, half red
    BlendArgb({reinterpret_cast<uint8_t*>(dst.data()), 3, 1, false}, 0, 0, cursor, 3, 1);
    EXPECT_EQ(dst[0], 0xFFFFFFFFu);
    EXPECT_EQ(dst[1], 0xFF204060u);
    const uint32_t half = dst[2];
    EXPECT_NEAR(static_cast<int>((half >> 16) & 0xFF), 0x80 + 0x20 / 2, 1);  // red
    EXPECT_NEAR(static_cast<int>(half & 0xFF), 0x60 / 2, 1);                 // blue
}

TEST(BlendArgb, SaturatesImagesThatAreNotPremultiplied) {
    std::vector<uint32_t> dst(1, 0xFFFFFFFFu);
    const uint32_t bad = 0x10FF0000u;  // red above its alpha
    BlendArgb({reinterpret_cast<uint8_t*>(dst.data()), 1, 1, false}, 0, 0, &bad, 1, 1);
    EXPECT_EQ((dst[0] >> 16) & 0xFF, 0xFFu);
}

}  // namespace
}  // namespace vexa::engine
