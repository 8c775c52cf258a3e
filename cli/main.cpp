// vexa-record: the command-line recorder. It drives the same Prepare / Start / stop path as the main
// window: read the choices into a RecordingRequest, prepare the session, start it, wait, and delete
// the session to finish the file.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/control_loop.h"
#include "cli/options.h"
#include "engine/recording.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using vexa::cli::CliOptions;
using vexa::engine::RecordingMode;

int Fail(const std::string& message, int code = 1) {
    std::fprintf(stderr, "vexa-record: %s\n", message.c_str());
    return code;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string CurrentFolder() {
    std::vector<char> buf(4096);
    return getcwd(buf.data(), buf.size()) ? std::string(buf.data()) : std::string(".");
}

// The recording request of the screen mode from the options.
[[nodiscard]] bool BuildScreenRequest(const CliOptions& o, vexa::engine::RecordingRequest& r, std::string& error) {
    auto backend = vexa::platform::CreateX11ScreenBackend();
    if (!backend) {
        const char* display = std::getenv("DISPLAY");
        error = std::string("cannot open the X display '") + (display ? display : "") + "'";
        return false;
    }
    r.frame_rate_text = o.fps_text.value_or("24");
    r.show_cursor = o.show_cursor.value_or(true);
    r.video_quality_slider = o.video_quality.value_or(55);
    r.audio_quality_slider = o.audio_quality.value_or(55);
    r.region = o.region;
    auto shared = std::make_shared<std::unique_ptr<vexa::platform::ScreenBackend>>(std::move(backend));
    r.screen_backend = [shared] { return std::move(*shared); };
    return true;
}

void PrintStats(const vexa::engine::SessionStats& s, double stop_seconds) {
    std::printf(
        "{\"frames_captured\":%llu,\"frames_encoded\":%llu,\"cursor_records\":%llu,\"packets_written\":%llu,"
        "\"bytes_written\":%llu,\"write_errors\":%llu,\"encoder\":\"%s\",\"audio_encoder\":\"%s\","
        "\"cpu_seconds\":%.3f,\"stop_seconds\":%.3f}\n",
        static_cast<unsigned long long>(s.frames_captured.load()),
        static_cast<unsigned long long>(s.frames_encoded.load()),
        static_cast<unsigned long long>(s.cursor_records.load()),
        static_cast<unsigned long long>(s.packets_written.load()),
        static_cast<unsigned long long>(s.bytes_written.load()),
        static_cast<unsigned long long>(s.write_errors.load()), s.video_encoder.c_str(), s.audio_encoder.c_str(),
        CpuSeconds(), stop_seconds);
}

int Record(const CliOptions& o) {
    vexa::engine::RecordingRequest request;
    request.mode = o.mode;
    request.output_dir = o.output_dir.value_or(CurrentFolder());
    std::string error;
    switch (o.mode) {
        case RecordingMode::kScreen:
            if (!BuildScreenRequest(o, request, error)) return Fail(error);
            if (o.fps_text && vexa::engine::FramesPerSecondFromText(*o.fps_text) != std::atoi(o.fps_text->c_str()))
                std::fprintf(stderr, "vexa-record: frame rate '%s' is not 1..60; recording at 24\n",
                             o.fps_text->c_str());
            break;
        case RecordingMode::kSoundOnly:
            return Fail("sound-only recording is not available in this build");
        case RecordingMode::kCamera:
            return Fail("camera recording is not available in this build");
    }

    vexa::engine::SessionSlot slot;
    std::string path;
    if (!vexa::engine::Prepare(request, slot, &path))
        return Fail("preparing the recording failed (screen, encoder or sound set-up)");
    if (!vexa::engine::Start(slot)) {
        slot.Take().reset();
        return Fail("starting the recording failed: cannot write '" + path + "'");
    }
    vexa::cli::RunControlLoop(slot, o.duration_seconds, nullptr);

    std::unique_ptr<vexa::engine::CCapture> session = slot.Take();
    const auto stats = session->SharedStats();
    const auto stop_begin = std::chrono::steady_clock::now();
    session.reset();  // the stop sequence: capture ends, encoders flush, the trailer is written
    const double stop_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - stop_begin).count();

    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return Fail("the file '" + path + "' was not written");
    if (stats->write_errors.load() > 0) std::fprintf(stderr, "vexa-record: %llu packets could not be written\n",
                                                     static_cast<unsigned long long>(stats->write_errors.load()));
    if (o.stats) PrintStats(*stats, stop_seconds);
    std::printf("%s\n", path.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(std::getenv("VEXA_VERBOSE") ? AV_LOG_INFO : AV_LOG_ERROR);
    if (!vexa::cli::BlockControlSignals()) return Fail("cannot set up signal handling");
    const vexa::cli::ParseResult parsed = vexa::cli::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "vexa-record: %s\n%s", parsed.error.c_str(), vexa::cli::UsageText());
        return 2;
    }
    if (parsed.options.help) {
        std::printf("%s", vexa::cli::UsageText());
        return 0;
    }
    return Record(parsed.options);
}
