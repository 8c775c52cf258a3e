#include "platform/screen/x11_pixel_format.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace vexa::platform {
namespace {

TEST(PixelLayoutTest, AcceptsByteAlignedChannelsOfThirtyTwoBitPixels) {
    const auto bgra = MakePixelLayout(0xFF0000, 0xFF00, 0xFF, 32, false);
    ASSERT_TRUE(bgra);
    EXPECT_TRUE(bgra->IsBgra());
    EXPECT_EQ(bgra->alpha_shift, 24);

    const auto rgba = MakePixelLayout(0xFF, 0xFF00, 0xFF0000, 32, false);
    ASSERT_TRUE(rgba);
    EXPECT_FALSE(rgba->IsBgra());

    const auto alpha_low = MakePixelLayout(0xFF000000, 0xFF0000, 0xFF00, 32, false);
    ASSERT_TRUE(alpha_low);
    EXPECT_EQ(alpha_low->alpha_shift, 0);
}

TEST(PixelLayoutTest, RefusesOtherFormats) {
    EXPECT_FALSE(MakePixelLayout(0xF800, 0x7E0, 0x1F, 16, false));         // 16-bit
    EXPECT_FALSE(MakePixelLayout(0xFF0000, 0xFF00, 0xFF, 24, false));      // packed 24-bit
    EXPECT_FALSE(MakePixelLayout(0x3FF00000, 0xFFC00, 0x3FF, 32, false));  // 10-bit channels
    EXPECT_FALSE(MakePixelLayout(0xFF0000, 0xFF0000, 0xFF, 32, false));    // two channels share a byte
}

// One row of two pixels; each word holds R=0x11, G=0x22, B=0x33 and 0x44 in the free byte.
std::vector<uint8_t> WordsAsBytes(uint32_t word, bool msb_first) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 2; ++i) {
        for (int b = 0; b < 4; ++b) {
            const int shift = msb_first ? 24 - 8 * b : 8 * b;
            bytes.push_back(static_cast<uint8_t>(word >> shift));
        }
    }
    return bytes;
}

TEST(CopyRowsToBgraTest, ReordersChannelsForEveryLayout) {
    struct Case {
        unsigned long red, green, blue;
        bool msb_first;
        uint32_t word;
    };
    const std::array<Case, 4> cases{{
        {0xFF0000, 0xFF00, 0xFF, false, 0x44112233},
        {0xFF0000, 0xFF00, 0xFF, true, 0x44112233},
        {0xFF, 0xFF00, 0xFF0000, false, 0x44332211},
        {0xFF000000, 0xFF0000, 0xFF00, true, 0x11223344},
    }};
    for (const Case& c : cases) {
        const auto layout = MakePixelLayout(c.red, c.green, c.blue, 32, c.msb_first);
        ASSERT_TRUE(layout);
        const std::vector<uint8_t> src = WordsAsBytes(c.word, c.msb_first);
        std::vector<uint8_t> dst(8, 0);
        CopyRowsToBgra(*layout, src.data(), 8, dst.data(), 8, 2, 1);
        const std::vector<uint8_t> bgra{0x33, 0x22, 0x11, 0x44, 0x33, 0x22, 0x11, 0x44};
        EXPECT_EQ(dst, bgra) << "masks " << c.red << "/" << c.green << "/" << c.blue << " msb "
                             << c.msb_first;
        // Turned in place (a grab the server wrote straight into the frame) gives the same bytes.
        std::vector<uint8_t> in_place = src;
        CopyRowsToBgra(*layout, in_place.data(), 8, in_place.data(), 8, 2, 1);
        EXPECT_EQ(in_place, bgra) << "in place, masks " << c.red << "/" << c.green << "/" << c.blue;
    }
}

TEST(CopyRowsToBgraTest, HonoursBothStridesAndLeavesPaddingAlone) {
    const PixelLayout bgra;
    // Three rows of two pixels; the source has one pixel of padding per row, the target two.
    std::vector<uint32_t> src(9);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint32_t>(i + 1);
    std::vector<uint32_t> dst(12, 0xDEADBEEF);
    CopyRowsToBgra(bgra, reinterpret_cast<const uint8_t*>(src.data()), 12,
                   reinterpret_cast<uint8_t*>(dst.data()), 16, 2, 3);
    EXPECT_EQ(dst, (std::vector<uint32_t>{1, 2, 0xDEADBEEF, 0xDEADBEEF, 4, 5, 0xDEADBEEF, 0xDEADBEEF, 7, 8,
                                          0xDEADBEEF, 0xDEADBEEF}));
}

}  // namespace
}  // namespace vexa::platform
