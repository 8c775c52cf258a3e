// Command-line options of vexa-record. Parsing is pure: it fills CliOptions or says what is wrong.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/recording_params.h"
#include "platform/screen/screen_backend.h"

namespace vexa::cli {

struct CliOptions {
    engine::RecordingMode mode = engine::RecordingMode::kScreen;
    double duration_seconds = 0;  // 0 (not given): until SIGINT/SIGTERM; given, at least 1e-9
    std::optional<std::string> output_dir;
    std::optional<std::string> fps_text;  // as the frame-rate item's text
    std::optional<engine::RegionRect> region;
    std::optional<bool> show_cursor;
    std::optional<bool> constant_rate;  // one picture per frame period (for video editors)
    platform::MethodChoice capture_method = platform::MethodChoice::kAuto;
    bool no_sound = false;
    std::optional<int> video_quality;
    std::optional<int> audio_quality;
    bool list_devices = false;
    bool stats = false;
    bool help = false;
    // Sound sources and volumes: zero-based positions in the device lists, or device IDs.
    std::vector<std::string> speakers;
    std::vector<std::string> microphones;
    std::vector<std::string> volumes;  // "POS|ID=V"
    // Camera mode.
    std::optional<std::string> camera;
    std::optional<std::string> camera_format;  // "WxH@FPS"
    std::optional<bool> mirror;
};

struct ParseResult {
    CliOptions options;
    std::string error;  // empty when the arguments are fine
};

[[nodiscard]] ParseResult ParseOptions(const std::vector<std::string>& args);
[[nodiscard]] const char* UsageText();

}  // namespace vexa::cli
