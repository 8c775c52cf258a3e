#include "ui/audio_area.h"

#include <algorithm>

namespace vexa::ui {
namespace {

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
    : SourcePanel("sound panel", kKeys, std::move(create_control)) {}

CAudioArea::~CAudioArea() {}

Error CAudioArea::Init(PanelHost& host) {
    AttachHost(host);
    if (Error e = InitQuality(); !e.ok()) return e;
    return InitSoundLists();
}

bool CAudioArea::AnySoundSourceSelected() const {
    return AnySelected(Speakers()) || AnySelected(Microphones());
}

void CAudioArea::OnSoundSelection() {
    if (PanelHost* host = Host()) host->EnableStartFor(kSoundOnlyMode, AnySoundSourceSelected());
}

void CAudioArea::OnSoundVolume(const SourceRow& row, int volume) {
    if (PanelHost* host = Host()) host->SetSourceVolume(row, volume);
}

}  // namespace vexa::ui
