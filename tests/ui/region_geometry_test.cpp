// The geometry of region selection and the region frame, checked against the numbers the rules
// give by hand and, over many random cases, against properties that must always hold.
#include "ui/region_geometry.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <random>

namespace vexa::ui::region {
namespace {

using toolkit::HitTest;

constexpr QSize kScreen{1920, 1080};
constexpr int W = 1920;
constexpr int H = 1080;

// A region from its inclusive corners.
QRect R(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// --- normalising --------------------------------------------------------------------------------

TEST(NormalizeRegion, ASmallRegionAtTheBottomRightCornerGrowsToOneHundredInsideTheScreen) {
    EXPECT_EQ(NormalizeRegion(R(W - 5, H - 5, W + 4, H + 4), kScreen), R(W - 100, H - 100, W - 1, H - 1));
}

TEST(NormalizeRegion, ARegionOffTheLeftAndTopEdgesIsShiftedInKeepingItsSize) {
    EXPECT_EQ(NormalizeRegion(R(-50, -20, 249, 179), kScreen), R(0, 0, 299, 199));
    EXPECT_EQ(NormalizeRegion(R(1800, 1000, 2099, 1199), kScreen), R(W - 300, H - 200, W - 1, H - 1));
}

TEST(NormalizeRegion, ARegionWiderThanTheScreenBecomesTheScreen) {
    EXPECT_EQ(NormalizeRegion(R(-100, -100, W + 100, H + 100), kScreen), R(0, 0, W - 1, H - 1));
    EXPECT_EQ(NormalizeRegion(R(300, 200, W + 700, 500), kScreen), R(0, 200, W - 1, 500));
    constexpr int kMin = std::numeric_limits<int>::min(), kMax = std::numeric_limits<int>::max();
    EXPECT_EQ(NormalizeRegion(R(kMin, kMin, kMax, kMax), kScreen), WholeScreen(kScreen));  // a stored one
}

TEST(NormalizeRegion, ARegionInsideTheScreenAndLargeEnoughStaysAsItIs) {
    EXPECT_EQ(NormalizeRegion(R(10, 20, 109, 119), kScreen), R(10, 20, 109, 119));
    EXPECT_EQ(NormalizeRegion(WholeScreen(kScreen), kScreen), WholeScreen(kScreen));
}

TEST(NormalizeRegion, AnyRectangleEndsOnTheScreenAtLeastOneHundredSquareAndKeepsAFittingSize) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> position(-3000, 3000);
    std::uniform_int_distribution<int> extent(-50, 2500);
    for (int i = 0; i < 20000; ++i) {
        const int left = position(random);
        const int top = position(random);
        const QRect in = R(left, top, left + extent(random), top + extent(random));
        const QRect out = NormalizeRegion(in, kScreen);
        ASSERT_TRUE(WholeScreen(kScreen).contains(out)) << i;
        ASSERT_GE(out.width(), 100);
        ASSERT_GE(out.height(), 100);
        if (in.width() >= 100 && in.width() <= W) {
            ASSERT_EQ(out.width(), in.width()) << i;
        }
        if (in.height() >= 100 && in.height() <= H) {
            ASSERT_EQ(out.height(), in.height()) << i;
        }
        ASSERT_EQ(NormalizeRegion(out, kScreen), out);  // normalising twice changes nothing
    }
}

TEST(RegionText, TheSizeLabelNamesWidthHeightAndTheExclusiveCorners) {
    EXPECT_EQ(SizeLabelText(R(10, 20, 109, 219)), "100 \u00d7 200  [10, 20, 110, 220]");
    EXPECT_EQ(SizeLabelText(NoRegion()), "0 \u00d7 0  [0, 0, 0, 0]");
    EXPECT_EQ(MagnifierText(QPoint(5, 1079)), "x = 5     y = 1079");
}

TEST(RegionText, FullScreenMeansExactlyAsWideAndAsHighAsTheScreen) {
    EXPECT_TRUE(IsFullScreen(WholeScreen(kScreen), kScreen));
    EXPECT_FALSE(IsFullScreen(R(1, 0, W, H - 1), QSize(W + 1, H)));
    EXPECT_TRUE(IsFullScreen(R(1, 0, W, H - 1), kScreen));  // the size decides, not the position
    EXPECT_FALSE(IsFullScreen(R(0, 0, W - 2, H - 1), kScreen));
    EXPECT_EQ(ToRect(FromRect(settings::Rect{3, 4, 5, 6})), (settings::Rect{3, 4, 5, 6}));
}

// --- the selection overlay ------------------------------------------------------------------------

TEST(OverlayGeometry, AWindowCoveringTheScreenOffersTheWholeScreen) {
    EXPECT_EQ(WindowRegion(QRect(-4, -4, W + 8, H + 8), kScreen), WholeScreen(kScreen));
    EXPECT_EQ(WindowRegion(QRect(0, 0, W, H), kScreen), WholeScreen(kScreen));
    EXPECT_EQ(WindowRegion(QRect(100, 50, 500, 400), kScreen), R(100, 50, 599, 449));
    EXPECT_EQ(WindowRegion(QRect(-300, 900, 500, 400), kScreen), R(0, 900, 199, H - 1));
}

// A click where no window was found chooses the whole screen; whatever else was found or dragged,
// down to one pixel, is chosen as it is.
TEST(OverlayGeometry, AClickThatFoundNoWindowChoosesTheWholeScreenAndAnythingElseItself) {
    EXPECT_EQ(ChosenRegion(NoRegion(), kScreen), WholeScreen(kScreen));
    EXPECT_EQ(ChosenRegion(R(100, 50, 599, 449), kScreen), R(100, 50, 599, 449));
    EXPECT_EQ(ChosenRegion(SpannedRegion(QPoint(5, 5), QPoint(5, 5)), kScreen), R(5, 5, 5, 5));
}

TEST(OverlayGeometry, ADragSpansItsTwoPointsWhicheverWayItGoes) {
    EXPECT_EQ(SpannedRegion(QPoint(700, 200), QPoint(1000, 600)), R(700, 200, 1000, 600));
    EXPECT_EQ(SpannedRegion(QPoint(1000, 600), QPoint(700, 200)), R(700, 200, 1000, 600));
    EXPECT_EQ(SpannedRegion(QPoint(5, 600), QPoint(90, 20)), R(5, 20, 90, 600));
    EXPECT_EQ(SpannedRegion(QPoint(5, 5), QPoint(5, 5)).size(), QSize(1, 1));
    EXPECT_EQ(ClampToScreen(QPoint(-3, 5000), kScreen), QPoint(0, H));
}

TEST(OverlayGeometry, TheMagnifierFlipsLeftAndAboveNearTheRightAndBottomEdges) {
    EXPECT_EQ(OverlayMagnifierBox(QPoint(100, 100), kScreen), QRect(120, 120, 181, 213));
    // Right up to the edge it stays right of the point; one pixel further it flips.
    EXPECT_EQ(OverlayMagnifierBox(QPoint(W - 201, 100), kScreen).left(), W - 181);
    EXPECT_EQ(OverlayMagnifierBox(QPoint(W - 200, 100), kScreen).left(), W - 200 - 201);
    EXPECT_EQ(OverlayMagnifierBox(QPoint(100, H - 233), kScreen).top(), H - 213);
    EXPECT_EQ(OverlayMagnifierBox(QPoint(100, H - 232), kScreen).top(), H - 232 - 233);
    EXPECT_EQ(OverlayMagnifierBox(QPoint(W, H), kScreen), QRect(W - 201, H - 233, 181, 213));
}

TEST(OverlayGeometry, TheLabelSitsAboveTheSelectionOrInsideItWhenThereIsNoRoom) {
    const QSize text(150, 14);
    // Room above: its bottom 4 pixels above the selection, 4 pixels in from the left edge.
    EXPECT_EQ(OverlayLabelBox(R(100, 30, 400, 300), text, kScreen), QRect(104, 30 - 4 - 26, 162, 26));
    // 29 pixels above are less than text height + 16: inside, 4 pixels below the top edge.
    EXPECT_EQ(OverlayLabelBox(R(100, 29, 400, 300), text, kScreen), QRect(104, 33, 162, 26));
    // Near the right edge it ends 4 pixels left of the selection.
    EXPECT_EQ(OverlayLabelBox(R(W - 100, 300, W - 1, 400), text, kScreen),
              QRect(W - 100 - 4 - 162, 270, 162, 26));
    EXPECT_EQ(OverlayLabelBox(R(W - 166, 300, W - 1, 400), text, kScreen).left(), W - 162);
}

TEST(OverlayGeometry, TheChangedAreaLeavesOutWhatStaysTheSame) {
    OverlayView before{R(100, 100, 899, 699), QRect(104, 70, 160, 26), QRect(420, 420, 181, 213),
                       QPoint(400, 400)};
    OverlayView after = before;
    after.point = QPoint(401, 400);
    after.magnifier = QRect(421, 420, 181, 213);
    const QRegion hover = OverlayChangedArea(before, after);
    EXPECT_EQ(hover, QRegion(QRect(418, 418, 186, 217)));  // the two magnifiers grown by 2
    // A drag one pixel wider changes the column that joined the selection and both borders, not
    // the inside.
    OverlayView wider = before;
    wider.selection = R(100, 100, 900, 699);
    const QRegion grown = OverlayChangedArea(before, wider);
    EXPECT_TRUE(grown.contains(QPoint(900, 300)));
    EXPECT_TRUE(grown.contains(QPoint(98, 300)));  // the left border is drawn again
    EXPECT_FALSE(grown.contains(QPoint(300, 300)));
    EXPECT_TRUE(grown.contains(QPoint(150, 80)));    // the label's text changes
    EXPECT_FALSE(grown.contains(QPoint(500, 500)));  // the magnifier did not move
    long area = 0;
    for (const QRect& r : grown) area += static_cast<long>(r.width()) * r.height();
    EXPECT_LT(area, 20000);  // thin strips and the label, not the 800 x 600 selection
    EXPECT_TRUE(OverlayChangedArea(before, before).isEmpty());
}

// --- the frame's hit test ----------------------------------------------------------------------------

class FrameHitMap : public ::testing::Test {
  protected:
    // A 301 x 201 region: the band runs 3 pixels out and 3 in (the right and bottom ones from the
    // inclusive edge minus 3 to plus 2).
    const QRect region = R(500, 400, 800, 600);
    HitTest At(int x, int y) const { return FrameHitTest(region, QPoint(x, y)); }
};

TEST_F(FrameHitMap, CornersAreEightPixelSquaresAtTheCornersOfTheGrownRegion) {
    EXPECT_EQ(At(497, 397), HitTest::TopLeft);
    EXPECT_EQ(At(504, 402), HitTest::TopLeft);
    EXPECT_EQ(At(505, 397), HitTest::Client);  // ninth column: the corner mark, which moves the region
    EXPECT_EQ(At(497, 405), HitTest::Client);
    EXPECT_EQ(At(802, 397), HitTest::TopRight);
    EXPECT_EQ(At(795, 402), HitTest::TopRight);
    EXPECT_EQ(At(794, 397), HitTest::Client);
    EXPECT_EQ(At(497, 602), HitTest::BottomLeft);
    EXPECT_EQ(At(802, 602), HitTest::BottomRight);
    EXPECT_EQ(At(795, 595), HitTest::Client);  // inside the region shrunk by 3
    EXPECT_EQ(At(795, 597), HitTest::BottomRight);
}

TEST_F(FrameHitMap, SidesRunFromFortyPixelsAfterOneCornerToFortyBeforeTheNext) {
    EXPECT_EQ(At(536, 397), HitTest::Client);
    EXPECT_EQ(At(537, 397), HitTest::Top);
    EXPECT_EQ(At(762, 402), HitTest::Top);
    EXPECT_EQ(At(763, 397), HitTest::Client);
    EXPECT_EQ(At(650, 403), HitTest::Client);  // the band is 6 rows: 397..402
    EXPECT_EQ(At(650, 396), HitTest::Client);
    EXPECT_EQ(At(650, 597), HitTest::Bottom);
    EXPECT_EQ(At(650, 602), HitTest::Bottom);
    EXPECT_EQ(At(650, 603), HitTest::Client);
    EXPECT_EQ(At(497, 436), HitTest::Client);
    EXPECT_EQ(At(497, 437), HitTest::Left);
    EXPECT_EQ(At(502, 562), HitTest::Left);
    EXPECT_EQ(At(497, 563), HitTest::Client);
    EXPECT_EQ(At(797, 500), HitTest::Right);
    EXPECT_EQ(At(802, 500), HitTest::Right);
    EXPECT_EQ(At(803, 500), HitTest::Client);
    EXPECT_EQ(At(796, 500), HitTest::Client);
}

TEST_F(FrameHitMap, EveryHandleCoversTheAreaItsBandAndZoneGive) {
    std::map<HitTest, int> counts;
    for (int y = 380; y < 620; ++y) {
        for (int x = 480; x < 820; ++x) ++counts[At(x, y)];
    }
    // Corner squares lose the 2 x 2 pixels that lie inside the region shrunk by 3.
    for (HitTest corner : {HitTest::TopLeft, HitTest::TopRight, HitTest::BottomLeft, HitTest::BottomRight})
        EXPECT_EQ(counts[corner], 60) << static_cast<int>(corner);
    const int across = (803 - 40) - (497 + 40);  // 226 columns
    const int down = (603 - 40) - (397 + 40);    // 126 rows
    EXPECT_EQ(counts[HitTest::Top], across * 6);
    EXPECT_EQ(counts[HitTest::Bottom], across * 6);
    EXPECT_EQ(counts[HitTest::Left], down * 6);
    EXPECT_EQ(counts[HitTest::Right], down * 6);
    EXPECT_TRUE(IsResizeHandle(HitTest::Left));
    EXPECT_TRUE(IsResizeHandle(HitTest::BottomRight));
    EXPECT_FALSE(IsResizeHandle(HitTest::Client));
    EXPECT_FALSE(IsResizeHandle(HitTest::Caption));
}

// --- the frame's label -----------------------------------------------------------------------------

class FrameLabel : public ::testing::Test {
  protected:
    const QSize text{170, 14};  // label box 208 x 26 with the close button
    static constexpr int kWidth = 208;
    static constexpr int kHeight = 26;
};

TEST_F(FrameLabel, GoesAboveTheRegionWhenThereIsRoomAndStaysOnTheScreen) {
    EXPECT_EQ(FrameLabelBox(R(300, 32, 700, 500), text, kScreen), QRect(300, 0, kWidth, kHeight));
    EXPECT_EQ(FrameLabelBox(R(W - 150, 300, W - 1, 500), text, kScreen),
              QRect(W - kWidth, 268, kWidth, kHeight));
}

TEST_F(FrameLabel, GoesInsideTheTopLeftCornerWhenThereIsNoRoomAbove) {
    EXPECT_EQ(FrameLabelBox(R(300, 31, 700, 500), text, kScreen), QRect(308, 39, kWidth, kHeight));
    EXPECT_EQ(FrameLabelBox(WholeScreen(kScreen), text, kScreen), QRect(8, 8, kWidth, kHeight));
    EXPECT_EQ(FrameLabelBox(R(300, 0, 300 + kWidth + 15, 500), text, kScreen),
              QRect(308, 8, kWidth, kHeight));
}

TEST_F(FrameLabel, GoesLeftBelowOrRightOfANarrowRegionAtTheTopInThatOrder) {
    // Too narrow for the label inside (needs 224 columns), no room above.
    EXPECT_EQ(FrameLabelBox(R(800, 0, 899, 500), text, kScreen), QRect(800 - 6 - kWidth, 0, kWidth, kHeight));
    EXPECT_EQ(FrameLabelBox(R(100, 0, 199, 500), text, kScreen), QRect(100, 507, kWidth, kHeight));
    EXPECT_EQ(FrameLabelBox(R(100, 0, 199, H - 1), text, kScreen), QRect(206, 0, kWidth, kHeight));
    // Below a region at the right edge it is moved left to end at the screen's edge.
    EXPECT_EQ(FrameLabelBox(R(W - 100, 0, W - 1, 500), QSize(W, 14), QSize(W + 300, H)),
              QRect(W + 300 - (W + 38), 507, W + 38, kHeight));
}

TEST_F(FrameLabel, IsLeftOutWhenItFitsNowhere) {
    const QSize screen(400, 300);
    EXPECT_TRUE(FrameLabelBox(R(150, 0, 249, 299), text, screen).isEmpty());
    EXPECT_EQ(CloseButtonBox(QRect(100, 50, 208, 26)), QRect(284, 53, 20, 20));
}

// --- the frame's magnifier -------------------------------------------------------------------------

QRect Magnifier(const QRect& region, QPoint point, const QRect& label = {}, int thickness = 6,
                QSize screen = kScreen) {
    return FrameMagnifierBox({region, point, label, screen, thickness});
}

TEST(FrameMagnifier, DraggingTheRightEdgeShowsItRightOfThePoint) {
    const QRect region = R(500, 400, 800, 600);
    EXPECT_EQ(Magnifier(region, QPoint(800, 500)), QRect(820, 500, 181, 213));
    // The top-left corner: left of the region at the point's height is nearest.
    EXPECT_EQ(Magnifier(region, QPoint(500, 400)), QRect(299, 400, 181, 213));
}

TEST(FrameMagnifier, NearTheScreenEdgesTheCandidatesMoveInside) {
    // Bottom-right corner at the screen's corner: right and below are impossible, the left one is
    // moved up to end at the bottom of the screen; the one above is nearer.
    const QRect region = R(W - 400, H - 300, W - 1, H - 1);
    const QRect box = Magnifier(region, region.bottomRight());
    EXPECT_TRUE(QRect(0, 0, W, H).contains(box));
    EXPECT_EQ(box, QRect(W - 181, H - 300 - 233, 181, 213));
    // A region filling the screen leaves no outside place: inside, beside the point.
    EXPECT_EQ(Magnifier(WholeScreen(kScreen), QPoint(500, 400)), QRect(520, 420, 181, 213));
    EXPECT_EQ(Magnifier(WholeScreen(kScreen), QPoint(W - 1, H - 1)),
              QRect(W - 1 - 201, H - 1 - 233, 181, 213));
}

TEST(FrameMagnifier, WhileRecordingThereIsNoInsidePlace) {
    EXPECT_TRUE(Magnifier(WholeScreen(kScreen), QPoint(500, 400), {}, 3).isEmpty());
    EXPECT_FALSE(Magnifier(R(500, 400, 800, 600), QPoint(800, 500), {}, 3).isEmpty());
}

TEST(FrameMagnifier, MovesOffTheLabel) {
    // The right edge at the top of the screen with the label left of the region... the candidate
    // right of the point overlaps a label placed there and goes 6 pixels below it.
    const QRect region = R(500, 0, 800, 1000);
    const QRect label(830, 100, 208, 26);
    EXPECT_EQ(Magnifier(region, QPoint(800, 100), label), QRect(820, 132, 181, 213));
    // Below the label passes the bottom: it ends 6 pixels above the label instead.
    const QRect low_label(830, 900, 208, 26);
    EXPECT_EQ(Magnifier(region, QPoint(800, 880), low_label), QRect(820, 900 - 6 - 213, 181, 213));
}

TEST(FrameMagnifier, AnyDragGetsAPlaceOnTheScreenClearOfTheRegionOrInsideIt) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> xs(0, W - 100);
    std::uniform_int_distribution<int> ys(0, H - 100);
    const std::vector<HitTest> kinds = {HitTest::Left,   HitTest::Right,   HitTest::Top,
                                        HitTest::Bottom, HitTest::TopLeft, HitTest::BottomRight,
                                        HitTest::Client};
    for (int i = 0; i < 5000; ++i) {
        const int l = xs(random);
        const int t = ys(random);
        const QRect region = NormalizeRegion(R(l, t, l + xs(random) / 2, t + ys(random) / 2), kScreen);
        const HitTest kind = kinds[static_cast<size_t>(i) % kinds.size()];
        const QPoint point = DraggedPoint(kind, region, QPoint(xs(random), ys(random)));
        const QRect box = Magnifier(region, point);
        if (box.isEmpty()) {
            // Only when no outside place exists and the region has no room inside either.
            ASSERT_TRUE(region.width() < 181 + 12 || region.height() < 213 + 12) << i;
            continue;
        }
        ASSERT_EQ(box.size(), QSize(181, 213));
        ASSERT_TRUE(QRect(0, 0, W, H).contains(box)) << i;
        const bool inside = region.adjusted(6, 6, -6, -6).contains(box);
        ASSERT_TRUE(inside || !box.intersects(region)) << i;
    }
}

// --- dragging the frame --------------------------------------------------------------------------

TEST(FrameDrag, DraggingTheLeftEdgeRightStopsAtOneHundredPixels) {
    const QRect start = R(500, 400, 800, 600);
    EXPECT_EQ(DragRegion(HitTest::Left, start, QPoint(150, 0), kScreen), R(650, 400, 800, 600));
    EXPECT_EQ(DragRegion(HitTest::Left, start, QPoint(300, 50), kScreen), R(701, 400, 800, 600));
    EXPECT_EQ(DragRegion(HitTest::Left, start, QPoint(-900, 0), kScreen), R(0, 400, 800, 600));
    EXPECT_EQ(DragRegion(HitTest::Right, start, QPoint(-1000, 0), kScreen), R(500, 400, 599, 600));
    EXPECT_EQ(DragRegion(HitTest::Right, start, QPoint(5000, 0), kScreen), R(500, 400, W - 1, 600));
}

TEST(FrameDrag, MovingAgainstTheRightEdgeKeepsTheWidthAndEndsAtTheLastColumn) {
    const QRect start = R(500, 400, 800, 600);
    EXPECT_EQ(DragRegion(HitTest::Client, start, QPoint(2000, 0), kScreen), R(W - 301, 400, W - 1, 600));
    EXPECT_EQ(DragRegion(HitTest::Caption, start, QPoint(-900, -900), kScreen), R(0, 0, 300, 200));
    EXPECT_EQ(DragRegion(HitTest::Client, start, QPoint(10, 1000), kScreen), R(510, H - 201, 810, H - 1));
}

TEST(FrameDrag, CornersCombineTheirTwoEdges) {
    const QRect start = R(500, 400, 800, 600);
    EXPECT_EQ(DragRegion(HitTest::TopLeft, start, QPoint(-20, 500), kScreen), R(480, 501, 800, 600));
    EXPECT_EQ(DragRegion(HitTest::BottomRight, start, QPoint(-20, 30), kScreen), R(500, 400, 780, 630));
    EXPECT_EQ(DragRegion(HitTest::TopRight, start, QPoint(5, -5), kScreen), R(500, 395, 805, 600));
    EXPECT_EQ(DragRegion(HitTest::BottomLeft, start, QPoint(5, 5), kScreen), R(505, 400, 800, 605));
    EXPECT_EQ(DraggedPoint(HitTest::BottomLeft, R(505, 400, 800, 605), QPoint(1, 2)), QPoint(505, 605));
    EXPECT_EQ(DraggedPoint(HitTest::Left, R(505, 400, 800, 605), QPoint(1, 2)), QPoint(505, 400));
    EXPECT_EQ(DraggedPoint(HitTest::Bottom, R(505, 400, 800, 605), QPoint(700, 2)), QPoint(700, 605));
}

TEST(FrameDrag, AnyDragKeepsTheRegionOnTheScreenAndAtLeastOneHundredSquare) {
    std::mt19937 random(3);
    std::uniform_int_distribution<int> delta(-2500, 2500);
    std::uniform_int_distribution<int> code(10, 17);
    for (int i = 0; i < 20000; ++i) {
        const QRect start =
            NormalizeRegion(R(delta(random), delta(random), delta(random), delta(random)), kScreen);
        const HitTest kind = i % 5 == 0 ? HitTest::Client : static_cast<HitTest>(code(random));
        const QRect out = DragRegion(kind, start, QPoint(delta(random), delta(random)), kScreen);
        ASSERT_TRUE(WholeScreen(kScreen).contains(out)) << i;
        ASSERT_GE(out.width(), 100);
        ASSERT_GE(out.height(), 100);
        if (kind == HitTest::Client) {
            ASSERT_EQ(out.size(), start.size());
        }
    }
}

TEST(FrameWindow, CoversTheBandAndTheLabelWithTheirBorders) {
    EXPECT_EQ(FrameWindowBox(R(500, 400, 800, 600), {}, {}), QRect(497, 397, 307, 207));
    EXPECT_EQ(FrameWindowBox(R(500, 400, 800, 600), QRect(500, 368, 208, 26), {}), QRect(497, 367, 307, 237));
}

}  // namespace
}  // namespace vexa::ui::region
