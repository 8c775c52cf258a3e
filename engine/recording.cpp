#include "engine/recording.h"

#include "engine/audio/audio.h"
#include "engine/camera/camera.h"
#include "platform/audio/audio_system.h"
#include "platform/log/log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace vexa::engine {
namespace {

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The sound entries with their zero end entry, as the sound stream expects them.
std::vector<SoundSourceEntry> Terminated(const std::vector<SoundSourceEntry>& sources) {
    std::vector<SoundSourceEntry> out = sources;
    out.push_back(SoundSourceEntry{});
    return out;
}

Error AddSound(CCapture& session, const RecordingRequest& r, const char* encoder, int64_t bit_rate) {
    const std::vector<SoundSourceEntry> entries = Terminated(r.sound_sources);
    if (r.sound_system)
        return session.AddAudioStream(encoder, AudioRateTriple(bit_rate), entries.data(), *r.sound_system);
    return session.AddAudioStream(encoder, AudioRateTriple(bit_rate), entries.data());
}

Error SetUpScreen(CCapture& session, const RecordingRequest& r) {
    if (!r.sound_sources.empty()) {
        if (Error e = AddSound(session, r, "libmp3lame", AudioBitRateA(r.audio_quality_slider)); !e.ok())
            return e;
    }
    std::unique_ptr<platform::ScreenBackend> backend = r.screen_backend ? r.screen_backend() : nullptr;
    session.SetConstantFrameRate(r.constant_frame_rate);
    return session.AddScreenStream(VideoQualityIndex(r.video_quality_slider), kVideoBitRate,
                                   FramesPerSecondFromText(r.frame_rate_text), r.show_cursor,
                                   r.region ? ToCaptureRect(*r.region) : CaptureRect{}, std::move(backend));
}

Error SetUpSoundOnly(CCapture& session, const RecordingRequest& r) {
    if (r.sound_sources.empty())
        return Error(ErrorCode::kInvalidArgument, "a sound-only recording needs a speaker or a microphone");
    return AddSound(session, r, "ac3", AudioBitRateB(r.audio_quality_slider));
}

// The camera is borrowed from its preview (a reference of our own) before anything else is done;
// the stream entry takes a reference of its own, and ours is released at the end either way.
Error SetUpCamera(CCapture& session, const RecordingRequest& r) {
    CCamera* camera = r.acquire_camera ? r.acquire_camera() : nullptr;
    if (!camera) return Error(ErrorCode::kNotFound, "no camera is open for the recording");
    CameraRef ours = CameraRef::Adopt(camera);
    if (!r.sound_sources.empty()) {
        if (Error e = AddSound(session, r, "libmp3lame", AudioBitRateA(r.audio_quality_slider)); !e.ok())
            return e;
    }
    return session.AddCameraStream(VideoQualityIndex(r.video_quality_slider), kVideoBitRate, camera);
}

bool ValidMode(RecordingMode mode) {
    const int m = static_cast<int>(mode);
    return m >= 0 && m <= 2;
}

// What the recording is asked to be, as the log keeps it; the streams add their own lines.
void LogRequest(const RecordingRequest& r, const std::string& path) {
    std::string what = RecordingModeName(r.mode);
    if (r.mode == RecordingMode::kScreen) {
        char area[96];
        if (r.region) {
            std::snprintf(area, sizeof area, "region %d,%d-%d,%d", r.region->left, r.region->top,
                          r.region->right, r.region->bottom);
        } else {
            std::snprintf(area, sizeof area, "whole screen");
        }
        what += std::string(", ") + area + ", " + std::to_string(FramesPerSecondFromText(r.frame_rate_text)) +
                " fps" + (r.constant_frame_rate ? " constant" : "") + ", cursor " +
                (r.show_cursor ? "on" : "off");
    }
    if (r.mode != RecordingMode::kSoundOnly)
        what += ", video quality " + std::to_string(r.video_quality_slider);
    if (!r.sound_sources.empty()) {
        what += ", " + std::to_string(r.sound_sources.size()) + " sound source" +
                (r.sound_sources.size() > 1 ? "s" : "") + " at quality " +
                std::to_string(r.audio_quality_slider);
    } else {
        what += ", no sound";
    }
    log::Writef(log::Level::kInfo, "preparing a recording: %s; file %s", what.c_str(), path.c_str());
}

}  // namespace

std::string BuildOutputPath(const std::string& folder, RecordingMode mode, const std::tm& t) {
    const bool needs_separator = !folder.empty() && folder.back() != '/' && folder.back() != '\\';
    std::string path(folder.size() + 64, '\0');
    const int n =
        std::snprintf(path.data(), path.size(), "%s%s%04u%02u%02u_%02u%02u%02u.%s", folder.c_str(),
                      needs_separator ? "/" : "", static_cast<unsigned>(t.tm_year + 1900),
                      static_cast<unsigned>(t.tm_mon + 1), static_cast<unsigned>(t.tm_mday),
                      static_cast<unsigned>(t.tm_hour), static_cast<unsigned>(t.tm_min),
                      static_cast<unsigned>(t.tm_sec), mode == RecordingMode::kSoundOnly ? "m4a" : "mp4");
    path.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return path;
}

const char* RecordingModeName(RecordingMode mode) {
    switch (mode) {
        case RecordingMode::kScreen:
            return "screen";
        case RecordingMode::kSoundOnly:
            return "sound only";
        case RecordingMode::kCamera:
            return "camera";
    }
    return "unknown";
}

Error EnsureOutputFolder(const RecordingRequest& request) {
    const std::string& folder = request.output_dir;
    if (folder.empty() || IsFolder(folder)) return {};
    if (mkdir(folder.c_str(), 0755) == 0) {
        if (request.folder_created) request.folder_created();
        return {};
    }
    const int err = errno;
    if (err != EEXIST) return Error::FromErrno(err, "cannot create folder " + folder);
    if (request.folder_created) request.folder_created();
    // Made meanwhile by someone else, or something that is not a folder.
    return IsFolder(folder) ? Error{} : Error::FromErrno(ENOTDIR, "cannot create folder " + folder);
}

Error SetUpMode(CCapture& session, const RecordingRequest& request) {
    switch (request.mode) {
        case RecordingMode::kScreen:
            return SetUpScreen(session, request);
        case RecordingMode::kSoundOnly:
            return SetUpSoundOnly(session, request);
        case RecordingMode::kCamera:
            return SetUpCamera(session, request);
    }
    return Error(ErrorCode::kInvalidArgument,
                 "unknown recording mode " + std::to_string(static_cast<int>(request.mode)));
}

Result<std::string> Prepare(const RecordingRequest& request, SessionSlot& slot) {
    if (Error e = EnsureOutputFolder(request); !e.ok()) return e;
    if (!ValidMode(request.mode)) {
        return Error(ErrorCode::kInvalidArgument,
                     "unknown recording mode " + std::to_string(static_cast<int>(request.mode)));
    }
    if (request.mode == RecordingMode::kSoundOnly && request.sound_sources.empty())
        return Error(ErrorCode::kInvalidArgument, "a sound-only recording needs a speaker or a microphone");
    if (request.mode == RecordingMode::kCamera && !request.acquire_camera)
        return Error(ErrorCode::kInvalidArgument, "a camera recording needs a camera");

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string path = BuildOutputPath(request.output_dir, request.mode, local);

    Result<std::unique_ptr<CCapture>> session =
        CCapture::Create(path, request.clock ? *request.clock : platform::SystemClock());
    if (!session.ok()) return session.error();
    CCapture* raw = session->get();
    slot.Put(std::move(session).value());
    LogRequest(request, path);
    if (Error e = SetUpMode(*raw, request); !e.ok()) {
        slot.Take().reset();  // the destructor stops whatever was started
        return e;
    }
    raw->EndSetUp();
    return path;
}

std::vector<const void*> UnconnectedSoundRows(const RecordingRequest& request) {
    std::unique_ptr<platform::AudioSystem> own;
    platform::AudioSystem* system = request.sound_system;
    if (!system) {
        Result<std::unique_ptr<platform::AudioSystem>> server = platform::ConnectSoundServer();
        if (!server.ok()) return {};
        own = std::move(server).value();
        system = own.get();
    }
    std::vector<const void*> rows;
    for (const SoundSourceEntry& e : UnconnectedSources(*system, Terminated(request.sound_sources).data()))
        rows.push_back(e.row);
    return rows;
}

RecordingOutcome JudgeRecording(const std::string& path, const SessionStats& stats) {
    RecordingOutcome outcome;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        outcome.failure = Error::FromErrno(errno, "the file " + path + " was not written");
    else if (!S_ISREG(st.st_mode))
        outcome.failure = Error(ErrorCode::kIo, "the file " + path + " was not written: not a regular file");
    // A file that received nothing at all (a Wayland desktop sends the screen only when something on
    // it changes, and nothing did) holds no stream: no player opens it, so it is not kept.
    if (outcome.failure.ok() && stats.failure.Get().ok() && stats.packets_written.load() == 0) {
        unlink(path.c_str());
        outcome.failure = Error(ErrorCode::kUnavailable,
                                "nothing was recorded: no picture or sound arrived before the stop (a "
                                "Wayland desktop sends the screen only when something on it changes)");
    }
    outcome.file_kept = outcome.failure.ok();
    if (outcome.file_kept) outcome.bytes = static_cast<int64_t>(st.st_size);
    // The session's own failure names the cause (a full disk, a deleted folder) better.
    if (Error cause = stats.failure.Get(); !cause.ok()) outcome.failure = cause;
    if (outcome.failure.ok()) outcome.unfinished = stats.unfinished.Get();
    return outcome;
}

Error Start(SessionSlot& slot) {
    CCapture* session = slot.Peek();
    if (!session) return Error(ErrorCode::kInvalidArgument, "no recording is prepared");
    if (Error e = session->Start(); !e.ok()) return e;
    log::Writef(log::Level::kInfo, "recording started: %s, %d stream%s", session->Path().c_str(),
                session->StreamCount(), session->StreamCount() == 1 ? "" : "s");
    return {};
}

}  // namespace vexa::engine
