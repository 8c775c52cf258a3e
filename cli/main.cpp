// vexa-record: the command-line recorder. It drives the same Prepare / Start / stop path as the main
// window: read the choices into a RecordingRequest, prepare the session, start it, wait, and delete
// the session to finish the file. A failure is one line "vexa-record: <what failed and why>" and
// exit code 1; the log (platform/log/log.h) keeps it with the recording's set-up and statistics. A
// recording whose file cannot be written (a full disk) stops as if asked, prints its path like a
// finished one, and then fails with the cause. A whole recording whose finishing copy failed (it
// stays fragmented) prints its path and exits with kExitFragmented.
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <json/json.h>

#include "cli/control_loop.h"
#include "cli/options.h"
#include "cli/request_builder.h"
#include "engine/codec_log.h"
#include "engine/recording.h"
#include "platform/log/log.h"

namespace {

using vexa::Error;
using vexa::ErrorCode;
using vexa::cli::CliOptions;
using vexa::engine::RecordingMode;

// The exit code of a recording that is whole but stays fragmented.
constexpr int kExitFragmented = 3;

// Reports a failure where it ends the program: once on standard error, once in the log.
int Fail(const Error& error) {
    vexa::log::Failure(error);
    std::fprintf(stderr, "vexa-record: %s\n", error.message().c_str());
    return 1;
}

// Says on standard error and in the log what goes wrong without stopping the recording.
void Warn(const std::string& message) {
    vexa::log::Warning(message);
    std::fprintf(stderr, "vexa-record: %s\n", message.c_str());
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The statistics as one JSON object, as --stats prints them and the log keeps them.
std::string StatsJson(const vexa::engine::SessionStats& s, double stop_seconds) {
    Json::Value stats(Json::objectValue);
    auto count = [](const auto& counter) { return Json::UInt64{counter.load()}; };
    stats["frames_captured"] = count(s.frames_captured);
    stats["frames_encoded"] = count(s.frames_encoded);
    stats["frames_dropped"] = count(s.frames_dropped);
    stats["frames_replaced"] = count(s.frames_replaced);
    stats["cursor_records"] = count(s.cursor_records);
    stats["pixels_converted"] = count(s.pixels_converted);
    stats["packets_written"] = count(s.packets_written);
    stats["bytes_written"] = count(s.bytes_written);
    stats["write_errors"] = count(s.write_errors);
    stats["encoder"] = s.video_encoder;
    stats["audio_encoder"] = s.audio_encoder;
    stats["cpu_seconds"] = CpuSeconds();
    stats["stop_seconds"] = stop_seconds;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";  // one line
    writer["precision"] = 3;
    writer["precisionType"] = "decimal";
    return Json::writeString(writer, stats);
}

std::string CommandLine(int argc, char** argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) line.append(i ? " " : "").append(argv[i]);
    return line;
}

int ListDevices() {
    const vexa::cli::SoundDeviceLists devices = vexa::cli::ListSoundDevices();
    vexa::cli::PrintSoundDevices(std::cout, devices);
    vexa::cli::ListCameras(std::cout);
    return 0;
}

int Record(const CliOptions& o) {
    const vexa::cli::SoundDeviceLists devices = vexa::cli::ListSoundDevices();
    if (!devices.server.ok()) vexa::log::Warning("sound devices unavailable: " + devices.server.message());
    vexa::cli::PreparedRequest prepared;
    if (Error e = vexa::cli::BuildRequest(o, vexa::cli::LoadStoredChoices(devices), devices, prepared);
        !e.ok())
        return Fail(e);
    if (o.fps_text && vexa::engine::FramesPerSecondFromText(*o.fps_text) != std::atoi(o.fps_text->c_str()))
        Warn("frame rate '" + *o.fps_text + "' is not 1..60; recording at 24");

    vexa::engine::SessionSlot slot;
    vexa::Result<std::string> prepared_path = vexa::engine::Prepare(prepared.request, slot);
    if (!prepared_path.ok()) return Fail(prepared_path.error());
    if (Error e = vexa::engine::Start(slot); !e.ok()) {
        slot.Take().reset();
        return Fail(e);
    }
    const std::string path = slot.Peek()->Path();  // numbered when the prepared name was taken
    const int ended_by = vexa::cli::RunControlLoop(slot, o.duration_seconds, [&](const std::string& line) {
        if (Error e = vexa::cli::ApplyVolumeCommand(line, prepared.sound, slot); !e.ok()) Warn(e.message());
    });

    std::unique_ptr<vexa::engine::CCapture> session = slot.Take();
    const auto stats = session->SharedStats();
    const auto stop_begin = std::chrono::steady_clock::now();
    session.reset();  // the stop sequence: capture ends, encoders flush, the trailer is written
    const double stop_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - stop_begin).count();
    prepared.camera.reset();

    const vexa::engine::RecordingOutcome outcome = vexa::engine::JudgeRecording(path, *stats);
    const bool ended_itself = !stats->failure.Get().ok();
    if (outcome.file_kept) {
        const std::string json = StatsJson(*stats, stop_seconds);
        const char* how = ended_by == vexa::cli::kEndedByFailure ? "ended by itself"
                          : ended_by                             ? strsignal(ended_by)
                                                                 : "duration reached";
        vexa::log::Writef(outcome.failure.ok() ? vexa::log::Level::kInfo : vexa::log::Level::kWarning,
                          "recording %s (%s): %s, %lld bytes",
                          outcome.failure.ok() ? "finished" : "cut short", how, path.c_str(),
                          static_cast<long long>(outcome.bytes));
        vexa::log::Info("statistics: " + json);
        if (o.stats) std::printf("%s\n", json.c_str());
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
    }
    // A kept file holds what was written before the failure; the caller learns that it is cut short.
    if (!outcome.failure.ok() && !ended_itself) return Fail(outcome.failure);
    if (!outcome.failure.ok()) {
        const char* what = ended_by == vexa::cli::kEndedByFailure ? "the recording stopped early"
                                                                  : "the recording could not be finished";
        return Fail(outcome.failure.Within(what));
    }
    if (!outcome.unfinished.ok()) {  // the stop sequence has logged why
        std::fprintf(stderr, "vexa-record: %s\n",
                     outcome.unfinished.Within("the recording stays fragmented").message().c_str());
        return kExitFragmented;
    }
    if (stats->write_errors.load() > 0)
        Warn(std::to_string(stats->write_errors.load()) + " packets could not be written to " + path);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    vexa::engine::SetCodecLogLevelFromEnvironment();
    if (Error e = vexa::log::OpenDefaultLog(); !e.ok())
        std::fprintf(stderr, "vexa-record: warning: recording without a log: %s\n", e.message().c_str());
    vexa::log::Info(CommandLine(argc, argv));
    if (!vexa::cli::BlockControlSignals())
        return Fail(Error(ErrorCode::kInternal, "cannot set up signal handling"));
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
