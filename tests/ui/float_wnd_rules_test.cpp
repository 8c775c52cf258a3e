// The floating bar's and the count-down's rules as functions of time and geometry.
#include "ui/float_wnd_rules.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace vexa::ui {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

const SteadyTime kT0 = SteadyTime{} + 1000h;
const QRect kWork(0, 0, 1920, 1040);  // right edge 1920, bottom 1040 (a panel below)
const QSize kBar(380, 48);

// hh:mm:ss from the digits the bar would show.
std::string Shown(milliseconds elapsed) {
    const auto d = ClockDigits(elapsed);
    char text[16];
    std::snprintf(text, sizeof text, "%d%d:%d%d:%d%d", d[0], d[1], d[2], d[3], d[4], d[5]);
    return text;
}

// Drives the clock with the bar's 50 ms timer, whose ticks come a little late and never on whole
// milliseconds, over [from, to).
void TickThrough(RecordedTime& clock, SteadyTime from, SteadyTime to) {
    for (SteadyTime t = from; t < to; t += 50ms + 317us) clock.Tick(t);
}

TEST(RecordedTime, ARecordingOfAnHourTwoMinutesThreeSecondsWithATenMinutePauseShows005203) {
    RecordedTime clock;
    ASSERT_TRUE(clock.Apply(1, kT0));
    TickThrough(clock, kT0, kT0 + 20min);
    ASSERT_TRUE(clock.Apply(2, kT0 + 20min));
    TickThrough(clock, kT0 + 20min, kT0 + 30min);  // ticks while paused add nothing
    ASSERT_TRUE(clock.Apply(1, kT0 + 30min));
    const SteadyTime end = kT0 + 1h + 2min + 3s;
    TickThrough(clock, kT0 + 30min, end);
    clock.Tick(end);
    EXPECT_EQ(clock.Elapsed(), 52min + 3s);
    EXPECT_EQ(Shown(clock.Elapsed()), "00:52:03");
}

TEST(RecordedTime, RepeatedOrUnknownStatesChangeNothingAndStoppingKeepsTheLastStretch) {
    RecordedTime clock;
    ASSERT_TRUE(clock.Apply(1, kT0));
    EXPECT_FALSE(clock.Apply(1, kT0 + 5s));  // a second "recording" does not restart the stretch
    EXPECT_FALSE(clock.Apply(3, kT0 + 6s));
    ASSERT_TRUE(clock.Apply(0, kT0 + 7s + 400ms));  // no tick in between: the stop keeps it
    clock.Tick(kT0 + 1h);
    EXPECT_EQ(clock.Elapsed(), 7400ms);
}

TEST(ClockDigits, AgreeWithTheCalendarSplitAndWrapAfterNinetyNineHours) {
    for (const milliseconds t : std::initializer_list<milliseconds>{
             0ms, 999ms, 1s, 59s + 999ms, 1min, 59min + 59s, 1h, 9h + 8min + 7s, 99h + 59min + 59s + 999ms,
             100h, 100h + 1h + 2min + 3s, 12345h + 6min}) {
        const std::chrono::hh_mm_ss<milliseconds> split(t);
        char expected[16];
        std::snprintf(expected, sizeof expected, "%02d:%02d:%02d",
                      static_cast<int>(split.hours().count() % 100),
                      static_cast<int>(split.minutes().count()), static_cast<int>(split.seconds().count()));
        EXPECT_EQ(Shown(t), expected) << t.count();
    }
    EXPECT_EQ(Shown(99h + 59min + 59s), "99:59:59");
    EXPECT_EQ(Shown(100h), "00:00:00");
}

TEST(BarGeometry, DragsAwayFromButtonsAndMarginsStaysInTheWorkAreaAndDocksNearAnEdge) {
    // Only non-button controls away from the 8-pixel side margins drag the bar.
    EXPECT_FALSE(IsDragArea(7, 380, ControlUnder::kOther));
    EXPECT_TRUE(IsDragArea(8, 380, ControlUnder::kOther));
    EXPECT_TRUE(IsDragArea(371, 380, ControlUnder::kOther));
    EXPECT_FALSE(IsDragArea(372, 380, ControlUnder::kOther));
    EXPECT_FALSE(IsDragArea(190, 380, ControlUnder::kButton));
    EXPECT_FALSE(IsDragArea(190, 380, ControlUnder::kNothing));

    // Dragging follows the cursor, at most 8 pixels beyond the sides and never beyond top or bottom
    // (a work area with panels on the left and on top).
    const QRect grabbed(QPoint(1000, 500), kBar);
    const QPoint grab(1100, 520);
    const QRect work(64, 32, 1856, 1008);
    EXPECT_EQ(DragPosition(grabbed, grab, QPoint(900, 300), work), QPoint(800, 280));
    EXPECT_EQ(DragPosition(grabbed, grab, QPoint(-5000, -5000), work), QPoint(56, 32));
    EXPECT_EQ(DragPosition(grabbed, grab, QPoint(5000, 5000), work), QPoint(1920 + 8 - 380, 1040 - 48));

    // The start position docks at the right; within 50 pixels of an edge docks there, the middle never.
    const QPoint corner = CornerPosition(kBar, kWork);
    EXPECT_EQ(QRect(corner, kBar).bottomRight() + QPoint(1, 1), QPoint(1920 + 8, 1040));
    auto edge = [](int left) { return NearEdge(QRect(QPoint(left, 500), kBar), kWork); };
    EXPECT_EQ(edge(corner.x()), BarEdge::kRight);
    EXPECT_EQ(edge(1920 - 380 - 50), BarEdge::kRight);
    EXPECT_EQ(edge(1920 - 380 - 51), BarEdge::kNone);
    EXPECT_EQ(edge(760), BarEdge::kNone);
    EXPECT_EQ(edge(51), BarEdge::kNone);
    EXPECT_EQ(edge(50), BarEdge::kLeft);
    EXPECT_EQ(edge(-372), BarEdge::kLeft);
}

TEST(BarSlides, HideAtOnePixelPerMillisecondAndShowAtSixStoppingExactlyAtTheirEdges) {
    const QRect shown(CornerPosition(kBar, kWork), kBar);
    const auto hide = HideSlide(shown, kWork, kT0);
    ASSERT_TRUE(hide);
    const int distance = 1912 - shown.x();  // 364: only 8 pixels are left inside the work area
    EXPECT_EQ(hide->LeftAt(kT0 + 100ms), shown.x() + 100);
    EXPECT_FALSE(hide->DoneAt(kT0 + milliseconds(distance - 1)));
    EXPECT_TRUE(hide->DoneAt(kT0 + milliseconds(distance)));
    EXPECT_EQ(hide->LeftAt(kT0 + 1h), 1912);
    EXPECT_EQ(HideSlide(QRect(QPoint(20, 300), kBar), kWork, kT0)->LeftAt(kT0 + 1h), 8 - 380);
    EXPECT_FALSE(HideSlide(QRect(QPoint(760, 300), kBar), kWork, kT0));   // the middle stays
    EXPECT_FALSE(HideSlide(QRect(QPoint(1912, 300), kBar), kWork, kT0));  // already docked

    const auto show = ShowSlide(QRect(QPoint(1912, 992), kBar), kWork, kT0);
    ASSERT_TRUE(show);
    EXPECT_EQ(show->LeftAt(kT0 + 60ms), 1912 - 360);
    EXPECT_EQ(show->LeftAt(kT0 + 61ms), shown.x());  // 364 is no multiple of 6: the last step is cut
    EXPECT_TRUE(show->DoneAt(kT0 + 61ms));
    EXPECT_EQ(ShowSlide(QRect(QPoint(8 - 380, 300), kBar), kWork, kT0)->LeftAt(kT0 + 1h), -8);
    EXPECT_FALSE(ShowSlide(shown, kWork, kT0));
}

TEST(BarDocking, WithAThreeSecondCountDownTheBarIsDockedOneSecondBeforeRecordingStarts) {
    // The start: placed at the corner, the count-down ends 3 s after the press, the docking
    // deadline one second earlier.
    const QRect placed(CornerPosition(kBar, kWork), kBar);
    const SteadyTime recording_starts = kT0 + 3s;
    const SteadyTime deadline = recording_starts - 1s;
    const auto dock = DockingSlide(placed, kWork, kT0, deadline);
    ASSERT_TRUE(dock);
    const int distance = 1912 - placed.x();  // 364 pixels, moved from 3 x 364 ms before the deadline
    const SteadyTime begins = deadline - milliseconds(3 * distance);
    EXPECT_EQ(dock->LeftAt(kT0), placed.x());
    EXPECT_EQ(dock->LeftAt(begins - 1ms), placed.x());
    EXPECT_EQ(dock->LeftAt(begins + 200ms), placed.x() + 200);
    EXPECT_TRUE(dock->DoneAt(begins + milliseconds(distance)));
    EXPECT_EQ(dock->LeftAt(deadline), 1912);
    EXPECT_EQ(dock->LeftAt(recording_starts), 1912);
}

TEST(BarDocking, ALateStartMovesAtOnceAndStandsDockedAtTheDeadline) {
    const QRect placed(CornerPosition(kBar, kWork), kBar);
    const auto dock = DockingSlide(placed, kWork, kT0, kT0 + 100ms);
    ASSERT_TRUE(dock);
    EXPECT_EQ(dock->LeftAt(kT0 + 99ms), placed.x() + 99);
    EXPECT_EQ(dock->LeftAt(kT0 + 100ms), 1912);  // 264 pixels short of walking there
    EXPECT_EQ(DockingSlide(QRect(QPoint(0, 300), kBar), kWork, kT0, kT0 + 10s)->LeftAt(kT0 + 10s), 8 - 380);
    EXPECT_FALSE(DockingSlide(QRect(QPoint(760, 300), kBar), kWork, kT0, kT0 + 10s));
}

TEST(AutoHide, FourIdleSecondsHideAShownBarAndRecentActivityBringsItBack) {
    // Docked and marked idle ten seconds back, the bar stays.
    EXPECT_EQ(AutoHideStep(true, kT0 - kBarIdleAfterDocking, kT0), IdleStep::kNothing);
    EXPECT_EQ(AutoHideStep(true, kT0, kT0 + 3999ms), IdleStep::kShow);
    EXPECT_EQ(AutoHideStep(false, kT0, kT0 + 3999ms), IdleStep::kNothing);
    EXPECT_EQ(AutoHideStep(false, kT0, kT0 + 4000ms), IdleStep::kHideUnlessPointedAt);
}

TEST(CountDown, ThreeSecondsShowThreeTwoOneEachShrinkingFromFullSizeToNothing) {
    struct Run {
        int digit;
        int first_side;
        int last_side;
    };
    std::vector<Run> runs;
    int previous_side = 0;
    for (milliseconds t = 1ms; t < 3000ms; ++t) {
        const auto picture = CountDownAt(t, 3000ms);
        ASSERT_TRUE(picture) << t.count();
        const int side = picture->dest.width();
        EXPECT_EQ(picture->dest.height(), side);
        // Centred: as much room left as right, to the pixel.
        EXPECT_LE(std::abs(picture->dest.x() * 2 + side - 160), 1);
        EXPECT_EQ(picture->dest.x(), picture->dest.y());
        const int digit = picture->cell + 1;
        if (runs.empty() || runs.back().digit != digit) {
            runs.push_back({digit, side, side});
        } else {
            EXPECT_LE(side, previous_side) << t.count();  // never grows within its second
            runs.back().last_side = side;
        }
        previous_side = side;
    }
    ASSERT_EQ(runs.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(runs[i].digit, 3 - i);
        EXPECT_EQ(runs[i].first_side, 159);  // 999 ms left of its second
        EXPECT_EQ(runs[i].last_side, 0);
    }
    EXPECT_FALSE(CountDownAt(3000ms, 3000ms));
    EXPECT_FALSE(CountDownAt(4000ms, 3000ms));
}

TEST(CountDown, LongerCountDownsStayOnTheLastCellAndTheWindowSitsInTheMiddle) {
    EXPECT_EQ(CountDownAt(1ms, 7000ms)->cell, 4);
    EXPECT_EQ(CountDownAt(2500ms, 5000ms), (CountDownPicture{2, QRect(40, 40, 80, 80)}));
    EXPECT_EQ(CountDownPosition(QRect(1920, 0, 1280, 1024)), QPoint(1920 + 560, 432));
}

}  // namespace
}  // namespace vexa::ui
