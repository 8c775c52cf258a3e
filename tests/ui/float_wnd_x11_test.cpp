// The floating bar and the count-down window on the test display, with the real pointer moved and
// clicked through XTest (run under tools/with-test-env.sh). The clock is the real one: every wait
// is a poll with a generous limit, never a timed assertion.
#include <gtest/gtest.h>

#include <QWidget>

#include <functional>

#include "platform/desktop/window_at_point.h"
#include "toolkit/application.h"
#include "toolkit/x11_support.h"
#include "ui/count_down_wnd.h"
#include "ui/float_wnd.h"
#include "tests/toolkit/qt_test_app.h"
#include "tests/ui/display_settle.h"
#include "tests/ui/float_wnd_test_support.h"
#include "tests/ui/test_pointer.h"
#include "tests/ui/test_shell.h"

namespace vexa::ui {
namespace {

using namespace std::chrono_literals;

using test::PumpPast;
using test::PumpUntil;
using test::SettleDisplay;

// Waits until the display shows `window` at `at` (mapped and on top there): clicks go to it then.
bool ShownAt(const toolkit::Window& window, const QPoint& at) {
    return PumpUntil([&] {
        const auto hit = desktop::WindowAtPoint(at.x(), at.y(), 0);
        return hit.ok() && hit.value() && window.widget() &&
               hit.value()->window == static_cast<uint32_t>(window.widget()->winId());
    });
}

class OnDisplay : public test::OnXDisplay {
  protected:
    void SetUpOnDisplay() override {
        ASSERT_TRUE(pointer_.ok());
        work_ = toolkit::primaryWorkArea();
    }
    // A recording bar at its start position, shown.
    std::unique_ptr<CFloatWnd> RecordingBar() {
        auto bar = std::make_unique<CFloatWnd>(host_);
        const Error created = bar->Create(&shell_.MainWindow());
        EXPECT_TRUE(created.ok()) << created.message();
        if (!created.ok()) return nullptr;
        bar->PlaceAtWorkAreaCorner();
        bar->show(false);
        host_.state = 1;
        bar->SetRecordingState();
        EXPECT_TRUE(ShownAt(*bar, bar->geometry().center()));
        // Drawn once: its controls have their places.
        EXPECT_TRUE(PumpUntil([&] { return !bar->paintManager().findControl("m_one")->rect().isEmpty(); }));
        return bar;
    }
    int WorkRight() const { return work_.x() + work_.width(); }
    void MoveTo(const QPoint& at) { pointer_.MoveTo(at.x(), at.y()); }

    testing::TestPointer pointer_;
    test::TestShell shell_{{.create_main_window = false}};
    testing::FakeHost host_;
    QRect work_;
};

class ClickRecorder : public toolkit::Window {
  public:
    std::string windowClassName() const override { return "Vexa_Test_Window"; }
    bool onMouse(const toolkit::MouseInput& input) override {
        if (input.kind == toolkit::MouseInput::Kind::Down) ++clicks;
        return false;
    }
    int clicks = 0;
};

TEST_F(OnDisplay, ClicksPassThroughTheCountDownWhichEndsOnItsOwnAndCallsBackOnce) {
    const QRect screen = toolkit::primaryScreenGeometry();
    ClickRecorder below;
    ASSERT_TRUE(below.create(nullptr, "below", toolkit::kStylePopup | toolkit::kStyleVisible,
                             QRect(screen.center() - QPoint(150, 150), QSize(300, 300))));
    ASSERT_TRUE(ShownAt(below, screen.center()));
    int finished = 0;
    auto shown = CCountDownWnd::Show(2000ms, std::chrono::steady_clock::now(), [&] { ++finished; });
    ASSERT_TRUE(shown.ok()) << shown.error().message();
    std::unique_ptr<CCountDownWnd> count_down = std::move(shown).value();
    ASSERT_TRUE(PumpUntil([&] { return count_down->isVisible(); }));
    EXPECT_EQ(toolkit::x11::windowClass(count_down->widget()->winId()), "Tolvo_CountDown_Wnd");
    // Placed by the program itself: sway would centre a managed window wherever it was asked to be.
    EXPECT_TRUE(toolkit::x11::overrideRedirect(count_down->widget()->winId()));
    EXPECT_EQ(count_down->geometry().center(), QRect(CountDownPosition(screen), QSize(160, 160)).center());

    MoveTo(screen.center());
    pointer_.Button(true);
    pointer_.Button(false);
    EXPECT_TRUE(PumpUntil([&] { return below.clicks == 1; }));
    EXPECT_FALSE(count_down->Over());

    EXPECT_TRUE(PumpUntil([&] { return finished > 0; }));
    EXPECT_TRUE(count_down->Over());
    EXPECT_FALSE(count_down->isCreated());
    PumpPast(150ms);  // its timers would have called again by now
    EXPECT_EQ(finished, 1);
}

TEST_F(OnDisplay, TheMouseOnTheRimOfADockedBarSlidesItBack) {
    host_.auto_hide = true;
    auto bar = RecordingBar();
    ASSERT_TRUE(bar);
    const QRect shown = bar->geometry();
    EXPECT_EQ(toolkit::x11::windowClass(bar->widget()->winId()), "VexaRecorder_Float_Window");
    MoveTo(work_.center());
    bar->ScheduleDocking(std::chrono::steady_clock::now() - 1ms);
    ASSERT_EQ(bar->geometry().x(), WorkRight() - 8);
    PumpPast(200ms);
    ASSERT_EQ(bar->geometry().x(), WorkRight() - 8);  // idle: stays docked

    MoveTo(QPoint(WorkRight() - 4, shown.center().y()));
    MoveTo(QPoint(WorkRight() - 3, shown.center().y()));
    EXPECT_TRUE(PumpUntil([&] { return bar->geometry() == shown && !bar->Moving(); }));
    EXPECT_FALSE(bar->Hidden());
}

TEST_F(OnDisplay, ABarDraggedToTheMiddleStaysWithinTheWorkAreaAndNoLongerHides) {
    host_.auto_hide = true;
    auto bar = RecordingBar();
    ASSERT_TRUE(bar);
    // Grab the clock (a caption area) and drag far up and left: the bar stops 8 pixels beyond the
    // left edge and at the top of the work area.
    const QRect start = bar->geometry();
    const QPoint grab = start.topLeft() + bar->paintManager().findControl("m_one")->rect().center();
    MoveTo(grab);
    ASSERT_TRUE(SettleDisplay());
    pointer_.Button(true);
    ASSERT_TRUE(PumpUntil([&] { return bar->Dragging(); }));
    MoveTo(grab - QPoint(3000, 3000));
    EXPECT_TRUE(PumpUntil([&] { return bar->geometry().topLeft() == work_.topLeft() - QPoint(8, 0); }));
    // Then to the middle of the screen.
    const QPoint middle = work_.center();
    MoveTo(middle);
    EXPECT_TRUE(PumpUntil([&] { return bar->geometry().topLeft() == start.topLeft() + (middle - grab); }));
    pointer_.Button(false);
    ASSERT_TRUE(PumpUntil([&] { return !bar->Dragging(); }));

    // Resting on the bar keeps it shown; away from it, it counts as hidden but stays in place.
    const QRect dropped = bar->geometry();
    bar->SetLastActivity(std::chrono::steady_clock::now() - 5s);
    PumpPast(150ms);  // the auto-hide check has run on its timer meanwhile
    EXPECT_FALSE(bar->Hidden());
    MoveTo(QPoint(work_.x() + 5, work_.y() + 5));
    ASSERT_TRUE(SettleDisplay());  // the pointer's last events over the bar come first
    bar->SetLastActivity(std::chrono::steady_clock::now() - 5s);
    EXPECT_TRUE(PumpUntil([&] { return bar->Hidden(); }));
    PumpPast(200ms);  // a slide would have begun by now
    EXPECT_EQ(bar->geometry(), dropped);
    EXPECT_FALSE(bar->Moving());
}

}  // namespace
}  // namespace vexa::ui
