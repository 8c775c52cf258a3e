// The screen source's canvas: grabbing and converting only the blocks that changed must give, pixel
// for pixel, what converting the whole crop of the screen gives (the whole-picture routine is the
// oracle), whatever the rectangles (odd places and sizes, at the edges, partly outside the crop), the
// row order of the source or the layout, and whether the picture went through the canvas or straight
// to the encoder; and it must touch no more than the changed blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "engine/screen/damage_blocks.h"
#include "engine/screen/picture_convert.h"
#include "engine/screen/screen_canvas.h"
#include "platform/testing/fake_screen_backend.h"

namespace vexa::engine {
namespace {

using platform::FakeScreenBackend;
using platform::ScreenRect;

// The screen as the test knows it (top-down BGRA words), kept in step with the fake's.
class Screen {
  public:
    Screen(int w, int h, platform::RowOrder order)
        : width_(w), height_(h), fake_(w, h, order), words_(w * h) {
        EXPECT_TRUE(fake_.Open(platform::CaptureMethod::kDamage).ok());
        Paint({0, 0, w, h});
    }
    // New random pixels inside the rectangle (clipped to the screen).
    void Paint(const ScreenRect& r) {
        for (int y = std::max(0, r.top); y < std::min(height_, r.bottom); ++y) {
            for (int x = std::max(0, r.left); x < std::min(width_, r.right); ++x) {
                const uint32_t v = static_cast<uint32_t>(gen_()) | 0xFF000000u;
                words_[static_cast<size_t>(y) * width_ + x] = v;
                fake_.SetPixel(x, y, v);
            }
        }
    }
    // The oracle: the whole crop converted at once.
    [[nodiscard]] Picture Whole(const ScreenRect& crop, PictureFormat format) const {
        const int w = crop.right - crop.left, h = crop.bottom - crop.top;
        std::vector<uint32_t> bgra(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            std::memcpy(&bgra[static_cast<size_t>(y) * w],
                        &words_[static_cast<size_t>(crop.top + y) * width_ + crop.left],
                        static_cast<size_t>(w) * 4);
        Picture p;
        EXPECT_TRUE(p.Allocate(format, w, h));
        const auto* src = reinterpret_cast<const uint8_t*>(bgra.data());
        if (format == PictureFormat::kBgra) {
            std::memcpy(p.View().data[0], src, bgra.size() * 4);
        } else {
            const PictureView& v = p.View();
            EXPECT_TRUE(
                BgraToI420Rows(src, w * 4, w, h, 0, h,
                               {v.data[0], v.stride[0], v.data[1], v.stride[1], v.data[2], v.stride[2]}));
        }
        return p;
    }
    FakeScreenBackend& Fake() { return fake_; }

  private:
    int width_, height_;
    FakeScreenBackend fake_;
    std::vector<uint32_t> words_;
    std::mt19937 gen_{42};
};

bool SamePixels(const Picture& a, const Picture& b) {
    return a.Bytes() == b.Bytes() && std::memcmp(a.View().data[0], b.View().data[0], a.Bytes()) == 0;
}

// The picture the canvas gives the encoder, in memory filled with a marker first so that a pixel
// it leaves out shows.
Picture Rendered(ScreenCanvas& canvas, const ScreenRect& crop, PictureFormat format) {
    Picture p;
    EXPECT_TRUE(p.Allocate(format, crop.right - crop.left, crop.bottom - crop.top));
    std::memset(p.View().data[0], 0x5A, p.Bytes());
    EXPECT_EQ(canvas.Render(p.View()), ScreenCanvas::Outcome::kOk);
    return p;
}

ScreenRect RandomRect(std::mt19937& gen, int w, int h) {
    // Anywhere from a little left of / above the screen to a little past it, 1 to 20 pixels a side.
    std::uniform_int_distribution<int> x(-5, w), y(-5, h), side(1, 20);
    const int l = x(gen), t = y(gen);
    return {l, t, l + side(gen), t + side(gen)};
}

TEST(ScreenCanvas, ChangedBlocksConvertedOneByOneEqualTheWholeCropConvertedAtOnce) {
    const int kW = 67, kH = 45;
    // An odd crop at odd offsets, and the whole screen; both row orders; both layouts.
    for (const ScreenRect crop : {ScreenRect{5, 3, 60, 42}, ScreenRect{0, 0, kW, kH}}) {
        for (auto order : {platform::RowOrder::kTopDown, platform::RowOrder::kBottomUp}) {
            for (auto format : {PictureFormat::kI420, PictureFormat::kBgra}) {
                SCOPED_TRACE(testing::Message()
                             << "crop " << crop.left << "," << crop.top << " order "
                             << static_cast<int>(order) << " format " << static_cast<int>(format));
                Screen screen(kW, kH, order);
                ScreenCanvas canvas(format);
                ASSERT_EQ(canvas.Update(screen.Fake(), crop, {}), ScreenCanvas::Outcome::kOk);
                EXPECT_EQ(canvas.PixelsConverted(), 0u) << "conversion waits for the picture";
                const uint64_t area =
                    static_cast<uint64_t>(crop.right - crop.left) * (crop.bottom - crop.top);
                ASSERT_TRUE(SamePixels(Rendered(canvas, crop, format), screen.Whole(crop, format)));
                EXPECT_EQ(canvas.PixelsConverted(), area) << "the first picture takes the whole crop";

                std::mt19937 gen(7);
                for (int step = 0; step < 60; ++step) {
                    std::vector<ScreenRect> dirty;
                    const int count = 1 + step % 3;
                    for (int i = 0; i < count; ++i) {
                        dirty.push_back(RandomRect(gen, kW, kH));
                        screen.Paint(dirty.back());
                    }
                    const uint64_t before = canvas.PixelsConverted();
                    const int grabs = screen.Fake().GrabCount();
                    ASSERT_EQ(canvas.Update(screen.Fake(), crop, dirty), ScreenCanvas::Outcome::kOk);
                    ASSERT_TRUE(SamePixels(Rendered(canvas, crop, format), screen.Whole(crop, format)))
                        << "step " << step;
                    // Never more than the box around the changes, widened by one pixel a side.
                    int64_t box = 0;
                    const auto blocks = ChangedBlocks(dirty, crop);
                    for (const ScreenRect& r : dirty) {
                        const ScreenRect in{std::max(r.left, crop.left), std::max(r.top, crop.top),
                                            std::min(r.right, crop.right), std::min(r.bottom, crop.bottom)};
                        if (in.right > in.left && in.bottom > in.top)
                            box += static_cast<int64_t>(in.right - in.left + 2) * (in.bottom - in.top + 2);
                    }
                    if (step == 0) {
                        // The first picture went straight to the encoder: the canvas catches up once.
                        EXPECT_EQ(canvas.PixelsConverted() - before, area);
                    } else if (blocks.size() != 1 || count == 1) {
                        EXPECT_LE(canvas.PixelsConverted() - before, static_cast<uint64_t>(box))
                            << "step " << step;
                    }
                    EXPECT_EQ(screen.Fake().GrabCount() - grabs, static_cast<int>(blocks.size()));
                }
            }
        }
    }
}

TEST(ScreenCanvas, DamageOutsideTheCropGrabsNothingAndAFailedGrabMakesTheNextUpdateWhole) {
    Screen screen(64, 48, platform::RowOrder::kTopDown);
    const ScreenRect crop{8, 8, 40, 30};
    ScreenCanvas canvas;
    ASSERT_EQ(canvas.Update(screen.Fake(), crop, {}), ScreenCanvas::Outcome::kOk);
    (void)Rendered(canvas, crop, PictureFormat::kI420);
    (void)Rendered(canvas, crop, PictureFormat::kI420);  // the canvas catches up
    const int grabs = screen.Fake().GrabCount();
    const uint64_t converted = canvas.PixelsConverted();
    screen.Paint({40, 0, 64, 48});
    screen.Paint({0, 30, 64, 48});
    ASSERT_EQ(canvas.Update(screen.Fake(), crop, {{40, 0, 64, 48}, {0, 30, 64, 48}}),
              ScreenCanvas::Outcome::kOk);
    (void)Rendered(canvas, crop, PictureFormat::kI420);
    EXPECT_EQ(screen.Fake().GrabCount(), grabs);
    EXPECT_EQ(canvas.PixelsConverted(), converted);

    // A change the screen did not report stays out until a whole update; a failed grab forces one.
    screen.Paint({10, 10, 12, 12});
    screen.Fake().FailNextGrabs(1);
    EXPECT_EQ(canvas.Update(screen.Fake(), crop, {{20, 20, 22, 22}}), ScreenCanvas::Outcome::kGrabFailed);
    EXPECT_FALSE(canvas.Current());
    ASSERT_EQ(canvas.Update(screen.Fake(), crop, {{20, 20, 22, 22}}), ScreenCanvas::Outcome::kOk);
    EXPECT_TRUE(
        SamePixels(Rendered(canvas, crop, PictureFormat::kI420), screen.Whole(crop, PictureFormat::kI420)));
    EXPECT_EQ(canvas.PixelsConverted() - converted, 32u * 22u);
    ASSERT_EQ(canvas.Update(screen.Fake(), crop, {}), ScreenCanvas::Outcome::kOk);
    (void)Rendered(canvas, crop, PictureFormat::kI420);  // the canvas catches up

    // A block at least half as wide as the crop is taken as whole rows (here rows 2 and 3 of the crop).
    const uint64_t before = canvas.PixelsConverted();
    screen.Paint({9, 10, 25, 12});
    ASSERT_EQ(canvas.Update(screen.Fake(), crop, {{9, 10, 25, 12}}), ScreenCanvas::Outcome::kOk);
    EXPECT_TRUE(
        SamePixels(Rendered(canvas, crop, PictureFormat::kI420), screen.Whole(crop, PictureFormat::kI420)));
    EXPECT_EQ(canvas.PixelsConverted() - before, 32u * 2u);
}

// A picture that changed everywhere (a block of every row, as wide as the crop or widened to it) is
// converted once, straight into the encoder's picture; the canvas then catches up whole at the next
// partial change, and after that converts only the changed blocks. Changes grabbed while no picture
// was taken all reach the next one.
TEST(ScreenCanvas, APictureThatChangedEverywhereIsConvertedOnceStraightIntoTheEncodersPicture) {
    Screen screen(48, 40, platform::RowOrder::kBottomUp);
    const ScreenRect crop{4, 2, 44, 38};
    const uint64_t area = 40u * 36u;
    ScreenCanvas canvas;
    const auto converted_by = [&](const std::vector<ScreenRect>& dirty) {
        for (const ScreenRect& r : dirty) screen.Paint(r);
        EXPECT_EQ(canvas.Update(screen.Fake(), crop, dirty), ScreenCanvas::Outcome::kOk);
        const uint64_t before = canvas.PixelsConverted();
        EXPECT_TRUE(SamePixels(Rendered(canvas, crop, PictureFormat::kI420),
                               screen.Whole(crop, PictureFormat::kI420)));
        return canvas.PixelsConverted() - before;
    };
    EXPECT_EQ(converted_by({}), area) << "the first picture";
    EXPECT_EQ(converted_by({{0, 0, 48, 40}}), area) << "the whole screen changed";
    EXPECT_EQ(converted_by({{10, 10, 14, 14}}), area) << "the canvas catches up";
    EXPECT_EQ(converted_by({{10, 10, 14, 14}}), 16u);
    // Blocks that merge into one box of every row, as wide as the crop or widened to it.
    EXPECT_EQ(converted_by({{0, 0, 48, 20}, {0, 20, 30, 40}, {28, 20, 48, 40}}), area);
    EXPECT_EQ(converted_by({{10, 10, 14, 14}}), area);
    EXPECT_EQ(converted_by({{6, 0, 40, 40}}), area);
    EXPECT_EQ(converted_by({{10, 10, 14, 14}}), area);
    // Whole-width bands that leave rows out are blocks like any other.
    EXPECT_EQ(converted_by({{0, 2, 48, 6}, {0, 34, 48, 38}}), 40u * 8u);

    // Grabbed twice before a picture is taken: the picture holds both changes.
    for (const ScreenRect& r : {ScreenRect{6, 4, 8, 6}, ScreenRect{30, 30, 34, 32}}) {
        screen.Paint(r);
        ASSERT_EQ(canvas.Update(screen.Fake(), crop, {r}), ScreenCanvas::Outcome::kOk);
    }
    EXPECT_TRUE(
        SamePixels(Rendered(canvas, crop, PictureFormat::kI420), screen.Whole(crop, PictureFormat::kI420)));

    // A picture of another size or format is refused, and so is one before any grab.
    Picture other;
    ASSERT_TRUE(other.Allocate(PictureFormat::kI420, 38, 36));
    EXPECT_EQ(canvas.Render(other.View()), ScreenCanvas::Outcome::kNoMemory);
    ScreenCanvas fresh;
    ASSERT_TRUE(other.Allocate(PictureFormat::kI420, 40, 36));
    EXPECT_EQ(fresh.Render(other.View()), ScreenCanvas::Outcome::kNoMemory);
}

// Prepared before the start, the copies exist but hold nothing: no grab, no picture to give, and the
// first update afterwards takes the whole crop by either method, however little it was told changed.
TEST(ScreenCanvas, APreparedCanvasGrabsNothingAndItsFirstUpdateTakesTheWholeCrop) {
    Screen screen(40, 30, platform::RowOrder::kBottomUp);
    const ScreenRect crop{3, 1, 36, 30};
    for (const bool polling : {false, true}) {
        SCOPED_TRACE(polling ? "polling" : "damage");
        ScreenCanvas canvas;
        const int grabs = screen.Fake().GrabCount();
        ASSERT_EQ(canvas.Prepare(screen.Fake(), crop, polling), ScreenCanvas::Outcome::kOk);
        EXPECT_EQ(screen.Fake().GrabCount(), grabs);
        EXPECT_FALSE(canvas.Current());
        Picture early;
        ASSERT_TRUE(early.Allocate(PictureFormat::kI420, 33, 29));
        EXPECT_EQ(canvas.Render(early.View()), ScreenCanvas::Outcome::kNoMemory);

        screen.Paint({0, 0, 40, 30});
        bool changed = false;
        ASSERT_EQ(polling ? canvas.Poll(screen.Fake(), crop, false, changed)
                          : canvas.Update(screen.Fake(), crop, {{10, 10, 12, 12}}),
                  ScreenCanvas::Outcome::kOk);
        EXPECT_TRUE(changed || !polling);
        EXPECT_TRUE(SamePixels(Rendered(canvas, crop, PictureFormat::kI420),
                               screen.Whole(crop, PictureFormat::kI420)));
        EXPECT_EQ(canvas.PixelsConverted(), 33u * 29u);
    }
    EXPECT_EQ(ScreenCanvas().Prepare(screen.Fake(), {5, 5, 5, 9}, false), ScreenCanvas::Outcome::kNoMemory);
}

TEST(ScreenCanvas, PollingConvertsOnlyWhenTheGrabDiffers) {
    Screen screen(40, 30, platform::RowOrder::kBottomUp);
    const ScreenRect crop{3, 1, 36, 30};
    ScreenCanvas canvas;
    bool changed = false;
    ASSERT_EQ(canvas.Poll(screen.Fake(), crop, false, changed), ScreenCanvas::Outcome::kOk);
    EXPECT_TRUE(changed);  // the first grab
    (void)Rendered(canvas, crop, PictureFormat::kI420);
    const uint64_t converted = canvas.PixelsConverted();
    ASSERT_EQ(canvas.Poll(screen.Fake(), crop, false, changed), ScreenCanvas::Outcome::kOk);
    EXPECT_FALSE(changed);
    EXPECT_EQ(canvas.PixelsConverted(), converted);
    ASSERT_EQ(canvas.Poll(screen.Fake(), crop, true, changed), ScreenCanvas::Outcome::kOk);
    EXPECT_TRUE(changed) << "forced";
    screen.Paint({35, 29, 36, 30});  // the crop's last pixel
    ASSERT_EQ(canvas.Poll(screen.Fake(), crop, false, changed), ScreenCanvas::Outcome::kOk);
    EXPECT_TRUE(changed);
    EXPECT_TRUE(
        SamePixels(Rendered(canvas, crop, PictureFormat::kI420), screen.Whole(crop, PictureFormat::kI420)));
    // The damage method after polling keeps the same picture.
    screen.Paint({0, 0, 9, 9});
    ASSERT_EQ(canvas.Update(screen.Fake(), crop, {{0, 0, 9, 9}}), ScreenCanvas::Outcome::kOk);
    EXPECT_TRUE(
        SamePixels(Rendered(canvas, crop, PictureFormat::kI420), screen.Whole(crop, PictureFormat::kI420)));
}

// Every changed pixel inside the crop lies in a block; blocks lie inside the crop on the chroma grid.
TEST(DamageBlocks, BlocksCoverEveryChangeInsideTheCropOnTheChromaGrid) {
    std::mt19937 gen(3);
    for (int round = 0; round < 300; ++round) {
        const ScreenRect crop{static_cast<int>(gen() % 7), static_cast<int>(gen() % 7),
                              20 + static_cast<int>(gen() % 9), 18 + static_cast<int>(gen() % 9)};
        const int w = crop.right - crop.left, h = crop.bottom - crop.top;
        std::vector<ScreenRect> dirty;
        for (int i = 0, n = 1 + static_cast<int>(gen() % 12); i < n; ++i)
            dirty.push_back(RandomRect(gen, 30, 30));
        const auto blocks = ChangedBlocks(dirty, crop);
        EXPECT_LE(blocks.size(), 8u);
        for (const ScreenRect& b : blocks) {
            ASSERT_TRUE(b.left >= 0 && b.top >= 0 && b.right <= w && b.bottom <= h && b.left < b.right &&
                        b.top < b.bottom);
            EXPECT_EQ(b.left % 2, 0);
            EXPECT_EQ(b.top % 2, 0);
            EXPECT_TRUE(b.right % 2 == 0 || b.right == w);
            EXPECT_TRUE(b.bottom % 2 == 0 || b.bottom == h);
        }
        for (const ScreenRect& r : dirty) {
            for (int y = std::max(r.top, crop.top); y < std::min(r.bottom, crop.bottom); ++y) {
                for (int x = std::max(r.left, crop.left); x < std::min(r.right, crop.right); ++x) {
                    const int cx = x - crop.left, cy = y - crop.top;
                    ASSERT_TRUE(std::any_of(blocks.begin(), blocks.end(),
                                            [&](const ScreenRect& b) {
                                                return cx >= b.left && cx < b.right && cy >= b.top &&
                                                       cy < b.bottom;
                                            }))
                        << "round " << round << " pixel " << x << "," << y;
                }
            }
        }
        if (std::none_of(dirty.begin(), dirty.end(),
                         [&](const ScreenRect& r) { return r.Intersects(crop); })) {
            EXPECT_TRUE(blocks.empty());
        }
    }
}

// 4:2:0 blocks that split a chroma sample are refused; aligned ones, also odd ones at the edge, copy.
TEST(PictureBlocks, CopiesRefuseBlocksOffTheChromaGrid) {
    Picture a, b;
    ASSERT_TRUE(a.Allocate(PictureFormat::kI420, 9, 7));
    ASSERT_TRUE(b.Allocate(PictureFormat::kI420, 9, 7));
    std::memset(a.View().data[0], 1, a.Bytes());
    std::memset(b.View().data[0], 2, b.Bytes());
    EXPECT_FALSE(CopyPictureBlock(b.View(), 1, 0, a.View(), 1, 0, 2, 2));  // odd left
    EXPECT_FALSE(CopyPictureBlock(b.View(), 0, 0, a.View(), 0, 0, 3, 2));  // odd width inside
    EXPECT_FALSE(CopyPictureBlock(b.View(), 8, 0, a.View(), 8, 0, 2, 2));  // past the edge
    EXPECT_TRUE(SamePixels(b, [] {
        Picture p;
        EXPECT_TRUE(p.Allocate(PictureFormat::kI420, 9, 7));
        std::memset(p.View().data[0], 2, p.Bytes());
        return p;
    }()));
    EXPECT_TRUE(CopyPictureBlock(b.View(), 6, 4, a.View(), 6, 4, 3, 3));  // odd, at the right and bottom
    EXPECT_EQ(b.View().data[0][6 * 9 + 8], 1);
    EXPECT_EQ(b.View().data[1][3 * 5 + 4], 1);
    EXPECT_EQ(b.View().data[0][3 * 9 + 8], 2);
}

}  // namespace
}  // namespace vexa::engine
