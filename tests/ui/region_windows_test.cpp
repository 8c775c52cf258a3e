// The selection overlay and the region frame on the test display (tools/with-test-env.sh, no window
// manager unless a test starts openbox): the mouse and keys come from the X test extension through
// a second connection, which also plays the other programs' windows.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

#include <QWidget>
#include <QGuiApplication>
#include <QWindow>

#include "tests/support/test_compositor.h"
#include "tests/toolkit/qt_test_app.h"
#include "tests/ui/display_settle.h"
#include "tests/ui/test_shell.h"
#include "toolkit/application.h"
#include "toolkit/window_input.h"
#include "ui/region_wnd.h"
#include "ui/sel_rgn_wnd.h"

// Xlib last: its macros (None, Bool, Status) collide with Qt and GoogleTest names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace vexa::ui {
namespace {

struct Report {
    int code;
    bool full_screen;
    settings::Rect rect;
};

using test::PumpUntil;

// Every event the input caused has been handled, and every request that made has been carried out.
void Settle(Display* input) {
    ASSERT_TRUE(test::SettleDisplay(input));
}

class OnDisplay : public test::OnXDisplay {
  protected:
    void SetUpOnDisplay() override {
        x_ = XOpenDisplay(nullptr);
        ASSERT_NE(x_, nullptr);
        screen_ = toolkit::primaryScreenSize();
    }
    void TearDown() override {
        if (!x_) return;
        for (::Window w : windows_) XDestroyWindow(x_, w);
        XCloseDisplay(x_);
    }

    // A plain window of another program, reporting button presses to this connection.
    ::Window Other(int x, int y, int width, int height) {
        const ::Window w = XCreateSimpleWindow(x_, DefaultRootWindow(x_), x, y, static_cast<unsigned>(width),
                                               static_cast<unsigned>(height), 0, 0, 0x336699);
        XSelectInput(x_, w, ButtonPressMask);
        XMapWindow(x_, w);
        XSync(x_, False);
        windows_.push_back(w);
        Settle(x_);
        return w;
    }
    bool PressedOn(::Window w) {
        XSync(x_, False);
        XEvent event;
        bool pressed = false;
        while (XCheckWindowEvent(x_, w, ButtonPressMask, &event)) pressed = true;
        return pressed;
    }

    ::Window Parent(::Window w) {
        ::Window root = 0, parent = 0;
        ::Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(x_, w, &root, &parent, &children, &count)) return 0;
        if (children) XFree(children);
        return parent;
    }
    ::Window Focus() {
        ::Window focus = 0;
        int revert = 0;
        XGetInputFocus(x_, &focus, &revert);
        return focus;
    }
    void FocusOn(::Window w) {
        XSetInputFocus(x_, w, RevertToParent, CurrentTime);
        Settle(x_);
    }
    bool OverrideRedirect(::Window w) {
        XWindowAttributes attributes{};
        return XGetWindowAttributes(x_, w, &attributes) && attributes.override_redirect;
    }

    void MoveTo(int x, int y) {
        XTestFakeMotionEvent(x_, -1, x, y, 0);
        Settle(x_);
    }
    void Button(unsigned button, bool down) {
        XTestFakeButtonEvent(x_, button, down ? True : False, 0);
        Settle(x_);
    }
    void ClickAt(int x, int y, unsigned button = 1) {
        MoveTo(x, y);
        Button(button, true);
        Button(button, false);
    }
    void Key(KeySym key) {
        const KeyCode code = XKeysymToKeycode(x_, key);
        XTestFakeKeyEvent(x_, code, True, 0);
        XTestFakeKeyEvent(x_, code, False, 0);
        Settle(x_);
    }

    // Starts a selection that records its reports; false when it could not start.
    bool Begin(CSelRgnWnd& overlay) {
        const Error started =
            overlay.BeginSelection(nullptr, [this](int code, bool full, const settings::Rect& rect) {
                reports_.push_back({code, full, rect});
            });
        EXPECT_TRUE(started.ok()) << started.message();
        Settle(x_);
        return started.ok() && overlay.isVisible();
    }
    // The reports other than "the candidate changed".
    std::vector<Report> Final() const {
        std::vector<Report> out;
        for (const Report& r : reports_) {
            if (r.code != region::kCandidateChanged) out.push_back(r);
        }
        return out;
    }

    Display* x_ = nullptr;
    QSize screen_;
    std::vector<::Window> windows_;
    std::vector<Report> reports_;
};

TEST_F(OnDisplay, ClickingAWindowThatCoversTheScreenChoosesTheWholeScreen) {
    Other(-2, -2, screen_.width() + 4, screen_.height() + 4);
    CSelRgnWnd overlay;
    ASSERT_TRUE(Begin(overlay));
    ClickAt(700, 500);
    ASSERT_TRUE(PumpUntil([&] { return !Final().empty(); }));
    Settle(x_);  // a second report would have come by now
    const std::vector<Report> done = Final();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].code, region::kChosen);
    EXPECT_TRUE(done[0].full_screen);
    EXPECT_EQ(done[0].rect, (settings::Rect{0, 0, screen_.width() - 1, screen_.height() - 1}));
    EXPECT_FALSE(overlay.isCreated());
    EXPECT_EQ(overlay.SelectionState(), CSelRgnWnd::State::kCompleted);
}

// Beside every window the pointer is on the bare desktop: that outlines and chooses the whole
// screen, as a desktop window covering the screen would (never an empty rectangle, which the region
// frame would turn into a corner of the screen).
TEST_F(OnDisplay, HoveringOutlinesTheWindowUnderThePointerAndClickingTheBareDesktopChoosesTheWholeScreen) {
    Other(300, 200, 400, 300);
    CSelRgnWnd overlay;
    ASSERT_TRUE(Begin(overlay));
    MoveTo(450, 300);
    EXPECT_EQ(overlay.Candidate(), QRect(300, 200, 400, 300));
    MoveTo(1200, 900);
    EXPECT_EQ(overlay.Candidate(), QRect(QPoint(0, 0), screen_));
    Button(1, true);
    Button(1, false);
    ASSERT_TRUE(PumpUntil([&] { return !Final().empty(); }));
    ASSERT_EQ(Final().size(), 1u);
    EXPECT_EQ(Final()[0].code, region::kChosen);
    EXPECT_EQ(Final()[0].rect, (settings::Rect{0, 0, screen_.width() - 1, screen_.height() - 1}));
    EXPECT_TRUE(Final()[0].full_screen);
}

TEST_F(OnDisplay, DraggingChoosesTheDraggedRectangleWithBothCornersIncluded) {
    Other(0, 0, screen_.width(), screen_.height());
    CSelRgnWnd overlay;
    ASSERT_TRUE(Begin(overlay));
    MoveTo(500, 450);
    Button(1, true);
    MoveTo(400, 380);
    MoveTo(300, 200);
    EXPECT_EQ(overlay.SelectionState(), CSelRgnWnd::State::kDragging);
    Button(1, false);
    ASSERT_TRUE(PumpUntil([&] { return !Final().empty(); }));
    ASSERT_EQ(Final().size(), 1u);
    EXPECT_EQ(Final()[0].code, region::kChosen);
    EXPECT_EQ(Final()[0].rect, (settings::Rect{300, 200, 500, 450}));
}

TEST_F(OnDisplay, EscARightClickOrLosingTheFocusCancelsOnce) {
    const ::Window other = Other(100, 100, 200, 200);
    const std::vector<std::function<void()>> cancels = {
        [&] { Key(XK_Escape); },
        [&] { ClickAt(800, 600, 3); },
        [&] {
            XSetInputFocus(x_, other, RevertToParent, CurrentTime);
            Settle(x_);
        },
    };
    for (size_t i = 0; i < cancels.size(); ++i) {
        reports_.clear();
        CSelRgnWnd overlay;
        ASSERT_TRUE(Begin(overlay));
        MoveTo(900, 700);
        if (i == 2) {
            ASSERT_TRUE(PumpUntil([&] { return !overlay.Opening(); }));  // opened
        }
        cancels[i]();
        ASSERT_TRUE(PumpUntil([&] { return !Final().empty(); })) << i;
        Settle(x_);  // a second report would have come by now
        ASSERT_EQ(Final().size(), 1u) << i;
        EXPECT_EQ(Final()[0].code, region::kCancelled) << i;
        EXPECT_EQ(Final()[0].rect, (settings::Rect{0, 0, -1, -1})) << i;
        EXPECT_FALSE(overlay.isCreated()) << i;
    }
}

TEST_F(OnDisplay, TheFocusMovingWhileTheOverlayOpensOrToThisProgramLeavesItOpen) {
    const ::Window other = Other(100, 100, 200, 200);
    CSelRgnWnd overlay;
    ASSERT_TRUE(Begin(overlay));
    ASSERT_TRUE(overlay.Opening());
    FocusOn(other);  // as sway gives the focus to the next window when the main window hides
    ASSERT_TRUE(PumpUntil([&] { return !overlay.Opening(); }));
    Settle(x_);
    EXPECT_TRUE(overlay.isCreated());
    EXPECT_TRUE(Final().empty());
    // Opened: the overlay holds the focus, and one of this program's windows takes it.
    FocusOn(toolkit::nativeWindowId(overlay));
    ASSERT_TRUE(PumpUntil([&] { return Focus() == toolkit::nativeWindowId(overlay); }));
    QWidget own;
    own.setGeometry(50, 50, 100, 100);
    own.show();
    ASSERT_TRUE(PumpUntil([&] { return own.windowHandle() && own.windowHandle()->isExposed(); }));
    FocusOn(own.winId());
    ASSERT_TRUE(PumpUntil([&] { return QGuiApplication::focusWindow() == own.windowHandle(); }));
    Settle(x_);
    EXPECT_TRUE(overlay.isCreated());
    EXPECT_TRUE(Final().empty());
    FocusOn(toolkit::nativeWindowId(overlay));
    ASSERT_TRUE(
        PumpUntil([&] { return QGuiApplication::focusWindow() == overlay.widget()->windowHandle(); }));
    // Another program taking it now ends the selection, once.
    FocusOn(other);
    ASSERT_TRUE(PumpUntil([&] { return !Final().empty(); }));
    Settle(x_);
    ASSERT_EQ(Final().size(), 1u);
    EXPECT_EQ(Final()[0].code, region::kCancelled);
}

TEST_F(OnDisplay, ArrowKeysNudgeThePointerByOnePixel) {
    CSelRgnWnd overlay;
    ASSERT_TRUE(Begin(overlay));
    MoveTo(400, 300);
    Key(XK_Right);
    Key(XK_Right);
    Key(XK_Up);
    EXPECT_TRUE(PumpUntil([] { return toolkit::cursorPos() == QPoint(402, 299); }))
        << "the pointer is at " << toolkit::cursorPos().x() << "," << toolkit::cursorPos().y();
    overlay.Cancel();
    EXPECT_EQ(Final().size(), 1u);
}

class FrameOnDisplay : public OnDisplay {
  protected:
    bool Show(CRegionWnd& frame, const settings::Rect& region) {
        const Error created = frame.Create(nullptr, screen_);
        EXPECT_TRUE(created.ok()) << created.message();
        frame.SetRegion(region);
        frame.ShowTopMost();
        Settle(x_);
        return created.ok() && frame.isVisible();
    }
    region::RegionCallback Recorder() {
        return [this](int code, bool full, const settings::Rect& rect) {
            reports_.push_back({code, full, rect});
        };
    }
};

TEST_F(FrameOnDisplay, DraggingTheLeftEdgeResizesOverAFrozenScreenAndReportsBeginAndEnd) {
    CRegionWnd frame(Recorder());
    ASSERT_TRUE(Show(frame, {500, 400, 800, 600}));
    ASSERT_EQ(reports_.size(), 1u);  // the new region
    reports_.clear();
    MoveTo(498, 500);
    Button(1, true);
    MoveTo(450, 510);
    EXPECT_TRUE(frame.Dragging());
    EXPECT_EQ(frame.geometry(), QRect(QPoint(0, 0), screen_));
    // The screen is frozen after a short wait; then the magnifier shows it.
    EXPECT_TRUE(PumpUntil([&] { return !frame.MagnifierBox().isEmpty(); }));
    MoveTo(400, 520);
    Key(XK_Left);  // one pixel further
    Button(1, false);
    ASSERT_FALSE(reports_.empty());
    EXPECT_EQ(reports_.front().code, region::kDragBegins);
    EXPECT_EQ(reports_.back().code, region::kDragEnded);
    EXPECT_EQ(reports_.back().rect, (settings::Rect{401, 400, 800, 600}));
    EXPECT_EQ(reports_[reports_.size() - 2].code, region::kRegionChanged);
    EXPECT_FALSE(frame.Dragging());
    EXPECT_EQ(frame.geometry().left(), 401 - 3);
    EXPECT_TRUE(frame.MagnifierBox().isEmpty());
}

TEST_F(FrameOnDisplay, WhileRecordingClicksOnAndInsideTheFrameReachTheWindowBelow) {
    const ::Window below = Other(0, 0, screen_.width(), screen_.height());
    CRegionWnd frame(Recorder());
    ASSERT_TRUE(Show(frame, {500, 400, 800, 600}));
    PressedOn(below);
    // Idle: the top handle and the marks belong to the frame, the inside to the window below.
    ClickAt(650, 398);
    EXPECT_FALSE(PressedOn(below));
    ClickAt(650, 500);
    EXPECT_TRUE(PressedOn(below));
    frame.SetRecordingStyle(true);
    Settle(x_);
    EXPECT_EQ(frame.Thickness(), 3);
    EXPECT_TRUE(frame.LabelBox().isEmpty());
    for (const QPoint p : {QPoint(650, 399), QPoint(650, 398), QPoint(650, 500), QPoint(510, 397)}) {
        reports_.clear();
        ClickAt(p.x(), p.y());
        EXPECT_TRUE(PressedOn(below)) << p.x() << "," << p.y();
        EXPECT_TRUE(reports_.empty());
    }
    frame.SetRecordingStyle(false);
    Settle(x_);
    ClickAt(650, 398);
    EXPECT_FALSE(PressedOn(below));
}

// A full-screen frame while recording, with and without a window manager: a click in the middle of
// the screen reaches the window below, which keeps the focus; the frame is four unmanaged side
// windows along the screen's edges, none over its inside.
TEST_F(FrameOnDisplay, AFullScreenFrameWhileRecordingLeavesTheDesktopClickableAndFocused) {
    for (const bool with_manager : {false, true}) {
        const ::Window below = Other(0, 0, screen_.width(), screen_.height());
        std::optional<test::TestWindowManager> manager;  // takes the window below in hand
        if (with_manager) {
            manager.emplace();
            if (!manager->Running()) GTEST_SKIP() << manager->Why();
        }
        // Viewable, and with a manager also framed by it: a click while the manager reparents the
        // window (it unmaps and maps it again) would land on the root.
        ASSERT_TRUE(PumpUntil([&] {
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(x_, below, &attributes) || attributes.map_state != IsViewable)
                return false;
            return !with_manager || Parent(below) != DefaultRootWindow(x_);
        }));
        ASSERT_TRUE(PumpUntil([&] {  // asked again: the manager may still move the focus while it frames
            if (Focus() == below) return true;
            FocusOn(below);
            return false;
        }));
        CRegionWnd frame(Recorder());
        ASSERT_TRUE(Show(frame, {0, 0, screen_.width() - 1, screen_.height() - 1}));
        frame.SetRecordingStyle(true);
        Settle(x_);
        PressedOn(below);
        const QPoint middle(screen_.width() / 2, screen_.height() / 2);
        ClickAt(middle.x(), middle.y());
        // A manager that clicks to focus holds the press until it has looked at it, then replays it.
        EXPECT_TRUE(PumpUntil([&] { return PressedOn(below); })) << with_manager;
        EXPECT_TRUE(PumpUntil([&] { return Focus() == below; })) << with_manager;
        EXPECT_FALSE(frame.isVisible()) << with_manager;
        for (int side = 0; side < 4; ++side) {
            const CRegionEdgeWnd* edge = frame.Edge(side);
            ASSERT_NE(edge, nullptr) << side;
            EXPECT_TRUE(edge->isVisible()) << side;
            EXPECT_TRUE(OverrideRedirect(toolkit::nativeWindowId(*edge))) << side;
            const QRect box = edge->geometry();
            EXPECT_LE(std::min(box.width(), box.height()), 6) << side;
            EXPECT_FALSE(box.adjusted(-20, -20, 20, 20).contains(middle)) << side;
        }
        // Back to idle: one frame window again, which now takes the clicks on its handles.
        frame.SetRecordingStyle(false);
        Settle(x_);
        EXPECT_TRUE(frame.isVisible()) << with_manager;
        EXPECT_TRUE(OverrideRedirect(toolkit::nativeWindowId(frame))) << with_manager;
        for (int side = 0; side < 4; ++side) EXPECT_FALSE(frame.Edge(side)->isVisible()) << side;
        frame.destroy();
        XDestroyWindow(x_, below);
        windows_.clear();
        Settle(x_);
    }
}

// The region's sides while recording lie where the frame draws: around the region, three pixels
// out and three in, and the red frame line one pixel outside it shows on the left side.
TEST_F(FrameOnDisplay, WhileRecordingTheSidesSitAroundTheRegionWhateverTheWindowManager) {
    test::TestWindowManager manager;  // sway centres managed windows; openbox moves some too
    CRegionWnd frame(Recorder());
    ASSERT_TRUE(Show(frame, {300, 200, 699, 499}));
    EXPECT_EQ(frame.geometry().left(), 297);
    frame.SetRecordingStyle(true);
    frame.ShowTopMost();
    Settle(x_);
    const QRect expected[] = {{297, 197, 405, 6}, {297, 496, 405, 6}, {297, 203, 6, 293}, {696, 203, 6, 293}};
    for (int side = 0; side < 4; ++side) {
        ASSERT_NE(frame.Edge(side), nullptr);
        XWindowAttributes attributes{};
        ::Window child = 0;
        int x = 0, y = 0;
        ASSERT_TRUE(XGetWindowAttributes(x_, toolkit::nativeWindowId(*frame.Edge(side)), &attributes));
        XTranslateCoordinates(x_, toolkit::nativeWindowId(*frame.Edge(side)), DefaultRootWindow(x_), 0, 0, &x,
                              &y, &child);
        EXPECT_EQ(QRect(x, y, attributes.width, attributes.height), expected[side]) << side;
    }
}

TEST_F(FrameOnDisplay, TheCloseButtonHidesTheFrame) {
    CRegionWnd frame(Recorder());
    ASSERT_TRUE(Show(frame, {500, 400, 800, 600}));
    const QRect close = region::CloseButtonBox(frame.LabelBox());
    ASSERT_FALSE(close.isEmpty());
    reports_.clear();
    ClickAt(close.center().x(), close.center().y());
    EXPECT_FALSE(frame.isVisible());
    EXPECT_TRUE(frame.isCreated());
    EXPECT_TRUE(reports_.empty());  // no drag began
}

}  // namespace
}  // namespace vexa::ui
