// Native window features on a real X server (run under tools/with-test-env.sh).
#include "tests/toolkit/qt_test_app.h"
#include "toolkit/combo.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/fonts.h"
#include "toolkit/window.h"
#include "toolkit/x11_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <functional>

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
