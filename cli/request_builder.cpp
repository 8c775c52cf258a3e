#include "cli/request_builder.h"

#include <unistd.h>

#include <vector>

#include "settings/screen_cast_tokens.h"
#include "settings/settings_key.h"
#include "platform/log/log.h"

namespace vexa::cli {
namespace {

using engine::RecordingMode;

std::string CurrentFolder() {
    std::vector<char> buf(4096);
    return getcwd(buf.data(), buf.size()) ? std::string(buf.data()) : std::string(".");
}

const settings::ModeChoices* StoredMode(const std::optional<settings::RecordingChoices>& stored,
                                        RecordingMode mode) {
    if (!stored) return nullptr;
    switch (mode) {
        case RecordingMode::kScreen:
            return &stored->screen;
        case RecordingMode::kSoundOnly:
            return &stored->sound;
        case RecordingMode::kCamera:
            return &stored->camera;
    }
    return nullptr;
}

// Without any sound option, the rows the panel of the mode has selected (with their volumes); with
// nothing stored either, the recorder's own default (the default speaker in screen mode).
SoundRequest SoundFromOptions(const CliOptions& o, const settings::ModeChoices* stored) {
    SoundRequest r{o.mode, o.no_sound, o.speakers, o.microphones, o.volumes};
    const bool any_option = o.no_sound || !o.speakers.empty() || !o.microphones.empty();
    if (any_option || !stored || (stored->speakers.empty() && stored->microphones.empty())) return r;
    int source = 0;
    auto add = [&](const std::vector<settings::SoundRowChoice>& rows, std::vector<std::string>& into) {
        for (const settings::SoundRowChoice& row : rows) {
            into.push_back(std::to_string(row.position));
            if (o.volumes.empty())
                r.volumes.push_back(std::to_string(source) + "=" + std::to_string(row.volume));
            ++source;
        }
    };
    add(stored->speakers, r.speakers);
    add(stored->microphones, r.microphones);
    return r;
}

Error AddScreen(const CliOptions& o, const std::optional<settings::RecordingChoices>& stored,
                engine::RecordingRequest& r) {
    r.frame_rate_text = o.fps_text.value_or(std::to_string(stored ? stored->frame_rate : 24));
    r.show_cursor = o.show_cursor.value_or(stored ? stored->record_mouse : true);
    r.constant_frame_rate = o.constant_rate.value_or(stored && stored->constant_frame_rate);
    // On Wayland the desktop asks once which screen to share; its answer is kept with the settings.
    std::unique_ptr<settings::SettingsKey> settings;
    std::unique_ptr<settings::SettingsScreenCastTokens> tokens;
    if (o.capture_method == platform::MethodChoice::kPortal ||
        (o.capture_method == platform::MethodChoice::kAuto && platform::IsWaylandSession())) {
        if (Result<std::unique_ptr<settings::SettingsKey>> key = settings::OpenUserSettings(); key.ok()) {
            settings = std::move(key).value();
            tokens = std::make_unique<settings::SettingsScreenCastTokens>(*settings);
        }
    }
    Result<std::unique_ptr<platform::ScreenBackend>> opened =
        platform::CreateScreenBackend(o.capture_method, {r.show_cursor, tokens.get()});
    if (!opened.ok()) return opened.error();
    std::unique_ptr<platform::ScreenBackend> backend = std::move(opened).value();
    r.region = o.region;
    auto shared = std::make_shared<std::unique_ptr<platform::ScreenBackend>>(std::move(backend));
    r.screen_backend = [shared] { return std::move(*shared); };
    return {};
}

Error AddCamera(const CliOptions& o, const std::optional<settings::RecordingChoices>& stored,
                PreparedRequest& out) {
    CameraChoice choice;
    choice.selector = o.camera.value_or(std::to_string(stored ? stored->camera_index : 0));
    choice.format = o.camera_format;
    choice.mirror = o.mirror.value_or(true);
    Result<engine::CameraRef> opened = OpenCamera(choice);
    if (!opened.ok()) return opened.error();
    out.camera = std::move(opened).value();
    engine::CCamera* camera = out.camera.get();
    // The mode set-up borrows the camera with a reference of its own, as from the preview window.
    out.request.acquire_camera = [camera] { return engine::CameraRef::Share(camera).release(); };
    return {};
}

}  // namespace

std::optional<settings::RecordingChoices> LoadStoredChoices(const SoundDeviceLists& devices) {
    Result<std::unique_ptr<settings::SettingsKey>> opened =
        settings::OpenUserSettings();  // says why on stderr
    if (!opened.ok()) {
        log::Warning("the stored settings cannot be opened; the recorder's defaults apply");
        return std::nullopt;
    }
    const std::unique_ptr<settings::SettingsKey>& key = *opened;
    const settings::DeviceCounts counts{static_cast<int>(devices.speakers.size()),
                                        static_cast<int>(devices.microphones.size()),
                                        static_cast<int>(platform::EnumerateCameras().size())};
    return settings::LoadRecordingChoices(*key, counts);
}

Error BuildRequest(const CliOptions& o, const std::optional<settings::RecordingChoices>& stored,
                   const SoundDeviceLists& devices, PreparedRequest& out) {
    engine::RecordingRequest& r = out.request;
    const settings::ModeChoices* mode = StoredMode(stored, o.mode);
    r.mode = o.mode;
    r.output_dir = o.output_dir.value_or(stored ? stored->output_folder : CurrentFolder());
    r.video_quality_slider =
        o.video_quality.value_or(mode && mode->video_quality ? static_cast<int>(mode->video_quality) : 55);
    r.audio_quality_slider =
        o.audio_quality.value_or(mode && mode->audio_quality ? static_cast<int>(mode->audio_quality) : 55);

    Result<SoundSelection> sound = ResolveSoundSources(SoundFromOptions(o, mode), devices);
    if (!sound.ok()) return sound.error();
    out.sound = std::move(sound).value();
    r.sound_sources = out.sound.entries;
    if (o.mode == RecordingMode::kSoundOnly && r.sound_sources.empty())
        return Error(ErrorCode::kInvalidArgument, "sound-only recording needs a speaker or a microphone");
    switch (o.mode) {
        case RecordingMode::kScreen:
            return AddScreen(o, stored, r);
        case RecordingMode::kCamera:
            return AddCamera(o, stored, out);
        case RecordingMode::kSoundOnly:
            return {};
    }
    return Error(ErrorCode::kInvalidArgument, "unknown recording mode");
}

}  // namespace vexa::cli
