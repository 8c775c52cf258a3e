// The camera window's geometry without a window: first place, clipping, buttons, shape and rim,
// hit areas, drags and the status text. Expected values come from the screen arithmetic done by
// hand, from distances to the circle's centre, and from brute-force loops, not from the rules.
#include "ui/camera_wnd_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace vexa::ui {
namespace {

using toolkit::HitTest;

settings::Rect Square(int left, int top, int side) {
    return {left, top, left + side, top + side};
}

TEST(CameraWindowPlace, DefaultIsAThirdOfTheScreenAtTheRightEdgeCentredVertically) {
    EXPECT_EQ(DefaultCameraRect(QSize(1920, 1080)), Square(1280, 360, 360));
    // 1280 x 1024: thirds 426 and 341; left 1280 - 426, top (1024 - 341) / 2.
    EXPECT_EQ(DefaultCameraRect(QSize(1280, 1024)), Square(854, 341, 341));
    // Portrait: the width's third is the smaller one.
    EXPECT_EQ(DefaultCameraRect(QSize(1080, 1920)), Square(720, 640, 360));
    EXPECT_EQ(InitialCameraRect(std::nullopt, true, QSize(1920, 1080)), Square(1280, 360, 360));
}

QRect AsQRect(const settings::Rect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// The camera mode's first preview: on 1920 x 1080 right beside the centred main window (the old
// default covered its start button), centred on it; where the room is narrower it shrinks, and it
// moves to the left, below or above before giving up.
TEST(CameraWindowPlace, ThePreviewFirstSitsBesideTheMainWindowAndShrinksToTheRoomThere) {
    const QRect work(0, 0, 1920, 1080);
    const QRect main(480, 243, 960, 593);  // centred
    EXPECT_EQ(PreviewFirstRect(main, work), Square(1448, 359, 360));
    // 1366 x 768 minus a 32-pixel panel at the top: 195 pixels of room at the right.
    EXPECT_EQ(PreviewFirstRect(QRect(203, 120, 960, 593), QRect(0, 32, 1366, 736)), Square(1171, 319, 195));
    // Main window at the right edge: the left side instead.
    EXPECT_EQ(PreviewFirstRect(QRect(960, 243, 960, 593), work), Square(592, 359, 360));
    // 1024 x 1280 (portrait): no room left or right, so below.
    EXPECT_EQ(PreviewFirstRect(QRect(32, 100, 960, 593), QRect(0, 0, 1024, 1280)), Square(342, 701, 341));
    // No side has room: the default square of the work area (below a 32-pixel panel).
    EXPECT_EQ(PreviewFirstRect(QRect(32, 100, 960, 593), QRect(0, 32, 1024, 736)), Square(683, 277, 245));
}

// Over many screens, panels and main-window places: whenever the preview is not the fallback it
// stays inside the work area, keeps clear of the main window, and is at least the smallest window.
TEST(CameraWindowPlace, ThePreviewNeverCoversTheMainWindowAndStaysInTheWorkArea) {
    int beside = 0;
    for (const QSize screen : {QSize(1024, 768), QSize(1366, 768), QSize(1920, 1080), QSize(2560, 1440),
                               QSize(1080, 1920), QSize(3840, 1080)}) {
        for (const QMargins panels : {QMargins(), QMargins(0, 32, 0, 0), QMargins(48, 0, 0, 40)}) {
            const QRect work = QRect(QPoint(0, 0), screen).marginsRemoved(panels);
            for (int x = work.left(); x + 960 <= work.right() + 1; x += 97) {
                for (int y = work.top(); y + 593 <= work.bottom() + 1; y += 89) {
                    const QRect main(x, y, 960, 593);
                    const QRect got = AsQRect(PreviewFirstRect(main, work));
                    ASSERT_EQ(got.width(), got.height());
                    ASSERT_TRUE(work.contains(got)) << x << "," << y << " on " << screen.width();
                    if (got.intersects(main)) continue;  // the fallback: there was no room
                    ++beside;
                    ASSERT_GE(got.width(), kCameraMinSide);
                    ASSERT_LE(got.width(), std::min(work.width(), work.height()) / 3 + 1);
                }
            }
        }
    }
    EXPECT_GT(beside, 100);
}

TEST(CameraWindowPlace, StoredRectangleIsSquaredForTheRoundStyleAtTheSameCorner) {
    const settings::Rect stored{300, 200, 500, 320};  // 200 x 120
    EXPECT_EQ(InitialCameraRect(stored, true, QSize(1920, 1080)), Square(300, 200, 120));
    EXPECT_EQ(InitialCameraRect(stored, false, QSize(1920, 1080)), stored);
    const settings::Rect tall{300, 200, 400, 600};
    EXPECT_EQ(InitialCameraRect(tall, true, QSize(1920, 1080)), Square(300, 200, 100));
}

TEST(CameraWindowPlace, StoredRectangleThatMissesTheScreenOrIsTooSmallGivesTheDefault) {
    const QSize screen(1920, 1080);
    const settings::Rect fallback = DefaultCameraRect(screen);
    struct Case {
        settings::Rect stored;
        bool circular;
        bool kept;
    } cases[] = {
        {{1919, 0, 2100, 200}, false, true},   // one pixel column on screen
        {{1920, 0, 2100, 200}, false, false},  // starts right of the screen
        {{-300, 0, 1, 200}, false, true},      // ends one pixel into the screen
        {{-300, 0, 0, 200}, false, false},     // ends at its left edge
        {{0, -300, 200, 1}, false, true},      // likewise at the top
        {{0, -300, 200, 0}, false, false},
        {{0, 1079, 200, 1300}, false, true},
        {{0, 1080, 200, 1300}, false, false},
        {{10, 10, 30, 30}, false, true},     // 20 x 20 is enough
        {{10, 10, 29, 300}, false, false},   // 19 wide is not
        {{10, 10, 300, 29}, true, false},    // 19 high is not, squared or not
        {{0, 0, 20000, 500}, false, false},  // no window is that wide
        // The square is made first: a wide rectangle whose square ends left of the screen.
        {{-150, 10, 300, 100}, true, false},
        {{-150, 10, 300, 100}, false, true},
    };
    for (const Case& c : cases) {
        const settings::Rect got = InitialCameraRect(c.stored, c.circular, screen);
        if (c.kept)
            EXPECT_NE(got, fallback) << c.stored.left << "," << c.stored.top << " " << c.circular;
        else
            EXPECT_EQ(got, fallback) << c.stored.left << "," << c.stored.top << " " << c.circular;
    }
}

TEST(CameraWindowPlace, CentredSquareKeepsTheMiddleOfTheRectangle) {
    EXPECT_EQ(CentredSquare({10, 20, 210, 140}), Square(50, 20, 120));
    EXPECT_EQ(CentredSquare({10, 20, 211, 140}), Square(50, 20, 120));  // (201 - 120) / 2 = 40
    EXPECT_EQ(CentredSquare({0, 0, 100, 300}), Square(0, 100, 100));
}

TEST(CameraWindowButtons, RectangleStyleStacksThemAtTheRightEdgeWithAClampedStep) {
    // step = height / 5 between 20 and 50.
    for (const auto& [height, step] : {std::pair{400, 50}, {200, 40}, {150, 30}, {60, 20}}) {
        const auto buttons = LayoutCameraButtons(QRect(-30, 10, 300, height), false);
        for (int k = 0; k < kCameraButtonSlots; ++k) {
            EXPECT_EQ(buttons[k], QRect(270 - 24 + 0, 10 + k * step, 24, 24)) << height << " slot " << k;
        }
    }
}

TEST(CameraWindowButtons, RoundStyleWalksClockwiseFromTheTopOnACircleInsideTheRim) {
    for (int side : {150, 200, 360, 800}) {
        const QRect full(-40, 7, side, side);
        const auto buttons = LayoutCameraButtons(full, true);
        const double cx = full.x() + side / 2, cy = full.y() + side / 2;
        const double radius = side / 2.0 - 12;  // the first centre lies 12 below the top
        // The step along the circle of radius r - 24 is a quarter of a half circle, held to 20..50.
        const double arc_radius = side / 2.0 - 24;
        const double angle = std::clamp(std::numbers::pi * arc_radius / 4, 20.0, 50.0) / arc_radius;
        EXPECT_EQ(buttons[0], QRect(static_cast<int>(cx) - 12, full.y(), 24, 24));
        for (int k = 0; k < kCameraButtonSlots; ++k) {
            const QPointF centre = QRectF(buttons[k]).center();
            const double expected_x = cx + radius * std::sin(k * angle);
            const double expected_y = cy - radius * std::cos(k * angle);
            // Whole-pixel centres, each rotated from the last: a pixel of drift per step at most.
            EXPECT_NEAR(centre.x(), expected_x, 1.0 + k) << side << " slot " << k;
            EXPECT_NEAR(centre.y(), expected_y, 1.0 + k) << side << " slot " << k;
            EXPECT_TRUE(full.contains(buttons[k].center())) << side << " slot " << k;
            if (k > 0) {
                EXPECT_GE((centre - QRectF(buttons[k - 1]).center()).manhattanLength(), 24);
            }
        }
        EXPECT_GT(QRectF(buttons[1]).center().x(), QRectF(buttons[0]).center().x());  // clockwise
    }
}

TEST(CameraWindowButtons, ThePreviewWithoutAStyleButtonMovesTheOthersUp) {
    using enum CameraButton;
    EXPECT_EQ(CameraButtonsBySlot(true), (CameraButtonSlots{kClose, kStyle, kMirror, kSettings, kFormat}));
    EXPECT_EQ(CameraButtonsBySlot(false), (CameraButtonSlots{kClose, kMirror, kSettings, kFormat, kNone}));
}

// Every pixel of a 360 circle: the shape is the disc, the rim its outer ring, and the rim sizes
// from the side within 16 pixels of it, else from the corner of its quadrant.
TEST(CameraWindowShape, RoundWindowSizesFromItsRimByQuadrantAndSideBands) {
    const CameraShape shape = BuildCameraShape(Square(500, 300, 360), true);
    EXPECT_EQ(shape.full, QRect(0, 0, 360, 360));
    const double c = 180;
    int rim_points = 0;
    for (int y = 0; y < 360; y += 3) {
        for (int x = 0; x < 360; x += 3) {
            const double d = std::hypot(x + 0.5 - c, y + 0.5 - c);
            const QPoint p(x, y);
            if (d > 181) {
                EXPECT_FALSE(shape.window.contains(p)) << x << "," << y;
            }
            if (d < 179) {
                EXPECT_TRUE(shape.window.contains(p)) << x << "," << y;
            }
            const CameraHit hit = HitTestCamera(shape, p);
            bool on_button = false;
            for (const QRect& b : shape.buttons)
                on_button |= b.contains(p) && std::hypot(x + 0.5 - QRectF(b).center().x(),
                                                         y + 0.5 - QRectF(b).center().y()) < 11;
            if (on_button) {
                EXPECT_GE(hit.slot, 0) << x << "," << y;
                continue;
            }
            if (hit.slot >= 0) continue;  // the edge pixels of a button's disc
            if (d < 174) {
                EXPECT_EQ(hit.code, HitTest::Client) << x << "," << y;
            }
            if (d < 177 || d > 179) continue;
            ++rim_points;
            HitTest want;
            if (x < 16)
                want = HitTest::Left;
            else if (y < 16)
                want = HitTest::Top;
            else if (x >= 344)
                want = HitTest::Right;
            else if (y >= 344)
                want = HitTest::Bottom;
            else if (y < 180)
                want = x < 180 ? HitTest::TopLeft : HitTest::TopRight;
            else
                want = x < 180 ? HitTest::BottomLeft : HitTest::BottomRight;
            EXPECT_EQ(hit.code, want) << x << "," << y;
        }
    }
    EXPECT_GT(rim_points, 100);
}

TEST(CameraWindowShape, RectangleRimHasCornersOfSixAndSideStripsOfThree) {
    const CameraShape shape = BuildCameraShape({0, 0, 300, 200}, false);
    EXPECT_TRUE(shape.window.contains(QPoint(0, 0)));
    EXPECT_TRUE(shape.window.contains(QPoint(299, 199)));
    struct Case {
        QPoint p;
        HitTest code;
    } cases[] = {
        {{0, 0}, HitTest::TopLeft},         {{5, 2}, HitTest::TopLeft},      {{2, 5}, HitTest::TopLeft},
        {{5, 5}, HitTest::Client},  // in the corner box but inside the 4-pixel rim
        {{2, 100}, HitTest::Left},          {{3, 100}, HitTest::Client},  // rim, but past the strip
        {{150, 0}, HitTest::Top},           {{150, 199}, HitTest::Bottom},   {{150, 196}, HitTest::Client},
        {{299, 199}, HitTest::BottomRight}, {{0, 199}, HitTest::BottomLeft}, {{150, 100}, HitTest::Client},
        {{299, 150}, HitTest::Right},  // between the buttons (step 40: the last ends at 184)
    };
    for (const Case& c : cases)
        EXPECT_EQ(HitTestCamera(shape, c.p).code, c.code) << c.p.x() << "," << c.p.y();
    // Slot 2 is centred at (288, 92): its disc is a button, not the right side.
    EXPECT_EQ(HitTestCamera(shape, QPoint(299, 92)).slot, 2);
    EXPECT_EQ(HitTestCamera(shape, QPoint(299, 92)).code, HitTest::Client);
}

TEST(CameraWindowShape, WindowHalfOffTheLeftEdgeIsShapedToItsVisiblePart) {
    const CameraShape shape = BuildCameraShape(Square(-180, 100, 360), true);
    EXPECT_EQ(shape.full, QRect(-180, 0, 360, 360));
    EXPECT_TRUE(QRect(0, 0, 180, 360).contains(shape.window.boundingRect()));
    EXPECT_TRUE(shape.window.contains(QPoint(0, 180)));    // the middle of the circle, now the edge
    EXPECT_TRUE(shape.window.contains(QPoint(178, 180)));  // its right end
    EXPECT_FALSE(shape.window.contains(QPoint(170, 10)));  // outside the circle
    // The screen edge is no rim: the cut side does not size the window.
    EXPECT_EQ(HitTestCamera(shape, QPoint(0, 180)).code, HitTest::Client);
    EXPECT_EQ(HitTestCamera(shape, QPoint(178, 180)).code, HitTest::Right);
}

TEST(CameraWindowDrag, InsideMovesTheWholeWindowAndTheStartRectangleGoesWithTheMouse) {
    const settings::Rect start{100, 100, 460, 460};
    EXPECT_EQ(DragCameraRect(HitTest::Client, true, start, {200, 200}, {-100, 250}),
              (settings::Rect{-200, 150, 160, 510}));
    EXPECT_EQ(DragCameraRect(HitTest::Nowhere, false, start, {200, 200}, {0, 0}), start);
}

TEST(CameraWindowDrag, RectangleSidesFollowTheMouseAndStopAt150FromTheOppositeSide) {
    const settings::Rect start{100, 100, 500, 400};
    EXPECT_EQ(DragCameraRect(HitTest::Right, false, start, {499, 200}, {549, 900}),
              (settings::Rect{100, 100, 550, 400}));
    EXPECT_EQ(DragCameraRect(HitTest::Right, false, start, {499, 200}, {0, 200}),
              (settings::Rect{100, 100, 250, 400}));
    EXPECT_EQ(DragCameraRect(HitTest::Left, false, start, {100, 200}, {460, 200}),
              (settings::Rect{350, 100, 500, 400}));
    EXPECT_EQ(DragCameraRect(HitTest::Top, false, start, {300, 100}, {300, 20}),
              (settings::Rect{100, 20, 500, 400}));
    EXPECT_EQ(DragCameraRect(HitTest::Bottom, false, start, {300, 399}, {300, 0}),
              (settings::Rect{100, 100, 500, 250}));
    EXPECT_EQ(DragCameraRect(HitTest::TopLeft, false, start, {100, 100}, {1000, 50}),
              (settings::Rect{350, 50, 500, 400}));
    EXPECT_EQ(DragCameraRect(HitTest::BottomRight, false, start, {500, 400}, {520, 0}),
              (settings::Rect{100, 100, 520, 250}));
}

// The spec's loop, one pixel at a time, as the oracle for the computed limit.
int LoweredInset(int width, int e) {
    while (((width - 2 * e) & ~1) < kCameraMinSide) --e;
    return e;
}

TEST(CameraWindowDrag, RoundSidesMoveEverySideInByTheMouseMovementDownTo150) {
    for (int width = 150; width <= 420; width += 7) {
        for (int move = -60; move <= 300; move += 13) {
            const settings::Rect start = Square(1000, 100, width);
            const int e = LoweredInset(width, move);
            const settings::Rect want{1000 + e, 100 + e, 1000 + width - e, 100 + width - e};
            EXPECT_EQ(DragCameraRect(HitTest::Left, true, start, {1000, 300}, {1000 + move, 999}), want)
                << width;
            EXPECT_EQ(DragCameraRect(HitTest::Right, true, start, {1500, 300}, {1500 - move, 0}), want)
                << width;
            EXPECT_EQ(DragCameraRect(HitTest::Top, true, start, {0, 100}, {77, 100 + move}), want) << width;
            EXPECT_EQ(DragCameraRect(HitTest::Bottom, true, start, {0, 500}, {0, 500 - move}), want) << width;
            const int shown = static_cast<int>(Width(want)) & ~1;
            EXPECT_GE(shown, kCameraMinSide);
        }
    }
}

TEST(CameraWindowDrag, RoundCornersFollowTheDistanceToTheCentreAndCountTenPastIt) {
    const settings::Rect start = Square(0, 0, 360);  // centre (180, 180)
    const QPoint grab(54, 54);                       // on the top-left rim
    const double d0 = std::hypot(54 - 180.0, 54 - 180.0);
    // Outwards along the diagonal: the window grows by the distance gained on every side.
    const int grow = static_cast<int>(d0 - std::hypot(34 - 180.0, 34 - 180.0));
    EXPECT_EQ(DragCameraRect(HitTest::TopLeft, true, start, grab, {34, 34}),
              (settings::Rect{grow, grow, 360 - grow, 360 - grow}));
    EXPECT_LT(grow, 0);
    // Inwards a little.
    const int shrink = static_cast<int>(d0 - std::hypot(80 - 180.0, 90 - 180.0));
    EXPECT_EQ(DragCameraRect(HitTest::TopLeft, true, start, grab, {80, 90}),
              (settings::Rect{shrink, shrink, 360 - shrink, 360 - shrink}));
    // Past the centre line on the far side: distance 10, so the window shrinks to the minimum.
    EXPECT_EQ(DragCameraRect(HitTest::TopLeft, true, start, grab, {200, 100}), Square(105, 105, 150));
    EXPECT_EQ(DragCameraRect(HitTest::BottomRight, true, start, {306, 306}, {170, 300}),
              Square(105, 105, 150));
    // The same point is not past the centre for the bottom-left corner.
    const int bl =
        static_cast<int>(std::hypot(54 - 180.0, 306 - 180.0) - std::hypot(170 - 180.0, 300 - 180.0));
    EXPECT_EQ(DragCameraRect(HitTest::BottomLeft, true, start, {54, 306}, {170, 300}),
              (settings::Rect{bl, bl, 360 - bl, 360 - bl}));
}

TEST(CameraWindowStatus, BusyOnlyForItsOwnCodeAndEveryOtherFailureInHexadecimal) {
    EXPECT_EQ(CameraStatusText(false, 0), "摄像头初始化中...");
    EXPECT_EQ(CameraStatusText(false, 0x00040268), "摄像头初始化中...");
    EXPECT_EQ(CameraStatusText(true, 0), "");
    EXPECT_EQ(CameraStatusText(true, 0x00040268), "摄像头被占用");
    EXPECT_EQ(CameraStatusText(true, 0x00040269), "摄像头打开失败(0x00040269");
    EXPECT_EQ(CameraStatusText(true, 0x8007000A), "摄像头打开失败(0x8007000A");
    EXPECT_EQ(CameraStatusText(true, 0x80004005), "摄像头打开失败(0x80004005");
}

}  // namespace
}  // namespace vexa::ui
