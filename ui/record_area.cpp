#include "ui/record_area.h"

#include <chrono>
#include <string>

#include "app/settings_catalog.h"
#include "platform/log/log.h"
#include "toolkit/button.h"
#include "toolkit/window.h"
#include "ui/audio_area.h"
#include "ui/camera_area.h"
#include "ui/desktop_area.h"
#include "ui/shell.h"
#include "ui/source_panels_common.h"

namespace vexa::ui {
namespace {
CRecordArea* instance = nullptr;

constexpr const char* kFullScreenText = "全屏";
constexpr const char* kRegionText = "区域";
// Windows hidden just before the screen is frozen need this long to leave the picture.
constexpr std::chrono::milliseconds kSelectionSettle(120);

// The three 100 x 100 cells (normal, hot, pushed) of the region button's image.
std::string ButtonCell(const char* file, int cell) {
    return std::string("file='") + file + "' source='" + std::to_string(cell * 100) + ",0," +
           std::to_string(cell * 100 + 100) + ",100' dest='0,0,100,100'";
}

}  // namespace

CRecordArea::CRecordArea() {
    instance = this;
    if (Shell* shell = Shell::Get())
        float_auto_hide_ = ReadSetting(shell->Settings(), app::settings::kFloatWndAutoHide) != 0;
}

CRecordArea::~CRecordArea() {
    sel_rgn_wnd_.reset();
    region_wnd_.reset();
    if (instance == this) instance = nullptr;
}

CRecordArea* CRecordArea::Instance() {
    return instance;
}

Error CRecordArea::InitPage() {
    if (Error missing =
            RequireControls(*this, "record page",
                            {"desktop_param_area", "audio_param_area", "camera_param_area", "sel_rgn_area",
                             "sel_rgn_btn", "pause_continue_btn", "start_stop_btn"});
        !missing.ok()) {
        return missing;
    }
    if (!CDesktopArea::Instance() || !CAudioArea::Instance() || !CCameraArea::Instance())
        return Error(ErrorCode::kNotFound, "record page: a source panel is missing");
    if (Error e = CreateRegionFrame(); !e.ok()) return e;
    if (Error e = CDesktopArea::Instance()->Init(); !e.ok()) return e;
    if (Error e = CAudioArea::Instance()->Init(); !e.ok()) return e;
    return CCameraArea::Instance()->Init();
}

// Shows the panel of the mode; a panel is hidden when it was the previous mode's or at the first
// selection.
void CRecordArea::SetMode(int mode, int previous) {
    if (mode == mode_) return;
    mode_ = mode;
    auto hide_unless = [&](int panel_mode) {
        return mode == panel_mode || previous == panel_mode || previous < 0;
    };
    if (hide_unless(0)) CDesktopArea::Instance()->ShowPanel(mode == 0);
    if (hide_unless(1)) {
        CAudioArea::Instance()->setVisible(mode == 1);
        CAudioArea::Instance()->ClosePopList();
    }
    if (hide_unless(2)) CCameraArea::Instance()->ShowPanel(mode == 2);
    if (region_wnd_) region_wnd_->hide();
    sel_rgn_wnd_.reset();
}

void CRecordArea::ToggleRecording(bool /*force*/) {}

void CRecordArea::TogglePause() {}

// The region frame around the stored region (else the whole screen), interactive; the region
// buttons act on clicks while the main window is enabled.
Error CRecordArea::CreateRegionFrame() {
    Shell* shell = Shell::Get();
    if (!shell) return Error(ErrorCode::kUnavailable, "record page: there is no main window");
    region_wnd_ = std::make_unique<CRegionWnd>([this](int kind, bool full_screen, const app::Rect& region) {
        OnRegionFrame(kind, full_screen, region);
    });
    if (Error e = region_wnd_->Create(&shell->MainWindow(), shell->ScreenSize()); !e.ok())
        return e.Within("record page");
    const QSize screen = shell->ScreenSize();
    const app::Rect stored = ReadRectSetting(shell->Settings(), app::settings::kDesktopSelectRgn)
                                 .value_or(app::Rect{0, 0, screen.width() - 1, screen.height() - 1});
    region_wnd_->SetRegion(stored);  // reports (and so stores) any region but the whole screen
    ShowRegionMode(region_wnd_->IsFullScreen());
    region_wnd_->SetRecordingStyle(false);
    auto on_click = [this](void (CRecordArea::*action)()) {
        return [this, action](toolkit::Notification& n) {
            if (n.type == "click" && Shell::Get() && Shell::Get()->MainWindow().isEnabled())
                (this->*action)();
            return true;
        };
    };
    toolkit::findChild(*this, "sel_rgn_btn")->addNotifyHandler(on_click(&CRecordArea::SelectRegion));
    if (toolkit::Control* toggle = toolkit::findChild(*this, "switch_btn"))
        toggle->addNotifyHandler(on_click(&CRecordArea::ToggleRegionMode));
    return {};
}

void CRecordArea::OnRegionFrame(int kind, bool full_screen, const app::Rect& region) {
    Shell* shell = Shell::Get();
    if (!shell) return;
    ShowRegionMode(full_screen);
    StoreRectSetting(shell->Settings(), app::settings::kDesktopSelectRgn, region);
    if (kind == region::kDragBegins) {
        if (CDesktopArea* panel = CDesktopArea::Instance()) panel->ClosePopList();
        sel_rgn_wnd_.reset();
        shell->MainWindow().hide();
    } else if (kind == region::kDragEnded && RecordingState() == kIdle) {
        shell->MainWindow().show();
    }
}

// The label, the switch and the region button tell full-screen mode from region mode.
void CRecordArea::ShowRegionMode(bool full_screen) {
    if (toolkit::Control* info = toolkit::findChild(*this, "sel_rgn_btn_info"))
        info->setText(full_screen ? kFullScreenText : kRegionText);
    if (toolkit::Control* toggle = toolkit::findChild(*this, "switch_btn"))
        toggle->setText(full_screen ? "切换到区域" : "切换到全屏");
    auto* button = dynamic_cast<toolkit::Button*>(toolkit::findChild(*this, "sel_rgn_btn"));
    if (!button) return;
    const char* file = full_screen ? "fullscreen.png" : "region.png";
    button->setToolTip(full_screen ? "全屏录制模式" : region::SelectRegionTip());
    button->setNormalImage(ButtonCell(file, 0));
    button->setHotImage(ButtonCell(file, 1));
    button->setPushedImage(ButtonCell(file, 2));
}

void CRecordArea::ShowRegionFrameAndMainWindow() {
    if (region_wnd_) region_wnd_->ShowTopMost();
    if (Shell* shell = Shell::Get()) shell->MainWindow().show();
}

void CRecordArea::ToggleRegionMode() {
    const toolkit::Control* info = toolkit::findChild(*this, "sel_rgn_btn_info");
    const bool region_mode = !info || info->text() == kRegionText;
    if (region_mode) {
        ShowRegionMode(true);
        if (const Shell* shell = Shell::Get()) {
            const QSize screen = shell->ScreenSize();
            region_wnd_->SetRegion(app::Rect{0, 0, screen.width() - 1, screen.height() - 1});
        }
        region_wnd_->ShowTopMost();
        return;
    }
    ShowRegionMode(false);
    if (toolkit::Control* button = toolkit::findChild(*this, "sel_rgn_btn")) {
        if (toolkit::PaintManager* manager = button->manager()) manager->sendNotify(button, "click");
    }
}

void CRecordArea::SelectRegion() {
    const toolkit::Control* info = toolkit::findChild(*this, "sel_rgn_btn_info");
    if (info && info->text() != kRegionText) return;
    Shell* shell = Shell::Get();
    if (!shell || !region_wnd_) return;
    sel_rgn_wnd_.reset();
    sel_rgn_wnd_ = std::make_unique<CSelRgnWnd>();
    const bool was_shown = region_wnd_->isVisible() || shell->MainWindow().isVisible();
    region_wnd_->hide();
    shell->MainWindow().hide();
    if (CDesktopArea* panel = CDesktopArea::Instance()) panel->ClosePopList();
    Error started = sel_rgn_wnd_->BeginSelection(
        &shell->MainWindow(),
        [this](int result, bool /*full_screen*/, const app::Rect& region) {
            OnSelectionFinished(result, region);
        },
        was_shown ? kSelectionSettle : std::chrono::milliseconds(0));
    if (!started.ok()) {
        log::Failure(started);
        ShowRegionFrameAndMainWindow();
        sel_rgn_wnd_.reset();
    }
}

void CRecordArea::OnSelectionFinished(int result, const app::Rect& region) {
    if (result == region::kCandidateChanged) return;
    if (result == region::kChosen) region_wnd_->SetRegion(region);
    ShowRegionFrameAndMainWindow();
}

void CRecordArea::SetSourceVolume(const SourceRow& row, int volume) {
    if (RecordingState() == kIdle) return;
    (void)slot_.With([&](engine::CCapture& session) { session.SetSourceVolume(&row, volume); });
}

void CRecordArea::NotifyDisplayChange() {
    if (sel_rgn_wnd_) sel_rgn_wnd_->Cancel();
    if (region_wnd_) {
        if (const Shell* shell = Shell::Get()) region_wnd_->OnDisplayChange(shell->ScreenSize());
    }
    if (RecordingState() == kIdle) return;
    (void)slot_.With([](engine::CCapture& session) { session.NotifyDisplayChange(); });
}

}  // namespace vexa::ui
