// The fast BGRA to 4:2:0 conversion, checked against the BT.601 limited-range formulas computed here.
#include "engine/screen/picture_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace vexa::engine {
namespace {

struct Picture {
    int width;
    int height;
    std::vector<uint8_t> bgra;
};

struct Planes {
    Planes(int w, int h)
        : width(w),
          height(h),
          y(static_cast<size_t>(w) * h, 0xEE),
          u(static_cast<size_t>((w + 1) / 2) * ((h + 1) / 2), 0xEE),
          v(static_cast<size_t>((w + 1) / 2) * ((h + 1) / 2), 0xEE) {}
    I420Planes View() { return {y.data(), width, u.data(), (width + 1) / 2, v.data(), (width + 1) / 2}; }
    int width;
    int height;
    std::vector<uint8_t> y, u, v;
};

Picture RandomPicture(int w, int h, unsigned seed) {
    std::mt19937 gen(seed);
    Picture p{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 4)};
    for (uint8_t& b : p.bgra) b = static_cast<uint8_t>(gen());
    return p;
}

double Luma(const uint8_t* px) {
    return 16 + (65.481 * px[2] + 128.553 * px[1] + 24.966 * px[0]) / 255.0;
}

// Checks every sample against the formulas; chroma from the mean of each 2 × 2 block (clipped).
void ExpectMatchesFormula(const Picture& p, const Planes& out) {
    int worst = 0;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* px = &p.bgra[(static_cast<size_t>(y) * p.width + x) * 4];
            worst = std::max(worst, std::abs(out.y[static_cast<size_t>(y) * p.width + x] -
                                             static_cast<int>(std::lround(Luma(px)))));
        }
    }
    EXPECT_LE(worst, 2) << "luma";
    const int cw = (p.width + 1) / 2;
    for (int cy = 0; cy < (p.height + 1) / 2; ++cy) {
        for (int cx = 0; cx < cw; ++cx) {
            double r = 0, g = 0, b = 0;
            int n = 0;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    const int x = std::min(2 * cx + dx, p.width - 1), y = std::min(2 * cy + dy, p.height - 1);
                    const uint8_t* px = &p.bgra[(static_cast<size_t>(y) * p.width + x) * 4];
                    b += px[0], g += px[1], r += px[2], ++n;
                }
            }
            r /= n, g /= n, b /= n;
            const double u = 128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255.0;
            const double v = 128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255.0;
            const size_t i = static_cast<size_t>(cy) * cw + cx;
            ASSERT_NEAR(out.u[i], u, 3.0) << "u at " << cx << "," << cy;
            ASSERT_NEAR(out.v[i], v, 3.0) << "v at " << cx << "," << cy;
        }
    }
}

TEST(PictureConvert, WholePicturesMatchTheFormulasAtEvenAndOddSizes) {
    for (auto [w, h] : {std::pair{64, 32}, std::pair{33, 17}, std::pair{1, 1}, std::pair{1921, 3}}) {
        const Picture p = RandomPicture(w, h, static_cast<unsigned>(w * 7 + h));
        Planes out(w, h);
        ASSERT_TRUE(BgraToI420Rows(p.bgra.data(), w * 4, w, h, 0, h, out.View())) << w << "x" << h;
        ExpectMatchesFormula(p, out);
    }
}

TEST(PictureConvert, BottomUpRowsGiveTheUprightPicture) {
    const int w = 48, h = 20;
    const Picture upright = RandomPicture(w, h, 5);
    Picture stored{w, h, std::vector<uint8_t>(upright.bgra.size())};
    for (int y = 0; y < h; ++y)
        std::copy_n(&upright.bgra[static_cast<size_t>(y) * w * 4], w * 4,
                    &stored.bgra[static_cast<size_t>(h - 1 - y) * w * 4]);
    Planes a(w, h), b(w, h);
    ASSERT_TRUE(BgraToI420Rows(upright.bgra.data(), w * 4, w, h, 0, h, a.View()));
    ASSERT_TRUE(BgraToI420Rows(stored.bgra.data() + static_cast<size_t>(h - 1) * w * 4, -w * 4, w, h, 0, h,
                               b.View()));
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.u, b.u);
    EXPECT_EQ(a.v, b.v);
}

// Converting a picture band by band, as damage does, equals converting it whole, and leaves the
// rows outside each band untouched.
TEST(PictureConvert, BandsEqualTheWholePictureAndTouchNothingElse) {
    const int w = 37, h = 23;
    const Picture p = RandomPicture(w, h, 9);
    Planes whole(w, h), banded(w, h), one(w, h);
    ASSERT_TRUE(BgraToI420Rows(p.bgra.data(), w * 4, w, h, 0, h, whole.View()));
    for (auto [top, rows] : {std::pair{0, 2}, std::pair{2, 8}, std::pair{10, 12}, std::pair{22, 1}})
        ASSERT_TRUE(BgraToI420Rows(p.bgra.data(), w * 4, w, h, top, rows, banded.View()));
    EXPECT_EQ(banded.y, whole.y);
    EXPECT_EQ(banded.u, whole.u);
    EXPECT_EQ(banded.v, whole.v);

    ASSERT_TRUE(BgraToI420Rows(p.bgra.data(), w * 4, w, h, 4, 2, one.View()));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            EXPECT_EQ(one.y[i], (y == 4 || y == 5) ? whole.y[i] : 0xEE) << x << "," << y;
        }
    }
    const size_t cw = (w + 1) / 2;
    for (size_t i = 0; i < one.u.size(); ++i) EXPECT_EQ(one.u[i], i / cw == 2 ? whole.u[i] : 0xEE) << i;
}

TEST(PictureConvert, RefusesRangesOutsideThePictureOrSplittingAChromaRow) {
    const Picture p = RandomPicture(8, 8, 1);
    Planes out(8, 8);
    const uint8_t* src = p.bgra.data();
    EXPECT_FALSE(BgraToI420Rows(nullptr, 32, 8, 8, 0, 8, out.View()));
    EXPECT_FALSE(BgraToI420Rows(src, 32, 8, 8, 6, 4, out.View()));  // past the last row
    EXPECT_FALSE(BgraToI420Rows(src, 32, 8, 8, 1, 2, out.View()));  // odd top
    EXPECT_FALSE(BgraToI420Rows(src, 32, 8, 8, 2, 3, out.View()));  // odd count inside
    EXPECT_FALSE(BgraToI420Rows(src, 32, 8, 8, -2, 2, out.View()));
    EXPECT_FALSE(BgraToI420Rows(src, 32, 0, 8, 0, 8, out.View()));
    EXPECT_TRUE(out.y == std::vector<uint8_t>(64, 0xEE));
}

}  // namespace
}  // namespace vexa::engine
