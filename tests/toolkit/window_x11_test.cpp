// Native window features on a real X server (run under tools/with-test-env.sh).
#include "tests/support/test_compositor.h"
#include "tests/toolkit/qt_test_app.h"
#include "toolkit/combo.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/fonts.h"
#include "toolkit/window.h"
#include "toolkit/x11_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include <functional>
#include <vector>

// Xlib last: its macros (None, Bool, Status) collide with Qt names.
#include <X11/Xlib.h>

namespace vexa::toolkit {
namespace {

class NamedWindow : public Window {
  public:
    std::string windowClassName() const override { return "VexaRecorder_Float_Window"; }
};

// Runs the event loop until `done` holds, for at most a generous 20 s; `done`'s last answer.
bool pumpUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 20'000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

class OnDisplay : public test::OnXDisplay {};

TEST_F(OnDisplay, WindowClassIsSetForOtherProcesses) {
    NamedWindow window;
    ASSERT_TRUE(window.create(nullptr, "bar", kStylePopup | kStyleToolWindow | kStyleTopMost | kStyleVisible,
                              QRect(10, 10, 120, 40)));
    // The class is asked of the X server through the application's own connection, after every
    // request the window made: no wait is needed.
    EXPECT_EQ(x11::windowClass(window.widget()->winId()), "VexaRecorder_Float_Window");
    // Changing the stacking of a shown window keeps its class; so does hiding and showing it with
    // new flags.
    window.setTopMost(false);
    EXPECT_EQ(x11::windowClass(window.widget()->winId()), "VexaRecorder_Float_Window");
    window.hide();
    window.setToolWindow(false);
    window.show(false);
    EXPECT_EQ(x11::windowClass(window.widget()->winId()), "VexaRecorder_Float_Window");
}

TEST_F(OnDisplay, LayeredWindowWithoutCompositorIsShapedByItsPixels) {
    if (Window::hasCompositor()) GTEST_SKIP() << "a compositing manager is running";
    NamedWindow window;
    ASSERT_TRUE(window.create(nullptr, "layered", kStylePopup | kStyleLayered | kStyleVisible,
                              QRect(0, 0, 100, 100)));
    QImage picture(100, 100, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    for (int y = 10; y < 30; ++y) {
        for (int x = 10; x < 30; ++x) picture.setPixel(x, y, qRgba(255, 0, 0, 255));
    }
    window.updateLayered(picture, QRegion(60, 60, 10, 10));
    const QRegion mask = window.widget()->mask();
    EXPECT_TRUE(mask.contains(QPoint(15, 15)));
    EXPECT_TRUE(mask.contains(QPoint(65, 65)));  // clear but must catch the mouse
    EXPECT_FALSE(mask.contains(QPoint(45, 45)));
}

// A compositing manager that starts and stops while the program runs is followed, each change
// told once to the layered windows' listeners.
TEST_F(OnDisplay, ACompositorStartingAndStoppingIsFollowed) {
    if (Window::hasCompositor()) GTEST_SKIP() << "a compositing manager is running";
    std::vector<bool> heard;
    const int id = x11::addCompositorListener([&](bool on) { heard.push_back(on); });
    ASSERT_NE(id, 0);
    {
        test::TestCompositor compositor;
        if (!compositor.Running()) {
            x11::removeCompositorListener(id);
            GTEST_SKIP() << compositor.Why();
        }
        EXPECT_TRUE(pumpUntil([&] { return heard.size() == 1; }));
        EXPECT_TRUE(Window::hasCompositor());
    }
    EXPECT_TRUE(pumpUntil([&] { return heard.size() == 2; }));
    EXPECT_FALSE(Window::hasCompositor());
    x11::removeCompositorListener(id);
    EXPECT_EQ(heard, (std::vector<bool>{true, false}));
}

// Without a compositor a translucent layer over a backdrop shows, on the screen, the backdrop
// dimmed (never the black an unmanaged translucent window turns into); with one, the same.
class DimmedWindow : public OnDisplay, public ::testing::WithParamInterface<bool> {};

TEST_P(DimmedWindow, ShowsItsBackdropDimmedOnTheScreen) {
    std::unique_ptr<test::TestCompositor> compositor;
    if (GetParam()) {
        compositor = std::make_unique<test::TestCompositor>();
        if (!compositor->Running()) GTEST_SKIP() << compositor->Why();
        ASSERT_TRUE(pumpUntil([] { return Window::hasCompositor(); }));
    } else if (Window::hasCompositor()) {
        GTEST_SKIP() << "a compositing manager is running";
    }
    const QRect area(300, 200, 120, 80);
    NamedWindow below;  // what the backdrop shows, really on the screen under the layer
    ASSERT_TRUE(below.create(nullptr, "below", kStylePopup | kStyleVisible, area));
    QPalette fill = below.widget()->palette();
    fill.setColor(QPalette::Window, QColor(200, 160, 80));
    below.widget()->setPalette(fill);
    below.widget()->setAutoFillBackground(true);
    NamedWindow layer;
    ASSERT_TRUE(layer.create(nullptr, "layer", kStylePopup | kStyleLayered, area));
    QImage backdrop(area.size(), QImage::Format_RGB32);
    backdrop.fill(QColor(200, 160, 80));
    QImage dim(area.size(), QImage::Format_ARGB32_Premultiplied);
    dim.fill(QColor(0, 0, 0, 140));
    layer.setBackdrop(backdrop);
    layer.updateLayered(dim);
    layer.show(false);
    EXPECT_TRUE(layer.widget()->mask().isEmpty());  // whole, never shaped to its pixels
    const QRgb want = qRgb(200 * 115 / 255, 160 * 115 / 255, 80 * 115 / 255);
    QRgb seen = 0;
    const bool dimmed = pumpUntil([&] {
        const QImage screen =
            QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), 4, 4).toImage();
        seen = screen.pixel(2, 2);
        return std::abs(qRed(seen) - qRed(want)) <= 4 && std::abs(qGreen(seen) - qGreen(want)) <= 4 &&
               std::abs(qBlue(seen) - qBlue(want)) <= 4;
    });
    EXPECT_TRUE(dimmed) << "the screen shows " << std::hex << seen << ", not " << want;
}

INSTANTIATE_TEST_SUITE_P(Compositor, DimmedWindow, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "WithCompositor" : "WithoutCompositor";
                         });

// A round window over a coloured one shows, on the screen, green inside its circle and the window
// below at the corners of its square: with a compositor through transparency (its shape is no
// window shape then), without one through its window shape.
class SoftShapedWindow : public OnDisplay, public ::testing::WithParamInterface<bool> {};

TEST_P(SoftShapedWindow, ShowsWhatLiesBelowOutsideItsShape) {
    std::unique_ptr<test::TestCompositor> compositor;
    if (GetParam()) {
        compositor = std::make_unique<test::TestCompositor>();
        if (!compositor->Running()) GTEST_SKIP() << compositor->Why();
        ASSERT_TRUE(pumpUntil([] { return Window::hasCompositor(); }));
    } else if (!pumpUntil([] { return !Window::hasCompositor(); })) {  // a test's own one ending
        GTEST_SKIP() << "a compositing manager is running";
    }
    class Green : public NamedWindow {
        void onPaint(QPainter& painter, const QRect& /*dirty*/) override {
            painter.fillRect(QRect(QPoint(0, 0), widget()->size()), QColor(0, 200, 0));
        }
    };
    const QRect area(500, 300, 100, 100);
    NamedWindow below;
    ASSERT_TRUE(below.create(nullptr, "below", kStylePopup | kStyleVisible, area));
    QPalette fill = below.widget()->palette();
    fill.setColor(QPalette::Window, QColor(200, 160, 80));
    below.widget()->setPalette(fill);
    below.widget()->setAutoFillBackground(true);
    Green round;
    ASSERT_TRUE(round.create(nullptr, "round", kStylePopup | kStyleSoftShape, area));
    const QRegion circle(QRect(0, 0, 100, 100), QRegion::Ellipse);
    round.setShape(circle);
    round.show(false);
    EXPECT_EQ(round.widget()->mask().isEmpty(), GetParam());
    const auto near = [](QRgb seen, QRgb want) {
        return std::abs(qRed(seen) - qRed(want)) <= 4 && std::abs(qGreen(seen) - qGreen(want)) <= 4 &&
               std::abs(qBlue(seen) - qBlue(want)) <= 4;
    };
    QRgb corner = 0, centre = 0;
    const bool shown = pumpUntil([&] {
        const QImage screen =
            QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), 100, 100).toImage();
        corner = screen.pixel(3, 3);
        centre = screen.pixel(50, 50);
        return near(corner, qRgb(200, 160, 80)) && near(centre, qRgb(0, 200, 0));
    });
    EXPECT_TRUE(shown) << "corner " << std::hex << corner << ", centre " << centre;
}

INSTANTIATE_TEST_SUITE_P(Compositor, SoftShapedWindow, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "WithCompositor" : "WithoutCompositor";
                         });

// Whether `upper` lies above `lower` in the X server's stacking order of the root's children.
bool stackedAbove(Display* display, unsigned long upper, unsigned long lower) {
    ::Window root = 0, parent = 0;
    ::Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return false;
    int upperAt = -1, lowerAt = -1;
    for (unsigned int i = 0; i < count; ++i) {
        if (children[i] == upper) upperAt = static_cast<int>(i);
        if (children[i] == lower) lowerAt = static_cast<int>(i);
    }
    if (children) XFree(children);
    return upperAt >= 0 && lowerAt >= 0 && upperAt > lowerAt;
}

// An unmanaged window that stays on top goes back above another program's managed window raised
// over it (a window manager raises the window it focuses there; under XWayland the X server then
// gives the clicks on the bar to that window), as long as it is shown.
TEST_F(OnDisplay, UnmanagedTopMostWindowStaysAboveManagedWindowsInTheServersOrder) {
    Display* other = XOpenDisplay(nullptr);  // another program's connection
    ASSERT_NE(other, nullptr);
    NamedWindow bar;
    ASSERT_TRUE(bar.create(nullptr, "bar", kStylePopup | kStyleTopMost | kStyleUnmanaged | kStyleVisible,
                           QRect(10, 10, 120, 40)));
    const unsigned long id = bar.widget()->winId();
    const ::Window managed = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 300, 300, 0, 0, 0);
    XMapRaised(other, managed);
    XSync(other, False);
    EXPECT_TRUE(pumpUntil([&] { return stackedAbove(other, id, managed); }));
    // Raised again later: back on top again.
    XRaiseWindow(other, managed);
    XSync(other, False);
    EXPECT_TRUE(pumpUntil([&] { return stackedAbove(other, id, managed); }));
    // Hidden and shown again it is kept once more.
    bar.hide();
    bar.show(false);
    XRaiseWindow(other, managed);
    XSync(other, False);
    EXPECT_TRUE(pumpUntil([&] { return stackedAbove(other, id, managed); }));
    bar.destroy();
    XDestroyWindow(other, managed);
    XCloseDisplay(other);
}

TEST_F(OnDisplay, OwnedWindowHidesWhileItsOwnerIsMinimised) {
    NamedWindow owner;
    ASSERT_TRUE(owner.create(nullptr, "owner", kStyleVisible, QRect(100, 100, 200, 200)));
    NamedWindow bar;
    ASSERT_TRUE(bar.create(&owner, "bar", kStylePopup | kStyleVisible, QRect(100, 100, 50, 20)));
    owner.minimize();
    EXPECT_TRUE(pumpUntil([&] { return !bar.isVisible(); }));
    owner.restore();
    EXPECT_TRUE(pumpUntil([&] { return bar.isVisible(); }));
}

TEST_F(OnDisplay, ComboDropsDownItsOwnItemsAndTakesThemBack) {
    NamedWindow window;
    ASSERT_TRUE(window.create(nullptr, "combo", kStylePopup | kStyleVisible, QRect(50, 50, 200, 100)));
    const char* layout = R"(<Window><Font id="7" size="19"/>
                              <HorizontalLayout><Combo name="frames" height="24" itemfont="7">
                                <ListLabelElement name="i10" text="10" height="24"/>
                                <ListLabelElement name="i20" text="20" height="24"/></Combo></HorizontalLayout></Window>)";
    auto root = buildLayoutText(layout, window.paintManager(), nullptr);
    ASSERT_TRUE(root.ok()) << root.error().message();
    window.paintManager().attach(std::move(root).value());
    window.paintManager().updateLayout();
    auto* combo = window.paintManager().find<Combo>("frames");
    ASSERT_NE(combo, nullptr);
    Control* item = combo->itemAt(1);
    ASSERT_TRUE(combo->activate());
    ASSERT_TRUE(pumpUntil([&] { return combo->isDroppedDown(); }));
    EXPECT_NE(item->manager(), &window.paintManager());   // shown by the pop-up
    EXPECT_EQ(item->manager()->font(7).pixelSize(), 19);  // with the fonts of the combo's window
    // Choosing in the pop-up selects in the combo and closes the pop-up.
    ControlEvent press{EventType::ButtonDown, item, item->rect().center(), 0, 0, {}};
    item->handleEvent(press);
    EXPECT_TRUE(pumpUntil([&] { return !combo->isDroppedDown(); }));
    EXPECT_EQ(combo->currentSelection(), 1);
    EXPECT_EQ(item->manager(), &window.paintManager());
    EXPECT_EQ(window.paintManager().findControl("i20"), item);
}

TEST(Fonts, ChineseTextGetsACjkFontFromFontconfig) {
    EXPECT_FALSE(cjkFontFamily().empty());
    FontTable fonts;
    fonts.add(1, FontSpec{"", 11});
    fonts.add(42, FontSpec{"No Such Family", 13, true});
    const QFont& font = fonts.font(42);
    EXPECT_TRUE(font.families().contains(QString::fromStdString(cjkFontFamily())));
    EXPECT_EQ(font.pixelSize(), 13);
    EXPECT_TRUE(font.bold());
    EXPECT_EQ(fonts.font(12345).pixelSize(), 11);  // unknown ids fall back to font 1
}

}  // namespace
}  // namespace vexa::toolkit
