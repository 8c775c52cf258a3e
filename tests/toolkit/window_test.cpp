#include "toolkit/window.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/x11_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <thread>

namespace vexa::toolkit {
namespace {

using namespace std::chrono_literals;

class TestWindow : public Window {
  public:
    std::string windowClassName() const override { return "Vexa_Test_Window"; }
    std::optional<std::intptr_t> handleMessage(const Message& m) override {
        if (m.id < kUserMessage) return std::nullopt;
        received.push_back(m);
        return static_cast<std::intptr_t>(m.wparam * 2);
    }
    bool onCloseRequest() override { return allowClose; }
    void onTimer(int id) override { timerIds.push_back(id); }
    void onFinalMessage() override { finalMessages++; }

    std::vector<Message> received;
    std::vector<int> timerIds;
    bool allowClose = true;
    int finalMessages = 0;
};

// Runs the event loop until `done` holds, for at most a generous 20 s; `done`'s last answer.
bool pumpUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 20'000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

TEST(Window, PostedMessagesFromWorkersArriveOnTheUiThreadInOrder) {
    TestWindow window;
    ASSERT_TRUE(window.create(nullptr, "t", kStylePopup, QRect(0, 0, 50, 50)));
    const WindowHandle handle = window.handle();
    std::vector<std::thread> workers;
    for (std::uintptr_t t = 0; t < 4; ++t) {
        workers.emplace_back([=] {
            for (std::intptr_t i = 0; i < 100; ++i)
                EXPECT_TRUE(Window::postMessage(handle, {kUserMessage + 2, t, i}));
        });
    }
    for (auto& w : workers) w.join();
    EXPECT_TRUE(window.received.empty());  // nothing runs on the posting threads
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(window.received.size(), 400u);
    std::vector<std::intptr_t> last(4, -1);
    for (const Message& m : window.received) {
        EXPECT_EQ(m.lparam, last[m.wparam] + 1);
        last[m.wparam] = m.lparam;
    }
}

TEST(Window, PostingToAGoneWindowFails) {
    WindowHandle handle = 0;
    {
        TestWindow window;
        ASSERT_TRUE(window.create(nullptr, "t", kStylePopup, QRect(0, 0, 50, 50)));
        handle = window.handle();
        window.destroy();
        EXPECT_EQ(window.finalMessages, 1);
    }
    EXPECT_FALSE(Window::postMessage(handle, {kUserMessage}));
    EXPECT_FALSE(Window::sendMessage(handle, {kUserMessage}, 100ms));
}

TEST(Window, BlockingSendReturnsTheResultOrTimesOut) {
    TestWindow window;
    ASSERT_TRUE(window.create(nullptr, "t", kStylePopup, QRect(0, 0, 50, 50)));
    const WindowHandle handle = window.handle();

    // The UI thread serves events: the sender gets the handler's result.
    std::optional<std::intptr_t> answer;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        answer = Window::sendMessage(handle, {kUserMessage + 2, 21, 0}, 20s);
        done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    sender.join();
    EXPECT_EQ(answer, 42);

    // The UI thread is busy: the sender gives up after its time-out and the message is not run later.
    QElapsedTimer clock;
    std::thread late([&] {
        clock.start();
        answer = Window::sendMessage(handle, {kUserMessage + 2, 5, 0}, 100ms);
    });
    late.join();
    EXPECT_FALSE(answer);
    EXPECT_GE(clock.elapsed(), 90);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(window.received.size(), 1u);

    // On the window's own thread a send is a direct call.
    EXPECT_EQ(Window::sendMessage(handle, {kUserMessage + 3, 4, 0}, 10ms), 8);
}

TEST(Window, CloseMessageClosesUnlessRefused) {
    TestWindow window;
    ASSERT_TRUE(window.create(nullptr, "t", kStylePopup, QRect(0, 0, 50, 50)));
    window.allowClose = false;
    EXPECT_TRUE(window.postMessage({kCloseMessage}));
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(window.isCreated());
    window.allowClose = true;
    EXPECT_TRUE(window.postMessage({kCloseMessage}));
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(window.isCreated());
    EXPECT_EQ(window.finalMessages, 1);
}

TEST(Window, ModalRunDisablesTheOwner) {
    TestWindow owner;
    ASSERT_TRUE(owner.create(nullptr, "owner", kStylePopup | kStyleVisible, QRect(0, 0, 200, 200)));
    TestWindow dialog;
    ASSERT_TRUE(dialog.create(&owner, "dialog", kStylePopup, QRect(0, 0, 50, 50)));
    dialog.centerOnOwner();
    bool ownerEnabledDuringRun = true;
    QTimer::singleShot(30, [&] {
        ownerEnabledDuringRun = owner.isEnabled();
        dialog.endModal(7);
    });
    EXPECT_EQ(dialog.showModal(), 7);
    EXPECT_FALSE(ownerEnabledDuringRun);
    EXPECT_TRUE(owner.isEnabled());

    // Closing the dialog also ends its run.
    QTimer::singleShot(30, [&] { dialog.postMessage({kCloseMessage}); });
    EXPECT_EQ(dialog.showModal(), 0);
    EXPECT_FALSE(dialog.isCreated());
    EXPECT_TRUE(owner.isEnabled());
}

TEST(Window, TimersFireByIdUntilKilled) {
    TestWindow window;
    ASSERT_TRUE(window.create(nullptr, "t", kStylePopup, QRect(0, 0, 50, 50)));
    auto fired = [&](int id) { return std::count(window.timerIds.begin(), window.timerIds.end(), id); };
    window.setTimer(5, 10);
    window.setTimer(9, 10);
    ASSERT_TRUE(pumpUntil([&] { return fired(5) > 0 && fired(9) > 0; }));
    window.killTimer(5);
    const auto fives = fired(5), nines = fired(9);
    // Timer 9 fires twice more; timer 5, of the same period, would have fired meanwhile.
    ASSERT_TRUE(pumpUntil([&] { return fired(9) >= nines + 2; }));
    EXPECT_EQ(fired(5), fives);
}

TEST(Window, LayoutWindowSettingsApplyToTheNativeWindow) {
    TestWindow window;
    ASSERT_TRUE(window.create(nullptr, "t", kStylePopup, QRect(0, 0, 50, 50)));
    WindowInfo& info = window.paintManager().windowInfo();
    info.size = QSize(380, 48);
    info.minSize = info.maxSize = QSize(380, 48);
    info.opacity = 128;
    window.applyWindowInfo();
    EXPECT_EQ(window.widget()->size(), QSize(380, 48));
    EXPECT_EQ(window.widget()->maximumSize(), QSize(380, 48));
    EXPECT_NEAR(window.widget()->windowOpacity(), 0.5, 0.01);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(window.paintManager().clientSize(), QSize(380, 48));
}

// A translucent layer over a known backdrop comes out as the compositor's "over" would make it:
// each channel is layer + backdrop * (1 - alpha) (premultiplied), computed here by hand; the result
// is opaque, and black lies where the backdrop ends.
TEST(Window, ALayerOverItsBackdropIsTheCompositorsPictureAndOpaque) {
    QImage backdrop(64, 32, QImage::Format_RGB32);
    for (int y = 0; y < backdrop.height(); ++y)
        for (int x = 0; x < backdrop.width(); ++x) backdrop.setPixel(x, y, qRgb(x * 4, 255 - x * 4, y * 8));
    QImage layer(80, 32, QImage::Format_ARGB32_Premultiplied);
    layer.fill(QColor(0, 0, 0, 140));  // the exit prompt's dimming, 55 %
    for (int y = 8; y < 16; ++y)
        for (int x = 8; x < 16; ++x) layer.setPixel(x, y, qRgba(42, 42, 42, 255));  // its card
    const QImage out = composeOverBackdrop(backdrop, layer);
    ASSERT_EQ(out.size(), layer.size());
    int worst = 0;
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const QRgb l = layer.pixel(x, y);
            const QRgb b = x < backdrop.width() ? backdrop.pixel(x, y) : qRgb(0, 0, 0);
            const double keep = 1.0 - qAlpha(layer.pixel(x, y)) / 255.0;
            const QRgb got = out.pixel(x, y);
            ASSERT_EQ(qAlpha(got), 255);
            const int want[3] = {int(qRed(l) + qRed(b) * keep + 0.5), int(qGreen(l) + qGreen(b) * keep + 0.5),
                                 int(qBlue(l) + qBlue(b) * keep + 0.5)};
            const int have[3] = {qRed(got), qGreen(got), qBlue(got)};
            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(want[c] - have[c]));
        }
    }
    EXPECT_LE(worst, 2);
    EXPECT_EQ(out.pixel(10, 10), qRgb(42, 42, 42));      // the card hides the backdrop
    EXPECT_EQ(out.pixel(70, 20), qRgb(0, 0, 0));         // past the backdrop
    EXPECT_GT(qGreen(out.pixel(0, 0)), 255 * 0.45 - 3);  // dimmed, not black
}

TEST(Window, HitTestFindsCaptionButtonsAndSizingBorders) {
    TestWindow window;
    ASSERT_TRUE(window.create(nullptr, "t", kStylePopup, QRect(0, 0, 200, 100)));
    auto root = buildLayoutText(R"(<Window size="200,100" caption="0,0,40,50" sizebox="4,4,4,4">
                                     <HorizontalLayout><Label width="60"/><Button name="close" width="30" height="30"/>
                                     <Control/></HorizontalLayout></Window>)",
                                window.paintManager(), nullptr);
    ASSERT_TRUE(root.ok()) << root.error().message();
    window.paintManager().attach(std::move(root).value());
    window.applyWindowInfo();
    window.paintManager().updateLayout();
    EXPECT_EQ(window.hitTest(QPoint(30, 20)), HitTest::Caption);  // over a label
    EXPECT_EQ(window.hitTest(QPoint(75, 10)), HitTest::Client);   // over the button
    EXPECT_EQ(window.hitTest(QPoint(170, 20)), HitTest::Client);  // right of the caption band
    EXPECT_EQ(window.hitTest(QPoint(30, 60)), HitTest::Client);   // below it
    EXPECT_EQ(window.hitTest(QPoint(1, 1)), HitTest::TopLeft);
    EXPECT_EQ(window.hitTest(QPoint(198, 98)), HitTest::BottomRight);
    EXPECT_EQ(window.hitTest(QPoint(100, 99)), HitTest::Bottom);
    EXPECT_EQ(window.hitTest(QPoint(0, 50)), HitTest::Left);
}

// Which kept (always-on-top, unmanaged) windows go back on top of the X server's order: all the
// viewable ones, in their order, once a viewable managed window lies over the lowest of them;
// override-redirect windows of others (menus) and unmapped windows never count.
TEST(KeepAbove, KeptWindowsRiseOnlyOverAViewableManagedWindow) {
    using x11::StackedWindow;
    using x11::windowsToRaise;
    const std::vector<unsigned long> kept{7, 9};
    const StackedWindow bar{7, true, true}, frame{9, true, true};
    const StackedWindow managed{1, true, false}, menu{2, true, true}, unmapped{3, false, false};
    using Ids = std::vector<unsigned long>;
    // A managed window between the kept ones, or over both: both rise, the bar first (lower).
    EXPECT_EQ(windowsToRaise({bar, managed, frame}, kept), (Ids{7, 9}));
    EXPECT_EQ(windowsToRaise({managed, frame, bar, managed}, kept), (Ids{9, 7}));
    // Everything managed below them, or only a menu or an unmapped window above: nothing.
    EXPECT_EQ(windowsToRaise({managed, bar, frame}, kept), Ids{});
    EXPECT_EQ(windowsToRaise({managed, bar, menu, unmapped, frame, menu}, kept), Ids{});
    // A hidden kept window neither rises nor counts as the lowest one.
    const StackedWindow hiddenBar{7, false, true};
    EXPECT_EQ(windowsToRaise({hiddenBar, managed, frame}, kept), Ids{});
    EXPECT_EQ(windowsToRaise({hiddenBar, frame, managed}, kept), Ids{9});
    // No kept window shown at all.
    EXPECT_EQ(windowsToRaise({managed, menu}, kept), Ids{});
    EXPECT_EQ(windowsToRaise({}, kept), Ids{});
}

TEST(Window, RefusedCreationLeavesNoWindow) {
    struct Refusing : TestWindow {
        bool onCreate() override { return false; }
    } window;
    EXPECT_FALSE(window.create(nullptr, "t", kStylePopup, QRect(0, 0, 50, 50)));
    EXPECT_FALSE(window.isCreated());
    EXPECT_EQ(window.handle(), 0u);
}

}  // namespace
}  // namespace vexa::toolkit
