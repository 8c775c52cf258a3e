#include "ui/camera_area.h"

#include "ui/source_panels_common.h"

namespace vexa::ui {
namespace {
CCameraArea* instance = nullptr;
}  // namespace

CCameraArea::CCameraArea() {
    instance = this;
}

CCameraArea::~CCameraArea() {
    if (instance == this) instance = nullptr;
}

CCameraArea* CCameraArea::Instance() {
    return instance;
}

Error CCameraArea::Init() {
    return RequireControls(
        *this, "camera panel",
        {"video_quality_slider", "video_quality_val", "audio_quality_slider", "audio_quality_val",
         "speaker_select_box", "speaker_vol_slider", "mic_select_box", "mic_vol_slider", "camera_select_box",
         "speaker_list_btn", "mic_list_btn", "camera_list_btn"});
}

void CCameraArea::ShowPanel(bool show) {
    setVisible(show);
    ClosePopList();
}

bool CCameraArea::AnyCameraSelected() const {
    return IsBoxSelected(const_cast<CCameraArea&>(*this), "camera_select_box");
}

}  // namespace vexa::ui
