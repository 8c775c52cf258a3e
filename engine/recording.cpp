#include "engine/recording.h"

#include "engine/camera/camera.h"

#include <sys/stat.h>

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

bool AddSound(CCapture& session, const RecordingRequest& r, const char* encoder, int64_t bit_rate) {
    const std::vector<SoundSourceEntry> entries = Terminated(r.sound_sources);
    return session.AddAudioStream(encoder, AudioRateTriple(bit_rate), entries.data());
}

bool SetUpScreen(CCapture& session, const RecordingRequest& r) {
    if (!r.sound_sources.empty() &&
        !AddSound(session, r, "libmp3lame", AudioBitRateA(r.audio_quality_slider)))
        return false;
    std::unique_ptr<platform::ScreenBackend> backend = r.screen_backend ? r.screen_backend() : nullptr;
    return session.AddScreenStream(VideoQualityIndex(r.video_quality_slider), kVideoBitRate,
                                   FramesPerSecondFromText(r.frame_rate_text), r.show_cursor,
                                   r.region ? ToCaptureRect(*r.region) : CaptureRect{}, std::move(backend));
}

bool SetUpSoundOnly(CCapture& session, const RecordingRequest& r) {
    return !r.sound_sources.empty() && AddSound(session, r, "ac3", AudioBitRateB(r.audio_quality_slider));
}

// The camera is borrowed from its preview (a reference of our own) before anything else is done;
// the stream entry takes a reference of its own, and ours is released at the end either way.
bool SetUpCamera(CCapture& session, const RecordingRequest& r) {
    CCamera* camera = r.acquire_camera ? r.acquire_camera() : nullptr;
    if (!camera) return false;
    const bool ok = (r.sound_sources.empty() ||
                     AddSound(session, r, "libmp3lame", AudioBitRateA(r.audio_quality_slider))) &&
                    session.AddCameraStream(VideoQualityIndex(r.video_quality_slider), kVideoBitRate, camera);
    camera->Release();
    return ok;
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

void EnsureOutputFolder(const RecordingRequest& request) {
    if (IsFolder(request.output_dir)) return;
    // A failure other than "exists" is not reported here: the file open fails later.
    if (mkdir(request.output_dir.c_str(), 0755) == 0 || errno == EEXIST) {
        if (request.folder_created) request.folder_created();
    }
}

bool SetUpMode(CCapture& session, const RecordingRequest& request) {
    switch (request.mode) {
        case RecordingMode::kScreen:
            return SetUpScreen(session, request);
        case RecordingMode::kSoundOnly:
            return SetUpSoundOnly(session, request);
        case RecordingMode::kCamera:
            return SetUpCamera(session, request);
    }
    return false;
}

bool Prepare(const RecordingRequest& request, SessionSlot& slot, std::string* path) {
    EnsureOutputFolder(request);
    const int mode = static_cast<int>(request.mode);
    if (mode < 0 || mode > 2) return false;
    if (request.mode == RecordingMode::kSoundOnly && request.sound_sources.empty()) return false;
    if (request.mode == RecordingMode::kCamera && !request.acquire_camera) return false;

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string out = BuildOutputPath(request.output_dir, request.mode, local);
    if (path) *path = out;

    std::unique_ptr<CCapture> session =
        CCapture::Create(out, request.clock ? *request.clock : platform::SystemClock());
    if (!session) return false;
    CCapture* raw = session.get();
    slot.Put(std::move(session));
    if (SetUpMode(*raw, request)) {
        raw->EndSetUp();
        return true;
    }
    slot.Take().reset();  // the destructor stops whatever was started
    return false;
}

bool Start(SessionSlot& slot) {
    CCapture* session = slot.Peek();
    return session && session->Start();
}

}  // namespace vexa::engine
