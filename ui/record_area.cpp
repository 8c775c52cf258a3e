#include "ui/record_area.h"

#include "app/settings_catalog.h"
#include "ui/audio_area.h"
#include "ui/camera_area.h"
#include "ui/desktop_area.h"
#include "ui/shell.h"
#include "ui/source_panels_common.h"

namespace vexa::ui {
namespace {
CRecordArea* instance = nullptr;
}  // namespace

CRecordArea::CRecordArea() {
    instance = this;
    if (Shell* shell = Shell::Get())
        float_auto_hide_ = ReadSetting(shell->Settings(), app::settings::kFloatWndAutoHide) != 0;
}

CRecordArea::~CRecordArea() {
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
}

void CRecordArea::ToggleRecording(bool /*force*/) {}

void CRecordArea::TogglePause() {}

void CRecordArea::SelectRegion() {}

void CRecordArea::NotifyDisplayChange() {
    if (RecordingState() == kIdle) return;
    (void)slot_.With([](engine::CCapture& session) { session.NotifyDisplayChange(); });
}

}  // namespace vexa::ui
