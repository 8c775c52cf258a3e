// Turns vexa-record's options, with the stored choices filling whatever an option leaves open, into
// the RecordingRequest that Prepare takes. The PreparedRequest owns what the request points into
// (sound rows, the opened camera), so it must outlive the recording. Main thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "settings/recording_choices.h"
#include "cli/camera_cli.h"
#include "cli/options.h"
#include "cli/sound_cli.h"
#include "engine/recording.h"
#include "platform/error.h"

namespace vexa::cli {

struct PreparedRequest {
    engine::RecordingRequest request;
    SoundSelection sound;
    engine::CameraRef camera;
};

// The stored choices, or nothing when the store cannot be opened (one line on stderr says why, and
// the log keeps a warning).
[[nodiscard]] std::optional<settings::RecordingChoices> LoadStoredChoices(const SoundDeviceLists& devices);

// Fails when a device is unknown ("no microphone \"3\""), the display cannot be opened ("cannot
// open X display :59"), or the camera cannot be started ("camera 'x' ... busy").
[[nodiscard]] Error BuildRequest(const CliOptions& options,
                                 const std::optional<settings::RecordingChoices>& stored,
                                 const SoundDeviceLists& devices, PreparedRequest& out);

}  // namespace vexa::cli
