// The recording choices stored by the pages, in plain numbers, for programs that record without
// the main window (the command-line recorder reads them when its options are absent).
//
//   RecordingChoices choices = LoadRecordingChoices(key, {.speakers = 2, .microphones = 1, .cameras = 1});
//
// Every value follows the store's read rule (wrong type, size or range reads as the default);
// nothing is written, and the output folder is not created. Device rows are zero-based positions
// in the device lists (speakers and microphones with the default device at position 0), and only
// positions below the given counts are looked at.
// Thread-safe (SettingsKey is).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings_key.h"

namespace vexa::settings {

struct DeviceCounts {
    int speakers = 0;
    int microphones = 0;
    int cameras = 0;
};

struct SoundRowChoice {
    int position = 0;     // row in the speaker or microphone list
    uint32_t volume = 0;  // 0..100
};

struct ModeChoices {
    uint32_t video_quality = 0;               // 1..100; 0 in the sound-only mode, which records no video
    uint32_t audio_quality = 0;               // 1..100
    std::vector<SoundRowChoice> speakers;     // selected rows only, in position order
    std::vector<SoundRowChoice> microphones;  // selected rows only, in position order
};

struct RecordingChoices {
    std::string output_folder;  // "output_dir" if it names a folder, else the default folder
    uint32_t frame_rate = 20;   // one of 1, 5, 10, 15, 20, 24, 30, 50
    bool record_mouse = true;
    bool constant_frame_rate = false;  // one picture per frame period
    ModeChoices screen;
    ModeChoices sound;
    ModeChoices camera;
    std::vector<int> screen_cameras;  // cameras shown over the screen, in position order
    int camera_index = 0;             // the camera of the camera mode (0 when there is none)
};

[[nodiscard]] RecordingChoices LoadRecordingChoices(const SettingsKey& key, const DeviceCounts& counts);

}  // namespace vexa::settings
