// The floating bar and the count-down window built from the program's skin, driven by a clock the
// test moves (offscreen: the window system plays no part here).
#include "ui/float_wnd.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <stdexcept>

#include "settings/settings_catalog.h"
#include "settings/settings_key.h"
#include "toolkit/application.h"
#include "toolkit/button.h"
#include "ui/count_down_wnd.h"
#include "ui/lcd_digit.h"
#include "tests/ui/float_wnd_test_support.h"
#include "tests/ui/test_shell.h"

namespace vexa::ui {
namespace {

using namespace std::chrono_literals;
using testing::FakeHost;
using testing::ManualTime;

class FloatBar : public ::testing::Test {
  protected:
    void SetUp() override {
        bar_ = std::make_unique<CFloatWnd>(host_, time_.Source());
        const Error created = bar_->Create(&shell_.MainWindow());
        ASSERT_TRUE(created.ok()) << created.message();
        work_ = toolkit::primaryWorkArea();
    }

    template <class T>
    T& Find(const char* name) {
        T* found = bar_->paintManager().find<T>(name);
        if (!found) throw std::runtime_error(std::string("the bar has no ") + name);
        return *found;
    }
    toolkit::Button& Button(const char* name) { return Find<toolkit::Button>(name); }
    CLCDDigit& Digit(const char* name) { return Find<CLCDDigit>(name); }
    std::string Clock() {
        std::string text;
        for (const char* name : {"h_ten", "h_one", ":", "m_ten", "m_one", ":", "s_ten", "s_one"})
            text += *name == ':' ? std::string(":") : std::to_string(Digit(name).Digit());
        return text;
    }
    // Moves the test's clock and delivers the timer ticks that would have come meanwhile.
    void RunFor(std::chrono::milliseconds span, int timer = CFloatWnd::kTimerId) {
        const auto period = std::chrono::milliseconds(
            timer == CFloatWnd::kTimerId ? CFloatWnd::kTimerPeriodMs : CFloatWnd::kMoveTimerPeriodMs);
        for (auto done = 0ms; done < span;) {
            const auto step = std::min(period, span - done);
            time_.now += step;
            done += step;
            bar_->onTimer(timer);
        }
    }
    int Left() const { return bar_->geometry().x(); }
    int WorkRight() const { return work_.x() + work_.width(); }

    test::TestShell shell_{{.create_main_window = false}};
    FakeHost host_;
    ManualTime time_;
    std::unique_ptr<CFloatWnd> bar_;
    QRect work_;
};

TEST_F(FloatBar, ClockShowsRecordedTimeWithoutPausesAndRepaintsOnlyTheDigitsThatChanged) {
    host_.state = 1;
    bar_->SetRecordingState();
    bar_->SetLastActivity(SteadyTime::max() - 1h);  // keep auto-hide out of the way
    RunFor(9s);
    EXPECT_EQ(Clock(), "00:00:09");

    (void)bar_->paintManager().render();  // paints: nothing is dirty any more
    RunFor(1s);
    EXPECT_EQ(Clock(), "00:00:10");
    EXPECT_EQ(bar_->paintManager().dirtyRect(), Digit("s_ten").rect().united(Digit("s_one").rect()));

    (void)bar_->paintManager().render();
    RunFor(1s);
    EXPECT_EQ(bar_->paintManager().dirtyRect(), Digit("s_one").rect());

    host_.state = 2;
    bar_->SetRecordingState();
    RunFor(10min);
    EXPECT_EQ(Clock(), "00:00:11");
    host_.state = 1;
    bar_->SetRecordingState();
    RunFor(1h + 2min + 3s - 10min - 11s);
    EXPECT_EQ(Clock(), "00:52:03");
}

TEST_F(FloatBar, ButtonsWakeAtTheStartAndReachThePageOnlyWhileRecordingAfterTheirClickReturns) {
    toolkit::Button& pause = Button("pause_continue_btn");
    EXPECT_FALSE(pause.isMouseEnabled());
    ASSERT_TRUE(Button("stop_btn").activate());
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(host_.commands.empty());  // still counting down: idle

    host_.state = 2;
    bar_->SetRecordingState();
    EXPECT_TRUE(pause.isMouseEnabled());
    EXPECT_EQ(pause.toolTip(), "继续录制");
    EXPECT_EQ(pause.pushedImage(), "file='float_continue.png' source='64,0,96,32'");
    host_.state = 1;
    bar_->SetRecordingState();
    EXPECT_EQ(pause.toolTip(), "暂停录制");
    EXPECT_EQ(pause.hotImage(), "file='float_pause.png' source='32,0,64,32'");
    ASSERT_TRUE(Button("pause_continue_btn").activate());
    ASSERT_TRUE(Button("show_main_wnd").activate());
    EXPECT_TRUE(host_.commands.empty());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(host_.commands, (std::vector{FloatCommand::kPauseContinue, FloatCommand::kShowMainWindow}));

    // The page destroys the bar when told to stop, as the record page does.
    host_.on_command = [this](FloatCommand command) {
        if (command == FloatCommand::kStop) bar_.reset();
    };
    ASSERT_TRUE(Button("stop_btn").activate());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(host_.commands.back(), FloatCommand::kStop);
    EXPECT_TRUE(bar_ == nullptr);
}

TEST_F(FloatBar, AutoHideButtonFlipsAndStoresTheSettingAndTwiceRestoresSettingAndTooltip) {
    auto stored = [this] {
        // Read back through a store of its own: the value reached the file.
        const auto other = settings::SettingsKey::Open(shell_.Settings().Path()).value();
        return ReadSetting(*other, settings::kFloatWndAutoHide);
    };
    toolkit::Button& hide = Button("hide_float_wnd");
    EXPECT_EQ(hide.toolTip(), "自动隐藏");
    host_.state = 1;
    bar_->SetRecordingState();
    ASSERT_TRUE(hide.activate());
    EXPECT_TRUE(host_.auto_hide);
    EXPECT_EQ(hide.toolTip(), "取消自动隐藏");
    EXPECT_EQ(stored(), 1u);
    ASSERT_TRUE(hide.activate());
    EXPECT_FALSE(host_.auto_hide);
    EXPECT_EQ(hide.toolTip(), "自动隐藏");
    EXPECT_EQ(stored(), 0u);
    EXPECT_TRUE(host_.commands.empty());
}

TEST_F(FloatBar, DockingPlannedAtTheStartReachesTheEdgeBeforeTheDeadlineAndLeavesTheBarIdle) {
    host_.auto_hide = true;
    bar_->PlaceAtWorkAreaCorner();
    const int placed = Left();
    EXPECT_EQ(placed + bar_->geometry().width(), WorkRight() + 8);
    EXPECT_EQ(bar_->geometry().y() + bar_->geometry().height(), work_.y() + work_.height());
    EXPECT_EQ(bar_->LastActivity(), time_.now);

    const SteadyTime deadline = time_.now + 2s;  // a three-second count-down
    bar_->ScheduleDocking(deadline);
    EXPECT_TRUE(bar_->Hidden());
    EXPECT_TRUE(bar_->Moving());
    const int distance = WorkRight() - 8 - placed;
    RunFor(2s - std::chrono::milliseconds(3 * distance) - 10ms, CFloatWnd::kMoveTimerId);
    EXPECT_EQ(Left(), placed);  // waits until 3 x distance ms before the deadline
    RunFor(20ms, CFloatWnd::kMoveTimerId);
    EXPECT_EQ(Left(), placed + 10);
    RunFor(360ms, CFloatWnd::kMoveTimerId);  // ticks every 10 ms: the one at +370 arrives
    ASSERT_LT(distance, 370);
    EXPECT_EQ(Left(), WorkRight() - 8);
    EXPECT_FALSE(bar_->Moving());
    EXPECT_LT(time_.now, deadline);
    EXPECT_EQ(bar_->LastActivity(), time_.now - kBarIdleAfterDocking);
}

TEST_F(FloatBar, APassedDeadlineDocksAtOnceWithAutoHideAndLeavesTheBarInPlaceWithout) {
    bar_->PlaceAtWorkAreaCorner();
    const int placed = Left();
    bar_->ScheduleDocking(time_.now - 1s);  // a one-second count-down
    EXPECT_EQ(Left(), placed);
    host_.auto_hide = true;
    bar_->ScheduleDocking(time_.now - 1s);
    EXPECT_EQ(Left(), WorkRight() - 8);
    EXPECT_FALSE(bar_->Moving());
    EXPECT_TRUE(bar_->Hidden());
    EXPECT_EQ(bar_->LastActivity(), time_.now - kBarIdleAfterDocking);
}

TEST_F(FloatBar, IdleBarSlidesOffTheEdgeAndMouseActivityBringsItBackFromWhereItStands) {
    host_.auto_hide = true;
    host_.state = 1;
    bar_->SetRecordingState();
    bar_->PlaceAtWorkAreaCorner();
    const int shown = Left();
    RunFor(3950ms);
    EXPECT_FALSE(bar_->Hidden());
    RunFor(50ms);  // four idle seconds
    ASSERT_TRUE(bar_->Hidden());
    RunFor(100ms, CFloatWnd::kMoveTimerId);
    EXPECT_EQ(Left(), shown + 100);  // one pixel per millisecond

    // Touched half way: the hide stops where it stands, the show starts from there, six times faster.
    (void)bar_->onMouse({toolkit::MouseInput::Kind::Move, QPoint(3, 20), 0, {}, {}});
    RunFor(50ms);
    EXPECT_FALSE(bar_->Hidden());
    RunFor(10ms, CFloatWnd::kMoveTimerId);
    EXPECT_EQ(Left(), shown + 100 - 60);
    RunFor(10ms, CFloatWnd::kMoveTimerId);
    EXPECT_EQ(Left(), shown);
    EXPECT_FALSE(bar_->Moving());

    RunFor(4s);
    RunFor(1s, CFloatWnd::kMoveTimerId);
    EXPECT_EQ(Left(), WorkRight() - 8);
}

TEST(CountDownWindow, ShowsTheDigitOfTheMomentAndClosesItselfBeforeCallingBackOnce) {
    test::UseProgramSkin();
    ManualTime time;
    int calls = 0;
    bool window_gone_at_call = false;
    std::unique_ptr<CCountDownWnd> count_down;
    auto shown = CCountDownWnd::Show(
        3000ms, time.now,
        [&] {
            ++calls;
            window_gone_at_call = !count_down->isCreated();
            count_down.reset();  // the page may drop it from inside the callback
        },
        time.Source());
    ASSERT_TRUE(shown.ok()) << shown.error().message();
    count_down = std::move(shown).value();
    EXPECT_EQ(count_down->windowClassName(), "Tolvo_CountDown_Wnd");
    EXPECT_EQ(count_down->geometry(),
              QRect(CountDownPosition(toolkit::primaryScreenGeometry()), QSize(160, 160)));
    for (int tick = 0; tick < 59 && count_down; ++tick) {
        time.now += 50ms;
        count_down->onTimer(CCountDownWnd::kTimerId);
    }
    EXPECT_EQ(calls, 0);
    ASSERT_TRUE(count_down);
    time.now += 50ms;
    count_down->onTimer(CCountDownWnd::kTimerId);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(window_gone_at_call);
    EXPECT_TRUE(count_down == nullptr);
}

TEST(CountDownWindow, ACountDownOverBeforeItWasShownEndsOnTheFirstTickNotDuringCreation) {
    test::UseProgramSkin();
    ManualTime time;
    int calls = 0;
    auto shown = CCountDownWnd::Show(
        1000ms, time.now - 5s, [&] { ++calls; }, time.Source());
    ASSERT_TRUE(shown.ok());
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(shown.value()->Over());
    shown.value()->onTimer(CCountDownWnd::kTimerId);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(shown.value()->Over());
    shown.value()->onTimer(CCountDownWnd::kTimerId);
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace vexa::ui
