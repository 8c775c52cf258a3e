#include "cli/options.h"

#include <charconv>
#include <cstdio>
#include <functional>
#include <map>

namespace vexa::cli {
namespace {

constexpr double kShortestDurationSeconds = 1e-9;

bool ParseInt(const std::string& text, int& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc{} && end == text.data() + text.size();
}

bool ParseRegion(const std::string& text, engine::RegionRect& r) {
    int v[4];
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t comma = text.find(',', start);
        const bool last = i == 3;
        if (last != (comma == std::string::npos)) return false;
        if (!ParseInt(text.substr(start, last ? std::string::npos : comma - start), v[i])) return false;
        start = comma + 1;
    }
    if (v[2] < v[0] || v[3] < v[1]) return false;
    r = {v[0], v[1], v[2], v[3]};
    return true;
}

bool ParseCaptureMethod(const std::string& text, platform::MethodChoice& out) {
    static const std::map<std::string, platform::MethodChoice> kNames = {
        {"auto", platform::MethodChoice::kAuto},
        {"damage", platform::MethodChoice::kDamage},
        {"poll", platform::MethodChoice::kPolling},
        {"portal", platform::MethodChoice::kPortal},
    };
    const auto found = kNames.find(text);
    if (found == kNames.end()) return false;
    out = found->second;
    return true;
}

bool ParseQuality(const std::string& text, std::optional<int>& out) {
    int q = 0;
    if (!ParseInt(text, q) || q < 1 || q > 100) return false;
    out = q;
    return true;
}

}  // namespace

const char* UsageText() {
    return "usage: vexa-record [--mode screen|audio|camera] [--duration SECONDS] [--output-dir DIR]\n"
           "                   [--fps N] [--constant-rate] [--region L,T,R,B] [--no-cursor] [--no-sound]\n"
           "                   [--capture-method auto|damage|poll|portal]\n"
           "                   [--video-quality Q] [--audio-quality Q] [--speaker POS|ID]... [--mic "
           "POS|ID]...\n"
           "                   [--volume POS|ID=V]... [--camera POS|NAME] [--camera-format WxH@FPS]\n"
           "                   [--mirror|--no-mirror] [--list-devices] [--stats]\n"
           "Records for --duration seconds (more than zero), or without it until SIGINT/SIGTERM\n"
           "arrives; SIGUSR1 toggles pause.\n"
           "--constant-rate: one picture per frame period (for video editors) instead of one each time\n"
           "the screen changes; --variable-rate the latter. Without either, the stored setting.\n"
           "Prints the written file's path as the last line.\n"
           "--capture-method: auto records a Wayland desktop through its screen-sharing portal, and an\n"
           "X server through its DAMAGE where it is offered, else by polling at the frame rate; damage\n"
           "or poll forces an X11 method (poll for a server whose DAMAGE misbehaves), portal the portal.\n";
}

ParseResult ParseOptions(const std::vector<std::string>& args) {
    ParseResult result;
    CliOptions& o = result.options;
    using Setter = std::function<bool(const std::string&)>;
    const std::map<std::string, Setter> with_value = {
        {"--mode",
         [&](const std::string& v) {
             if (v == "screen")
                 o.mode = engine::RecordingMode::kScreen;
             else if (v == "audio")
                 o.mode = engine::RecordingMode::kSoundOnly;
             else if (v == "camera")
                 o.mode = engine::RecordingMode::kCamera;
             else
                 return false;
             return true;
         }},
        {"--duration",
         [&](const std::string& v) {
             // At least the nanosecond the recording's clock counts in: a duration that rounds to
             // nothing would mean no limit. Leaving the option out records until a signal.
             char* end = nullptr;
             o.duration_seconds = std::strtod(v.c_str(), &end);
             return end && *end == '\0' && !v.empty() && o.duration_seconds >= kShortestDurationSeconds &&
                    o.duration_seconds < 1e7;
         }},
        {"--output-dir", [&](const std::string& v) { return !v.empty() && (o.output_dir = v, true); }},
        {"--fps", [&](const std::string& v) { return (o.fps_text = v, true); }},
        {"--region",
         [&](const std::string& v) {
             engine::RegionRect r;
             return ParseRegion(v, r) && (o.region = r, true);
         }},
        {"--capture-method", [&](const std::string& v) { return ParseCaptureMethod(v, o.capture_method); }},
        {"--video-quality", [&](const std::string& v) { return ParseQuality(v, o.video_quality); }},
        {"--audio-quality", [&](const std::string& v) { return ParseQuality(v, o.audio_quality); }},
        {"--speaker", [&](const std::string& v) { return (o.speakers.push_back(v), true); }},
        {"--mic", [&](const std::string& v) { return (o.microphones.push_back(v), true); }},
        {"--volume",
         [&](const std::string& v) {
             return v.find('=') != std::string::npos && (o.volumes.push_back(v), true);
         }},
        {"--camera", [&](const std::string& v) { return (o.camera = v, true); }},
        {"--camera-format", [&](const std::string& v) { return (o.camera_format = v, true); }},
    };
    const std::map<std::string, std::function<void()>> flags = {
        {"--no-cursor", [&] { o.show_cursor = false; }},
        {"--cursor", [&] { o.show_cursor = true; }},
        {"--constant-rate", [&] { o.constant_rate = true; }},
        {"--variable-rate", [&] { o.constant_rate = false; }},
        {"--no-sound", [&] { o.no_sound = true; }},
        {"--list-devices", [&] { o.list_devices = true; }},
        {"--stats", [&] { o.stats = true; }},
        {"--mirror", [&] { o.mirror = true; }},
        {"--no-mirror", [&] { o.mirror = false; }},
        {"--help", [&] { o.help = true; }},
        {"-h", [&] { o.help = true; }},
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (auto f = flags.find(arg); f != flags.end()) {
            f->second();
            continue;
        }
        auto s = with_value.find(arg);
        if (s == with_value.end()) {
            result.error = "unknown option '" + arg + "'";
            return result;
        }
        if (i + 1 >= args.size()) {
            result.error = arg + " needs a value";
            return result;
        }
        const std::string& value = args[++i];
        if (!s->second(value)) {
            result.error = "bad value '" + value + "' for " + arg;
            return result;
        }
    }
    return result;
}

}  // namespace vexa::cli
