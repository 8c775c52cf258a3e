// The camera overlay window and the pop-up list on the test display (tools/with-test-env.sh): real
// windows with the virtual camera, driven with the X test extension.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QWidget>

#include <cstdlib>
#include <set>

#include "settings/settings_catalog.h"
#include "engine/camera/camera_format.h"
#include "tests/support/thread_probe.h"
#include "tests/toolkit/qt_test_app.h"
#include "tests/ui/display_settle.h"
#include "tests/ui/test_shell.h"
#include "toolkit/button.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/paint_manager.h"
#include "toolkit/stand_ins.h"
#include "ui/camera_wnd.h"
#include "ui/pop_list_wnd.h"

namespace vexa::ui {
namespace {

using test::PumpUntil;
using test::SettleDisplay;

class OnDisplay : public test::OnXDisplay {
  protected:
    void SetUpOnDisplay() override {
        setenv("VEXA_VIRTUAL_CAMERA", "1", 1);
        unsetenv("VEXA_VIRTUAL_CAMERA_BUSY");
        shell_ = std::make_unique<test::TestShell>();
        (void)SettleDisplay();
    }
    void TearDown() override {
        window_.reset();
        shell_.reset();
        unsetenv("VEXA_VIRTUAL_CAMERA");
        unsetenv("VEXA_VIRTUAL_CAMERA_BUSY");
        (void)SettleDisplay();
    }

    CCameraWnd& Open(CameraWndOwner owner, const std::string& name = "Virtual Camera") {
        window_ = std::make_unique<CCameraWnd>(owner, nullptr);
        const Error created = window_->Create(shell_->Main(), 0, name);
        EXPECT_TRUE(created.ok()) << created.message();
        window_->show(false);
        EXPECT_TRUE(PumpUntil([&] { return window_->Ready() && window_->isVisible(); }));
        EXPECT_TRUE(SettleDisplay());  // mapped and placed by the X server
        return *window_;
    }
    QPoint OnScreen(const QPoint& client) const { return window_->geometry().topLeft() + client; }
    QPoint ButtonOnScreen(int slot) const { return OnScreen(window_->Shape().buttons[slot].center()); }
    std::optional<settings::Rect> Stored(const settings::Setting& setting) {
        return settings::ReadRectSetting(shell_->Settings(), setting, 0);
    }
    // Distinct colours along the window's middle row, as the screen shows them.
    std::set<QRgb> ColoursAcross() {
        const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        const QRect g = window_->geometry();
        std::set<QRgb> colours;
        for (int x = g.left() + 30; x < g.right() - 30; x += 5)
            colours.insert(screen.pixel(x, g.center().y()) & 0xF0F0F0);
        return colours;
    }

    std::unique_ptr<test::TestShell> shell_;
    std::unique_ptr<CCameraWnd> window_;
    test::TestInput input_;
};

TEST_F(OnDisplay, FirstDesktopWindowIsARoundSquareAtTheDefaultPlaceShowingTheCamera) {
    CCameraWnd& window = Open(CameraWndOwner::kDesktopPanel);
    EXPECT_EQ(window.geometry(), QRect(1280, 360, 360, 360));
    EXPECT_TRUE(window.Circular());
    EXPECT_EQ(window.windowClassName(), "Tolvo_Camera_Wnd");
    const QRegion mask = window.widget()->mask();
    EXPECT_TRUE(mask.contains(QPoint(180, 180)));
    EXPECT_TRUE(mask.contains(QPoint(180, 1)));
    EXPECT_FALSE(mask.contains(QPoint(10, 10)));
    EXPECT_EQ(Stored(settings::kCameraWndPosAt), (settings::Rect{1280, 360, 1640, 720}));
    EXPECT_EQ(window.StatusText(), "");
    // The virtual camera's colour bars, stretched over the window.
    EXPECT_TRUE(PumpUntil([&] { return ColoursAcross().size() >= 4; }));
}

TEST_F(OnDisplay, DraggedHalfOffTheLeftEdgeItIsCutToItsVisiblePartAndShrinksNoFurtherThan150) {
    CCameraWnd& window = Open(CameraWndOwner::kDesktopPanel);
    input_.Drag(QPoint(1460, 540), QPoint(0, 540));
    EXPECT_EQ(window.FullRect(), (settings::Rect{-180, 360, 180, 720}));
    EXPECT_EQ(Stored(settings::kCameraWndPosAt), (settings::Rect{-180, 360, 180, 720}));
    EXPECT_EQ(window.geometry(), QRect(0, 360, 180, 360));
    const QRegion mask = window.widget()->mask();
    EXPECT_TRUE(QRect(0, 0, 180, 360).contains(mask.boundingRect()));
    EXPECT_TRUE(mask.contains(QPoint(2, 180)));
    EXPECT_FALSE(mask.contains(QPoint(170, 10)));
    // From the right rim, far inwards: a centred square of 150.
    input_.Drag(QPoint(178, 540), QPoint(0, 540));
    EXPECT_EQ(window.FullRect(), (settings::Rect{-75, 465, 75, 615}));
    EXPECT_EQ(Stored(settings::kCameraWndPosAt), (settings::Rect{-75, 465, 75, 615}));
}

TEST_F(OnDisplay, BusyCameraSaysSoAndOpensOnTheNextRetry) {
    setenv("VEXA_VIRTUAL_CAMERA_BUSY", "1", 1);
    CCameraWnd& window = Open(CameraWndOwner::kDesktopPanel);
    EXPECT_EQ(window.OpenResult(), 0x00040268u);
    EXPECT_EQ(window.StatusText(), "摄像头被占用");
    unsetenv("VEXA_VIRTUAL_CAMERA_BUSY");
    window.onTimer(CCameraWnd::kRetryTimer);  // what the 30-second timer does
    EXPECT_EQ(window.OpenResult(), 0u);
    EXPECT_EQ(window.StatusText(), "");
    EXPECT_TRUE(PumpUntil([&] { return ColoursAcross().size() >= 4; }));
}

TEST_F(OnDisplay, CtrlAltAtCreationPutsTheWindowBackAtItsDefaultPlace) {
    settings::StoreRectSetting(shell_->Settings(), settings::kCameraWndPosAt, {100, 100, 300, 240}, 0);
    EXPECT_EQ(Open(CameraWndOwner::kDesktopPanel).geometry(), QRect(100, 100, 140, 140));  // squared
    window_.reset();
    input_.Key("Control_L", true);
    input_.Key("Alt_L", true);
    const QRect reset = Open(CameraWndOwner::kDesktopPanel).geometry();
    input_.Key("Alt_L", false);
    input_.Key("Control_L", false);
    EXPECT_EQ(reset, QRect(1280, 360, 360, 360));
    // The preview of the camera panel keeps its stored rectangle as it is.
    window_.reset();
    settings::StoreRectSetting(shell_->Settings(), settings::kCameraWndPos, {100, 100, 400, 300}, 0);
    EXPECT_EQ(Open(CameraWndOwner::kCameraPanel).geometry(), QRect(100, 100, 300, 200));
}

TEST_F(OnDisplay, ButtonsAppearOnHoverAndMirrorShapeAndCloseDoWhatTheySay) {
    CCameraWnd& window = Open(CameraWndOwner::kDesktopPanel);
    EXPECT_FALSE(window.ButtonsShown());
    input_.MoveTo(OnScreen(QPoint(180, 180)));
    EXPECT_TRUE(window.ButtonsShown());
    ASSERT_TRUE(window.Mirrored());  // mirrored by default
    input_.Click(ButtonOnScreen(2));
    EXPECT_FALSE(window.Mirrored());
    EXPECT_EQ(settings::ReadSetting(shell_->Settings(), settings::kCameraFlipAt, 0), 0u);
    input_.Click(ButtonOnScreen(1));
    EXPECT_FALSE(window.Circular());
    EXPECT_EQ(settings::ReadSetting(shell_->Settings(), settings::kCameraWndStyle, 0), 0u);
    EXPECT_TRUE(window.widget()->mask().contains(QPoint(2, 2)));  // a rectangle now
    int closes = 0;
    window.SetCloseHandler([&] { ++closes; });
    input_.Click(ButtonOnScreen(0));
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(window.isVisible());  // the desktop panel destroys it; it does not hide itself
    input_.MoveTo(QPoint(5, 5));
    EXPECT_FALSE(window.ButtonsShown());
}

TEST_F(OnDisplay, FormatListShowsEachFormatOnceAndChoosingOneKeepsTheWindowOpen) {
    setenv("VEXA_VIRTUAL_CAMERA", "YUYV:640x480@30,MJPG:1280x720@30,YUYV:1280x720@30", 1);
    CCameraWnd& window = Open(CameraWndOwner::kCameraPanel);
    EXPECT_FALSE(window.Circular());
    input_.MoveTo(OnScreen(QPoint(100, 100)));
    input_.Click(ButtonOnScreen(3));  // the preview's format button
    ASSERT_TRUE(PumpUntil([&] { return window.FormatList() && window.FormatList()->isVisible(); }));
    ASSERT_TRUE(SettleDisplay());  // mapped and placed by the X server
    CPopListWnd& list = *window.FormatList();
    const QRect button = window.Shape().buttons[3];
    EXPECT_EQ(list.geometry(),
              QRect(OnScreen(QPoint(button.left(), button.bottom() + 1)), QSize(190, 28 * 2 + 4)));
    ASSERT_EQ(list.Root()->count(), 2);
    const engine::CameraRef camera = window.AcquireCamera();
    ASSERT_TRUE(camera);
    std::vector<std::string> texts;
    int enabled_row = -1;
    for (int i = 0; i < 2; ++i) {
        const toolkit::Control* row = list.Root()->itemAt(i);
        texts.push_back(row->text());
        const bool connected = row->text() == engine::CameraFormatText(camera->Connected());
        EXPECT_EQ(row->isEnabled(), !connected) << row->text();
        if (row->isEnabled()) enabled_row = i;
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"30 FPS,  1280 × 720", "30 FPS,  640 × 480"}));
    ASSERT_GE(enabled_row, 0);
    const int new_width = enabled_row == 0 ? 1280 : 640;
    input_.Click(list.geometry().topLeft() + list.Root()->itemAt(enabled_row)->rect().center());
    EXPECT_TRUE(PumpUntil([&] { return window.FormatList() == nullptr; }));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.StatusText(), "");
    EXPECT_EQ(camera->Width(), new_width);
    const auto stored = settings::ReadRecordSetting(shell_->Settings(), settings::kCameraFormat, 0);
    ASSERT_TRUE(stored);
    EXPECT_EQ(engine::CameraFormatSetting::FromBytes(*stored)->width, new_width);
    EXPECT_TRUE(PumpUntil([&] { return ColoursAcross().size() >= 4; }));
}

TEST_F(OnDisplay, PreviewSwitchesCamerasAndALentCameraOutlivesItsReleasedWindow) {
    CCameraWnd& window = Open(CameraWndOwner::kCameraPanel);
    EXPECT_FALSE(window.SwitchCamera(1, "No Such Camera").ok());
    EXPECT_EQ(window.StatusText(), "摄像头打开失败(0x80004005");
    EXPECT_EQ(window.Index(), 1);
    EXPECT_FALSE(window.AcquireCamera());
    ASSERT_TRUE(window.SwitchCamera(0, "Virtual Camera").ok());
    EXPECT_EQ(window.StatusText(), "");

    engine::CameraRef lent = window.AcquireCamera();
    ASSERT_TRUE(lent);
    ASSERT_TRUE(PumpUntil([&] { return lent->Stats().pictures > 2; }));
    CCameraWnd::ReleaseInBackground(std::move(window_));
    // The camera stops for good (on the releasing thread): its device's streaming thread ends, so no
    // picture can follow; the recording's reference keeps the camera itself.
    EXPECT_TRUE(PumpUntil([] { return test::ThreadsNamed("vexa-cam-virt").empty(); }));
    EXPECT_EQ(lent->Width(), 640);
}

TEST_F(OnDisplay, WindowStaysOnScreenWhileTheMainWindowIsMinimised) {
    CCameraWnd& window = Open(CameraWndOwner::kDesktopPanel);
    shell_->Main().minimize();
    ASSERT_TRUE(SettleDisplay());
    EXPECT_TRUE(window.isVisible());
    shell_->Main().restore();
    window.hide();  // a window its panel hid stays hidden
    shell_->Main().minimize();
    ASSERT_TRUE(SettleDisplay());
    EXPECT_FALSE(window.isVisible());
    shell_->Main().restore();
}

// --- the pop-up list -------------------------------------------------------------------------------

TEST_F(OnDisplay, PopupOfFourSoundRowsSitsUnderItsButtonAndGivesItsRowsBackWhenAClickElsewhereClosesIt) {
    toolkit::PaintManager& main = shell_->Main().paintManager();
    auto layout = toolkit::buildLayoutText(
        R"(<VerticalLayout inset="100,50,0,0"><Button name="speaker_list_btn" width="24" height="24"/></VerticalLayout>)",
        main, nullptr);
    ASSERT_TRUE(layout.ok()) << layout.error().message();
    main.attach(std::move(layout).value());
    main.updateLayout();
    auto* anchor = main.find<toolkit::Button>("speaker_list_btn");
    std::vector<std::unique_ptr<toolkit::Control>> rows;
    std::vector<toolkit::Control*> items;
    for (int i = 0; i < 4; ++i) {
        auto row = toolkit::buildLayout("audio_list_item.xml", main, toolkit::createStandIn);
        ASSERT_TRUE(row.ok()) << row.error().message();
        rows.push_back(std::move(row).value());
        items.push_back(rows.back().get());
    }
    auto show = [&](bool self_delete) {
        auto popup = std::make_unique<CPopListWnd>();
        popup->SetSelfDelete(self_delete);
        const Error e = popup->Init(anchor, items, PopItemKind::kSoundRows,
                                    R"(bordersize="1" bordercolor="#FF656565" bkcolor="#FF303030")", 6, 16);
        EXPECT_TRUE(e.ok()) << e.message();
        popup->show();
        EXPECT_TRUE(PumpUntil([&] { return popup->isVisible(); }));
        EXPECT_TRUE(SettleDisplay());
        return popup;
    };
    auto popup = show(false);
    EXPECT_EQ(popup->geometry(), QRect(40 + 100, 40 + 50 + 24, 326, 128));
    EXPECT_EQ(popup->Root()->inset(), QMargins(1, 8, 1, 1));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(items[i]->manager(), &popup->paintManager());
        EXPECT_EQ(items[i]->rect(), QRect(1, 8 + 28 * i, 320, 28));
    }
    auto* box = dynamic_cast<toolkit::Option*>(toolkit::findChild(*items[2], "select_box"));
    ASSERT_NE(box, nullptr);
    box->setSelected(true, false);
    input_.Click(QPoint(40 + 350, 40 + 250));  // on the main window
    ASSERT_TRUE(PumpUntil([&] { return !popup->isCreated(); }));
    for (toolkit::Control* row : items) {
        EXPECT_EQ(row->manager(), &main);
        EXPECT_EQ(row->parent(), nullptr);
    }
    EXPECT_TRUE(box->isSelected());

    // The next one shows the same rows; Esc closes it, and it deletes itself.
    auto again = show(true);
    EXPECT_EQ(again->Root()->itemAt(2), items[2]);
    const toolkit::WindowHandle handle = again->handle();
    (void)again.release();
    input_.Key("Escape", true);
    input_.Key("Escape", false);
    EXPECT_TRUE(PumpUntil([&] { return !toolkit::Window::postMessage(handle, {}); }));
    EXPECT_EQ(items[2]->manager(), &main);
    EXPECT_TRUE(box->isSelected());
}

}  // namespace
}  // namespace vexa::ui
