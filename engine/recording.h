// Preparing and starting a recording from plain numbers. The record page (and the command-line
// recorder) reads its controls at the moment of start into a RecordingRequest; Prepare builds the
// output path and the session with the streams of the mode; Start opens the gate. Both run on the
// recording thread. Stopping is deleting the session taken out of the slot.
//
// Failures come back as Errors naming what failed and why ("cannot create folder /a/b: Permission
// denied", "microphone 'x' is busy"); the caller shows them and logs them once. What a recording is
// made of (mode, sources, encoders, file) goes to the log as it is set up.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/capture.h"
#include "engine/recording_params.h"
#include "engine/session_slot.h"
#include "platform/error.h"

namespace vexa::engine {

class CCamera;

struct RecordingRequest {
    RecordingMode mode = RecordingMode::kScreen;
    std::string output_dir;
    // Video (screen and camera modes).
    int video_quality_slider = 55;
    std::string frame_rate_text;  // the selected frame-rate item's text; empty when none
    bool show_cursor = true;
    bool constant_frame_rate = false;  // one picture per frame period instead of one per change
    std::optional<RegionRect> region;  // inclusive; none: the whole primary screen
    // Sound: the selected speaker rows first, then the microphone rows (no end entry needed here).
    std::vector<SoundSourceEntry> sound_sources;
    int audio_quality_slider = 55;
    // Camera mode: borrows the preview window's camera with a reference of its own (null: none).
    std::function<CCamera*()> acquire_camera;
    // Told when the output folder was created (or already existed as something else).
    std::function<void()> folder_created;
    // Screen backend for the screen stream; the X11 screen when empty.
    std::function<std::unique_ptr<platform::ScreenBackend>()> screen_backend;
    // The clock of the session; the system clock when null.
    platform::Clock* clock = nullptr;
    // The sound server the sound stream opens its devices on; the PulseAudio server when null.
    platform::AudioSystem* sound_system = nullptr;
};

// "<folder>[/]YYYYMMDD_HHMMSS.mp4" (".m4a" in sound-only mode) from the given local time.
[[nodiscard]] std::string BuildOutputPath(const std::string& folder, RecordingMode mode,
                                          const std::tm& local);

// "screen", "sound only", "camera".
[[nodiscard]] const char* RecordingModeName(RecordingMode mode);

// Creates the folder (one level) when it is missing; calls folder_created when it then exists (or
// something else of that name does). An empty folder is the current one. Fails with
// "cannot create folder /a/b: Permission denied" when the folder is missing and cannot be made.
[[nodiscard]] Error EnsureOutputFolder(const RecordingRequest& request);

// The mode's set-up on a new session: sound (when rows are selected), then screen or camera.
[[nodiscard]] Error SetUpMode(CCapture& session, const RecordingRequest& request);

// Creates the output folder, builds the session into the slot and returns the output path. On
// failure the slot is left empty (the session, if made, is stopped and deleted).
[[nodiscard]] Result<std::string> Prepare(const RecordingRequest& request, SessionSlot& slot);

// The rows of the request's sound entries whose device the sound server (the request's, else
// PulseAudio) does not list now; empty when it cannot be asked. For a caller whose Prepare failed
// with kNotFound: those are the devices to untick.
[[nodiscard]] std::vector<const void*> UnconnectedSoundRows(const RecordingRequest& request);

// Opens the file and releases every stream at once. On failure ("cannot open output file ...") the
// caller shows it and deletes the session. The file may get a numbered name when the prepared one is
// taken ("<time>_2.mp4"): the session's Path() is the one written.
[[nodiscard]] Error Start(SessionSlot& slot);

// What a started recording left once its session is deleted (the stop sequence has run), as every
// caller judges it.
struct RecordingOutcome {
    bool file_kept = false;  // a regular file is at the path
    int64_t bytes = 0;       // its size
    // Why the recording failed: it ended by itself or could not be finished (the session's failure),
    // or its file is gone or no regular file ("the file /a/b.mp4 was not written: No such file or
    // directory"). Ok when the recording is whole.
    Error failure;
    // Why a whole recording stays fragmented (its finishing copy failed); it plays as it is.
    Error unfinished;
};
[[nodiscard]] RecordingOutcome JudgeRecording(const std::string& path, const SessionStats& stats);

}  // namespace vexa::engine
