// The pop-up list's size and place: the first item's size times the count plus the extra sizes,
// under the anchor, moved up or left to fit the monitor, with 0 (not the monitor's edge) as the
// lower bound.
#include "ui/pop_list_rules.h"

#include <gtest/gtest.h>

namespace vexa::ui {
namespace {

const QRect kScreen(0, 0, 1920, 1080);

TEST(PopupSize, RowsOfTheFirstItemPlusTheExtraSizes) {
    EXPECT_EQ(PopupSize(QSize(320, 28), 4, 6, 16), QSize(326, 128));  // four more speakers
    EXPECT_EQ(PopupSize(QSize(120, 28), 2, 32, 16), QSize(152, 72));  // two more cameras
    EXPECT_EQ(PopupSize(QSize(320, 28), 0, 190, 4), QSize(190, 4));   // the caller's rows
    EXPECT_EQ(PopupSize(QSize(), 0, 190, 28 * 3 + 4), QSize(190, 88));
}

TEST(PopupPlace, UnderTheAnchorWhenItFitsWithTouchingEdgesAllowed) {
    EXPECT_EQ(PlacePopup(QSize(326, 128), QPoint(700, 400), kScreen), QRect(700, 400, 326, 128));
    // Touching the bottom and right edges exactly still fits.
    EXPECT_EQ(PlacePopup(QSize(326, 128), QPoint(1594, 952), kScreen), QRect(1594, 952, 326, 128));
}

TEST(PopupPlace, MovedUpToEndAtTheMonitorsBottomAndLeftToEndAtItsRight) {
    EXPECT_EQ(PlacePopup(QSize(326, 128), QPoint(700, 953), kScreen), QRect(700, 952, 326, 128));
    EXPECT_EQ(PlacePopup(QSize(326, 128), QPoint(700, 1075), kScreen), QRect(700, 952, 326, 128));
    EXPECT_EQ(PlacePopup(QSize(326, 128), QPoint(1595, 10), kScreen), QRect(1594, 10, 326, 128));
    EXPECT_EQ(PlacePopup(QSize(326, 128), QPoint(1900, 1000), kScreen), QRect(1594, 952, 326, 128));
    // Taller than the monitor: moved up to end at its bottom, even if it then starts above it.
    EXPECT_EQ(PlacePopup(QSize(100, 1200), QPoint(10, 500), kScreen), QRect(10, -120, 100, 1200));
}

TEST(PopupPlace, NegativeStartsMoveToZero) {
    EXPECT_EQ(PlacePopup(QSize(326, 128), QPoint(-40, 300), kScreen), QRect(0, 300, 326, 128));
    EXPECT_EQ(PlacePopup(QSize(326, 128), QPoint(20, -5), kScreen), QRect(20, 0, 326, 128));
    EXPECT_EQ(PlacePopup(QSize(326, 128), QPoint(-1, -1), kScreen), QRect(0, 0, 326, 128));
}

TEST(PopupPlace, ASecondMonitorFitsToItsOwnEdgesButKeepsZeroAsTheLowerBound) {
    const QRect right_monitor(1920, 200, 1280, 1024);  // bottom at 1224, right at 3200
    EXPECT_EQ(PlacePopup(QSize(326, 128), QPoint(3000, 1200), right_monitor), QRect(2874, 1096, 326, 128));
    // Left of the monitor but not left of 0: stays where it is.
    EXPECT_EQ(PlacePopup(QSize(326, 128), QPoint(1800, 100), right_monitor), QRect(1800, 100, 326, 128));
    // A monitor left of the primary one: a negative start still goes to 0.
    EXPECT_EQ(PlacePopup(QSize(326, 128), QPoint(-1500, 300), QRect(-1920, 0, 1920, 1080)),
              QRect(0, 300, 326, 128));
}

}  // namespace
}  // namespace vexa::ui
