// vexa-record: the command-line recorder. It drives the same Prepare / Start / stop path as the main
// window: read the choices into a RecordingRequest, prepare the session, start it, wait, and delete
// the session to finish the file.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/control_loop.h"
#include "cli/options.h"
#include "cli/request_builder.h"
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

void PrintStats(const vexa::engine::SessionStats& s, double stop_seconds) {
    std::printf(
        "{\"frames_captured\":%llu,\"frames_encoded\":%llu,\"frames_dropped\":%llu,\"cursor_records\":%llu,"
        "\"packets_written\":%llu,"
        "\"bytes_written\":%llu,\"write_errors\":%llu,\"encoder\":\"%s\",\"audio_encoder\":\"%s\","
        "\"cpu_seconds\":%.3f,\"stop_seconds\":%.3f}\n",
        static_cast<unsigned long long>(s.frames_captured.load()),
        static_cast<unsigned long long>(s.frames_encoded.load()),
        static_cast<unsigned long long>(s.frames_dropped.load()),
        static_cast<unsigned long long>(s.cursor_records.load()),
        static_cast<unsigned long long>(s.packets_written.load()),
        static_cast<unsigned long long>(s.bytes_written.load()),
        static_cast<unsigned long long>(s.write_errors.load()), s.video_encoder.c_str(),
        s.audio_encoder.c_str(), CpuSeconds(), stop_seconds);
}

int ListDevices() {
    const vexa::cli::SoundDeviceLists devices = vexa::cli::ListSoundDevices();
    vexa::cli::PrintSoundDevices(std::cout, devices);
    vexa::cli::ListCameras(std::cout);
    return 0;
}

int Record(const CliOptions& o) {
    const vexa::cli::SoundDeviceLists devices = vexa::cli::ListSoundDevices();
    vexa::cli::PreparedRequest prepared;
    std::string error;
    if (!vexa::cli::BuildRequest(o, vexa::cli::LoadStoredChoices(devices), devices, prepared, &error))
        return Fail(error);
    if (o.fps_text && vexa::engine::FramesPerSecondFromText(*o.fps_text) != std::atoi(o.fps_text->c_str()))
        std::fprintf(stderr, "vexa-record: frame rate '%s' is not 1..60; recording at 24\n",
                     o.fps_text->c_str());

    vexa::engine::SessionSlot slot;
    std::string path;
    if (!vexa::engine::Prepare(prepared.request, slot, &path))
        return Fail("preparing the recording failed (screen, camera, encoder or sound set-up)");
    if (!vexa::engine::Start(slot)) {
        slot.Take().reset();
        return Fail("starting the recording failed: cannot write '" + path + "'");
    }
    vexa::cli::RunControlLoop(slot, o.duration_seconds, [&](const std::string& line) {
        std::string message;
        if (!vexa::cli::ApplyVolumeCommand(line, prepared.sound, slot, &message))
            std::fprintf(stderr, "vexa-record: %s\n", message.c_str());
    });

    std::unique_ptr<vexa::engine::CCapture> session = slot.Take();
    const auto stats = session->SharedStats();
    const auto stop_begin = std::chrono::steady_clock::now();
    session.reset();  // the stop sequence: capture ends, encoders flush, the trailer is written
    const double stop_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - stop_begin).count();
    prepared.camera.reset();

    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return Fail("the file '" + path + "' was not written");
    if (stats->write_errors.load() > 0)
        std::fprintf(stderr, "vexa-record: %llu packets could not be written\n",
                     static_cast<unsigned long long>(stats->write_errors.load()));
    if (o.stats) PrintStats(*stats, stop_seconds);
    std::printf("%s\n", path.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(std::getenv("VEXA_VERBOSE") ? AV_LOG_INFO : AV_LOG_FATAL);
    if (!vexa::cli::BlockControlSignals()) return Fail("cannot set up signal handling");
    const vexa::cli::ParseResult parsed =
        vexa::cli::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "vexa-record: %s\n%s", parsed.error.c_str(), vexa::cli::UsageText());
        return 2;
    }
    if (parsed.options.help) {
        std::printf("%s", vexa::cli::UsageText());
        return 0;
    }
    if (parsed.options.list_devices) return ListDevices();
    return Record(parsed.options);
}
