#include "settings/recording_choices.h"

#include "settings/output_folder.h"
#include "settings/settings_catalog.h"

namespace vexa::settings {

namespace {

using namespace settings;

std::vector<SoundRowChoice> SelectedRows(const SettingsKey& key, const Setting& selection,
                                         const Setting& volume, int count) {
    std::vector<SoundRowChoice> rows;
    for (int position = 0; position < count; ++position) {
        if (ReadSetting(key, selection, position) != 0)
            rows.push_back({position, ReadSetting(key, volume, position)});
    }
    return rows;
}

struct ModeSettings {
    const Setting* video_quality;  // null for the sound-only mode
    const Setting& audio_quality;
    const Setting& speaker_selection;
    const Setting& speaker_volume;
    const Setting& mic_selection;
    const Setting& mic_volume;
};

ModeChoices LoadMode(const SettingsKey& key, const ModeSettings& mode, const DeviceCounts& counts) {
    ModeChoices choices;
    choices.video_quality = mode.video_quality ? ReadSetting(key, *mode.video_quality) : 0;
    choices.audio_quality = ReadSetting(key, mode.audio_quality);
    choices.speakers = SelectedRows(key, mode.speaker_selection, mode.speaker_volume, counts.speakers);
    choices.microphones = SelectedRows(key, mode.mic_selection, mode.mic_volume, counts.microphones);
    return choices;
}

}  // namespace

RecordingChoices LoadRecordingChoices(const SettingsKey& key, const DeviceCounts& counts) {
    RecordingChoices choices;
    choices.output_folder = StoredOutputFolder(key).value_or(DefaultOutputFolder());
    choices.frame_rate = ReadSetting(key, kDesktopFrames);
    choices.record_mouse = ReadSetting(key, kRecordMouse) != 0;
    choices.constant_frame_rate = ReadSetting(key, kConstantFrameRate) != 0;
    choices.screen = LoadMode(key,
                              {&kDesktopVideoQuality, kDesktopAudioQuality, kDesktopSpeakerSel,
                               kDesktopSpeakerVol, kDesktopMicSel, kDesktopMicVol},
                              counts);
    choices.sound = LoadMode(
        key, {nullptr, kAudioAudioQuality, kAudioSpeakerSel, kAudioSpeakerVol, kAudioMicSel, kAudioMicVol},
        counts);
    choices.camera = LoadMode(key,
                              {&kCameraVideoQuality, kCameraAudioQuality, kCameraSpeakerSel,
                               kCameraSpeakerVol, kCameraMicSel, kCameraMicVol},
                              counts);
    for (int position = 0; position < counts.cameras; ++position) {
        if (ReadSetting(key, kDesktopCameraSel, position) != 0) choices.screen_cameras.push_back(position);
    }
    if (counts.cameras > 0)
        choices.camera_index =
            static_cast<int>(ReadSetting(key, kCameraSelIndex, 0, static_cast<uint32_t>(counts.cameras)));
    return choices;
}

}  // namespace vexa::settings
