#include "ui/audio_area.h"

#include "ui/source_panels_common.h"

namespace vexa::ui {
namespace {
CAudioArea* instance = nullptr;
}  // namespace

CAudioArea::CAudioArea() {
    instance = this;
}

CAudioArea::~CAudioArea() {
    if (instance == this) instance = nullptr;
}

CAudioArea* CAudioArea::Instance() {
    return instance;
}

Error CAudioArea::Init() {
    return RequireControls(
        *this, "sound panel",
        {"audio_quality_slider", "audio_quality_val", "speaker_select_box", "speaker_vol_slider",
         "mic_select_box", "mic_vol_slider", "speaker_list_btn", "mic_list_btn"});
}

bool CAudioArea::AnySoundSourceSelected() const {
    auto& self = const_cast<CAudioArea&>(*this);
    return IsBoxSelected(self, "speaker_select_box") || IsBoxSelected(self, "mic_select_box");
}

}  // namespace vexa::ui
