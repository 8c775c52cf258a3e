// The drawing of the region windows, pixel by pixel: dimming, the dotted and dashed pens, the
// magnifier, the overlay's partial repaints (always equal to drawing everything anew) and the
// region frame's alpha and shape.
#include "ui/region_drawing.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "ui/region_frame_picture.h"
#include "ui/region_geometry.h"
#include "ui/sel_rgn_canvas.h"

namespace vexa::ui::region {
namespace {

using toolkit::HitTest;

QRect R(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// A picture whose every pixel differs from its neighbours, so that a pixel drawn from the wrong
// place or left stale shows.
QImage Noise(QSize size, unsigned seed) {
    QImage picture(size, QImage::Format_RGB32);
    std::mt19937 random(seed);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) picture.setPixel(x, y, 0xFF000000u | (random() & 0xFFFFFFu));
    }
    return picture;
}

QImage Blank(QSize size) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(0xFF000000u);
    return picture;
}

TEST(Dim, EachColourByteLosesNinetySixDownToZeroAndAlphaStays) {
    // Four pixels at a time and the pixels left over take different roads: every value goes down
    // the first, the values at the limit down both.
    auto value = [](int x) { return x < 256 ? x : std::array<int, 3>{96, 97, 255}[x - 256]; };
    auto cut = [](int v) { return v <= 96 ? 0 : v - 96; };
    for (int width : {259, 3, 1}) {
        QImage picture(width, 3, QImage::Format_ARGB32);
        for (int x = 0; x < width; ++x) {
            const int v = value(width == 259 ? x : 256 + x);
            picture.setPixel(x, 0, qRgba(v, 200, 7, 0));
            picture.setPixel(x, 1, qRgba(7, v, 200, 255));
            picture.setPixel(x, 2, qRgba(200, 7, v, 90));
        }
        const QImage dimmed = Dim(picture);
        for (int x = 0; x < width; ++x) {
            const int v = value(width == 259 ? x : 256 + x);
            ASSERT_EQ(dimmed.pixel(x, 0), qRgba(cut(v), 104, 0, 0)) << width << ":" << x;
            ASSERT_EQ(dimmed.pixel(x, 1), qRgba(0, cut(v), 104, 255)) << width << ":" << x;
            ASSERT_EQ(dimmed.pixel(x, 2), qRgba(104, 0, cut(v), 90)) << width << ":" << x;
        }
    }
}

TEST(Pens, TheDottedPenAlternatesThreeLightAndThreeDarkPixelsAroundTheCorners) {
    RegionPainter painter;
    QImage image = Blank(QSize(20, 10));
    painter.Outline(image, QRect(2, 2, 8, 4), Pen::kDotted, image.rect());
    const QRgb L = kLightGrey, D = kDarkGrey;
    // Clockwise from the top-left corner: 8 across, 3 down the right side, 7 back, 2 up.
    const QRgb top[] = {L, L, L, D, D, D, L, L};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(image.pixel(2 + i, 2), top[i]) << i;
    EXPECT_EQ(image.pixel(9, 3), L);  // the 9th pixel continues the run that began on the top side
    EXPECT_EQ(image.pixel(9, 4), D);
    EXPECT_EQ(image.pixel(9, 5), D);
    EXPECT_EQ(image.pixel(8, 5), D);
    EXPECT_EQ(image.pixel(7, 5), L);
    EXPECT_EQ(image.pixel(5, 3), 0xFF000000u);  // inside untouched
    EXPECT_EQ(image.pixel(1, 2), 0xFF000000u);
}

TEST(Pens, TheRecordingPenDrawsEighteenRedThenSixDarkAndNothingOutsideTheClip) {
    RegionPainter painter;
    QImage image = Blank(QSize(60, 4));
    painter.Outline(image, QRect(0, 0, 60, 2), Pen::kDashedRed, QRect(0, 0, 50, 4));
    for (int x = 0; x < 50; ++x) ASSERT_EQ(image.pixel(x, 0), x % 24 < 18 ? kRecordingRed : kDarkGrey) << x;
    for (int x = 50; x < 60; ++x) ASSERT_EQ(image.pixel(x, 0), 0xFF000000u) << x;
}

TEST(Pens, AThreePixelBorderLiesOnTheBoxAndOnePixelEitherSide) {
    RegionPainter painter;
    QImage image = Blank(QSize(40, 40));
    painter.Border3(image, QRect(10, 10, 20, 20), image.rect());
    for (int x : {9, 10, 11, 28, 29, 30}) EXPECT_NE(image.pixel(x, 20), 0xFF000000u) << x;
    for (int x : {8, 12, 27, 31}) EXPECT_EQ(image.pixel(x, 20), 0xFF000000u) << x;
}

class MagnifierTest : public ::testing::Test {
  protected:
    RegionPainter painter;
    const QImage source = Noise(QSize(300, 200), 5);
    QImage image = Blank(QSize(600, 500));
    const QRect box{200, 100, 181, 213};
    // The zoomed pixel (i, j) of 25 x 25 at its offset (dx, dy) within its 7 x 7 block.
    QRgb Zoomed(int i, int j, int dx = 3, int dy = 3) const {
        return image.pixel(box.x() + 3 + i * 7 + dx, box.y() + 3 + j * 7 + dy);
    }
};

TEST_F(MagnifierTest, EnlargesTheTwentyFivePixelsAroundThePointSevenTimes) {
    const QPoint point(100, 50);
    painter.Magnifier(image, box, source, point, image.rect());
    for (int j = 0; j < 25; ++j) {
        for (int i = 0; i < 25; ++i) {
            if (i == 12 || j == 12) continue;  // the cross-hair
            const QRgb expected = source.pixel(point.x() - 12 + i, point.y() - 12 + j);
            for (int d : {0, 6}) ASSERT_EQ(Zoomed(i, j, d, 6 - d), expected) << i << "," << j;
        }
    }
    EXPECT_EQ(Zoomed(12, 12), source.pixel(point));  // the point itself is left clear
}

TEST_F(MagnifierTest, TheCrossHairIsTintedRedWithDashedInvertedEdges) {
    const QPoint point(100, 50);
    painter.Magnifier(image, box, source, point, image.rect());
    auto tint = [](QRgb c) {
        return qRgb(std::min(qRed(c) + 80, 255), std::max(qGreen(c) - 80, 0), std::max(qBlue(c) - 80, 0));
    };
    auto invert = [](QRgb c) { return qRgb(255 - qRed(c), 255 - qGreen(c), 255 - qBlue(c)); };
    const QRgb left_of_point = source.pixel(point.x() - 12 + 3, point.y());
    EXPECT_EQ(Zoomed(3, 12, 3, 3), tint(left_of_point));  // inside the band
    // Its outer rows: zoomed columns divisible by 4 inverted, the others tinted.
    EXPECT_EQ(image.pixel(box.x() + 3 + 24, box.y() + 3 + 84), invert(left_of_point));
    EXPECT_EQ(image.pixel(box.x() + 3 + 25, box.y() + 3 + 84), tint(left_of_point));
    EXPECT_EQ(image.pixel(box.x() + 3 + 24, box.y() + 3 + 90), invert(left_of_point));
    const QRgb below_point = source.pixel(point.x(), point.y() - 12 + 20);
    EXPECT_EQ(Zoomed(12, 20, 3, 3), tint(below_point));
    EXPECT_EQ(image.pixel(box.x() + 3 + 84, box.y() + 3 + 144), invert(below_point));
}

TEST_F(MagnifierTest, ShowsTheHatchWhereThePointIsNearTheScreenEdgeAndTheCoordinatesBelow) {
    painter.Magnifier(image, box, source, QPoint(2, 3), image.rect());
    // Zoomed columns 0..9 lie left of the screen: forward diagonal hatch, one line in 8.
    int light = 0;
    for (int y = box.y() + 3; y < box.y() + 3 + 7 * 9; ++y) {
        for (int x = box.x() + 3; x < box.x() + 3 + 7 * 9; ++x) {
            const QRgb expected = ((x - y) % 8 + 8) % 8 == 0 ? kLightGrey : kDarkGrey;
            ASSERT_EQ(image.pixel(x, y), expected) << x << "," << y;
            light += expected == kLightGrey;
        }
    }
    EXPECT_GT(light, 0);
    EXPECT_EQ(Zoomed(10, 11), source.pixel(0, 2));
    // The text strip is dark grey with light text somewhere in it.
    bool text = false;
    for (int y = box.y() + 181; y < box.y() + 210; ++y) {
        for (int x = box.x() + 3; x < box.x() + 178; ++x) {
            const QRgb c = image.pixel(x, y);
            text = text || qRed(c) > 160;
            ASSERT_EQ(qRed(c), qGreen(c));  // grey only
        }
    }
    EXPECT_TRUE(text);
    EXPECT_EQ(image.pixel(box.x() - 1, box.y() + 50), 0xFF000000u);  // nothing outside the box
    EXPECT_EQ(image.pixel(box.right() + 1, box.y() + 50), 0xFF000000u);
    EXPECT_NE(image.pixel(box.right(), box.y() + 50), 0xFF000000u);
}

// The overlay's partial repaints give exactly the picture a full repaint gives.
TEST(SelectionCanvasTest, EveryPartialRepaintEqualsAFullOne) {
    const QImage snapshot = Noise(QSize(640, 480), 9);
    SelectionCanvas canvas(snapshot);
    std::mt19937 random(1);
    std::uniform_int_distribution<int> xs(0, 640);
    std::uniform_int_distribution<int> ys(0, 480);
    QRect selection;
    for (int step = 0; step < 60; ++step) {
        const QPoint point(xs(random), ys(random));
        switch (step % 4) {
            case 0:
                selection = SpannedRegion(QPoint(xs(random), ys(random)), point);  // a new window
                break;
            case 1:
                selection = selection.adjusted(0, 0, 1, 0);  // a drag one pixel on
                break;
            case 2:
                break;  // hovering inside the same window
            case 3:
                selection = QRect();  // no window under the pointer
                break;
        }
        const OverlayView view = canvas.ViewFor(selection & QRect(0, 0, 640, 480), point);
        (void)canvas.Show(view);
        SelectionCanvas fresh(snapshot);
        (void)fresh.Show(view);
        ASSERT_EQ(canvas.Picture(), fresh.Picture()) << "step " << step;
    }
}

TEST(SelectionCanvasTest, TheSelectionShowsTheScreenAndTheRestIsDimmed) {
    const QImage snapshot = Noise(QSize(640, 480), 4);
    const QImage dimmed = Dim(snapshot);
    SelectionCanvas canvas(snapshot);
    const OverlayView view = canvas.ViewFor(R(100, 200, 300, 400), QPoint(600, 10));
    EXPECT_EQ(canvas.Show(view), QRegion(0, 0, 640, 480));  // the first time, everything
    EXPECT_EQ(canvas.Picture().pixel(150, 300), snapshot.pixel(150, 300));
    EXPECT_EQ(canvas.Picture().pixel(350, 300), dimmed.pixel(350, 300));
    EXPECT_EQ(canvas.Picture().pixel(102, 300), snapshot.pixel(102, 300));  // just inside the border
    EXPECT_NE(canvas.Picture().pixel(101, 300), snapshot.pixel(101, 300));
    EXPECT_EQ(canvas.Picture().pixel(97, 300), dimmed.pixel(97, 300));
    EXPECT_EQ(view.magnifier, QRect(600 - 201, 30, 181, 213));
    EXPECT_EQ(view.label.bottom(), 200 - 4 - 1);
    // Nothing selected: a label-less, fully dimmed picture.
    SelectionCanvas empty(snapshot);
    (void)empty.Show(empty.ViewFor(NoRegion(), QPoint(600, 10)));
    EXPECT_EQ(empty.View().label, QRect());
    EXPECT_EQ(empty.Picture().pixel(150, 300), dimmed.pixel(150, 300));
}

class FrameLayerTest : public ::testing::Test {
  protected:
    RegionPainter painter;
    const QSize screen{1000, 700};
    const QRect region = R(200, 150, 599, 449);

    FrameView View(int thickness) const {
        FrameView view;
        view.region = region;
        view.thickness = thickness;
        if (thickness == 6)
            view.label = FrameLabelBox(region, painter.TextSize(SizeLabelText(region)), screen);
        return view;
    }
    FrameArt Art() const { return FrameArt{&painter, nullptr, nullptr}; }
};

TEST_F(FrameLayerTest, DrawnPixelsAreOpaqueTheLabelTranslucentTheHandlesAlmostClearAndTheRestClear) {
    const FrameView view = View(6);
    const QRect box = FrameWindowBox(region, view.label, {});
    const FrameLayer layer = ComposeFrameLayer(view, box, Art(), {.interactive = true, .compositor = true});
    ASSERT_EQ(layer.picture.size(), box.size());
    int handles = 0;
    for (int y = 0; y < box.height(); ++y) {
        for (int x = 0; x < box.width(); ++x) {
            const QPoint screen_point = QPoint(x, y) + box.topLeft();
            const int alpha = qAlpha(layer.picture.pixel(x, y));
            ASSERT_EQ(layer.shape.contains(QPoint(x, y)), alpha > 0) << x << "," << y;
            if (view.label.contains(screen_point)) {
                ASSERT_EQ(alpha, 200) << x << "," << y;
            } else if (IsResizeHandle(FrameHitTest(region, screen_point))) {
                ASSERT_GE(alpha, 1);  // every handle catches the mouse
                handles += alpha == 1;
            } else if (region.adjusted(3, 3, -4, -4).contains(screen_point)) {
                ASSERT_EQ(alpha, 0) << x << "," << y;  // the inside passes clicks on
            } else {
                ASSERT_TRUE(alpha == 0 || alpha == 255) << x << "," << y;
            }
        }
    }
    EXPECT_GT(handles, 1000);
    // The lines on the region's edge and one pixel outside it are drawn.
    EXPECT_EQ(qAlpha(layer.picture.pixel(QPoint(300, 150) - box.topLeft())), 255);
    EXPECT_EQ(qAlpha(layer.picture.pixel(QPoint(300, 149) - box.topLeft())), 255);
}

TEST_F(FrameLayerTest, WithoutACompositorTheHandlesAreDrawnFaintlyAndEverythingShownIsOpaque) {
    const FrameView view = View(6);
    const QRect box = FrameWindowBox(region, view.label, {});
    const FrameLayer layer = ComposeFrameLayer(view, box, Art(), {.interactive = true, .compositor = false});
    const QPoint handle = QPoint(400, 148) - box.topLeft();  // in the top side zone, off the lines
    ASSERT_EQ(FrameHitTest(region, QPoint(400, 148)), HitTest::Top);
    EXPECT_EQ(qAlpha(layer.picture.pixel(handle)), 255);
    EXPECT_TRUE(layer.shape.contains(handle));
    for (int y = 0; y < box.height(); ++y) {
        for (int x = 0; x < box.width(); ++x) {
            const int alpha = qAlpha(layer.picture.pixel(x, y));
            ASSERT_TRUE(alpha == 0 || alpha == 255) << x << "," << y;
        }
    }
}

TEST_F(FrameLayerTest, WhileRecordingOnlyTheThinRedFrameShowsAndNoHandleRemains) {
    const FrameView view = View(3);
    EXPECT_TRUE(view.label.isEmpty());
    const QRect box = FrameWindowBox(region, {}, {});
    const FrameLayer layer = ComposeFrameLayer(view, box, Art(), {.interactive = false, .compositor = true});
    bool red = false;
    for (int y = 0; y < box.height(); ++y) {
        for (int x = 0; x < box.width(); ++x) {
            const QRgb c = layer.picture.pixel(x, y);
            ASSERT_TRUE(qAlpha(c) == 0 || qAlpha(c) == 255);
            red = red || c == kRecordingRed;
        }
    }
    EXPECT_TRUE(red);
    EXPECT_EQ(layer.picture.pixel(QPoint(400, 149) - box.topLeft()), kRecordingRed);  // one pixel outside
    EXPECT_EQ(qAlpha(layer.picture.pixel(QPoint(400, 150) - box.topLeft())), 0);      // not on the edge
    EXPECT_EQ(qAlpha(layer.picture.pixel(QPoint(214, 150) - box.topLeft())), 0);      // marks are 3 thick
    EXPECT_EQ(qAlpha(layer.picture.pixel(QPoint(214, 147) - box.topLeft())), 255);
}

TEST_F(FrameLayerTest, TheFrameDrawsOnlyInsideItsDrawnArea) {
    FrameView view = View(6);
    view.point = QPoint(599, 300);
    view.magnifier = FrameMagnifierBox({region, view.point, view.label, screen, 6});
    ASSERT_FALSE(view.magnifier.isEmpty());
    const QImage screen_picture = Noise(screen, 2);
    QImage image = Blank(screen);
    DrawFrame(image, QPoint(0, 0), view, FrameArt{&painter, nullptr, &screen_picture}, image.rect());
    const QRegion area = FrameDrawnArea(view);
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == 0xFF000000u) continue;
            ++drawn;
            ASSERT_TRUE(area.contains(QPoint(x, y))) << x << "," << y;
        }
    }
    EXPECT_GT(drawn, 181 * 213);
}

}  // namespace
}  // namespace vexa::ui::region
