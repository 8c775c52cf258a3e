#include "ui/desktop_area.h"

#include "ui/source_panels_common.h"

namespace vexa::ui {
namespace {
CDesktopArea* instance = nullptr;
}  // namespace

CDesktopArea::CDesktopArea() {
    instance = this;
}

CDesktopArea::~CDesktopArea() {
    if (instance == this) instance = nullptr;
}

CDesktopArea* CDesktopArea::Instance() {
    return instance;
}

Error CDesktopArea::Init() {
    return RequireControls(
        *this, "screen panel",
        {"video_quality_slider", "video_quality_val", "audio_quality_slider", "audio_quality_val",
         "speaker_select_box", "speaker_vol_slider", "mic_select_box", "mic_vol_slider", "camera_select_box",
         "speaker_list_btn", "mic_list_btn", "camera_list_btn"});
}

void CDesktopArea::ShowPanel(bool show) {
    setVisible(show);
    ClosePopList();
}

}  // namespace vexa::ui
