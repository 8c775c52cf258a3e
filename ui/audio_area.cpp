#include "ui/audio_area.h"

#include <algorithm>

#include "ui/record_area.h"

namespace vexa::ui {
namespace {

CAudioArea* instance = nullptr;

constexpr int kSoundOnlyMode = 1;
constexpr PanelKeys kKeys{.audio_quality = &settings::kAudioAudioQuality,
                          .speaker_selection = &settings::kAudioSpeakerSel,
                          .speaker_volume = &settings::kAudioSpeakerVol,
                          .mic_selection = &settings::kAudioMicSel,
                          .mic_volume = &settings::kAudioMicVol};

bool AnySelected(std::span<const SourceRow> rows) {
    return std::any_of(rows.begin(), rows.end(), [](const SourceRow& row) { return row.Selected(); });
}

}  // namespace

CAudioArea::CAudioArea(toolkit::CreateControlFn create_control)
    : SourcePanel("sound panel", kKeys, std::move(create_control)) {
    instance = this;
}

CAudioArea::~CAudioArea() {
    if (instance == this) instance = nullptr;
}

CAudioArea* CAudioArea::Instance() {
    return instance;
}

Error CAudioArea::Init() {
    if (Error e = InitQuality(); !e.ok()) return e;
    return InitSoundLists();
}

bool CAudioArea::AnySoundSourceSelected() const {
    return AnySelected(Speakers()) || AnySelected(Microphones());
}

void CAudioArea::OnSoundSelection() {
    EnableStartControl(kSoundOnlyMode, AnySoundSourceSelected());
}

void CAudioArea::OnSoundVolume(const SourceRow& row, int volume) {
    if (CRecordArea* page = CRecordArea::Instance()) page->SetSourceVolume(row, volume);
}

}  // namespace vexa::ui
