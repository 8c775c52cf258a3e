// Recordings that survive, end to end with vexa-record on the virtual display and the test sound
// server: a process killed mid-recording, a disk that fills up, a speaker that disappears and a
// camera unplugged while recording. Each file is read back with FFmpeg.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "tests/support/media_probe.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace {

using vexa::test::CommandResult;
using vexa::test::LastLine;
using vexa::test::ProbedFile;
using vexa::test::RunCommand;

// Root mean square of the decoded sound between two times in seconds.
double Rms(const vexa::test::DecodedSound& sound, double from, double to) {
    const auto first = static_cast<size_t>(from * sound.sample_rate);
    const auto last = std::min(sound.samples.size(), static_cast<size_t>(to * sound.sample_rate));
    if (last <= first) return 0;
    double sum = 0;
    for (size_t i = first; i < last; ++i) sum += static_cast<double>(sound.samples[i]) * sound.samples[i];
    return std::sqrt(sum / static_cast<double>(last - first));
}

// The number after the first `label` in `text` (a line "label 1712345678.123456789"); 0 without one.
double TimeAfter(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    return at == std::string::npos ? 0 : std::strtod(text.c_str() + at + label.size(), nullptr);
}

double Seconds(const ProbedFile& file, int stream, int64_t pts) {
    return static_cast<double>(pts) * file.streams[stream].tb_num / file.streams[stream].tb_den;
}

class Survival : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") || !std::getenv("PULSE_SERVER"))
            GTEST_SKIP() << "needs the virtual display and the sound server (tools/with-test-env.sh)";
    }
    // vexa-record with a private log folder, as a shell word list.
    std::string Recorder() const {
        return "XDG_STATE_HOME=" + homes_.File("state") + " XDG_CONFIG_HOME=" + homes_.File("config") + " " +
               VEXA_RECORD_PATH;
    }
    std::string Log() const {
        return vexa::test::ReadFile(homes_.File("state/Vexa/VexaRecorder/VexaRecorder.log"));
    }
    std::string Dir() const { return folder_.Path().string(); }

    vexa::test::TempFolder folder_;
    vexa::test::TempFolder homes_;
};

// Killed 20 s into a recording: the file holds every picture up to about a second before, and the
// sound up to what its own pipeline had passed on (a loaded machine delays the sound server's
// delivery by a second or two), without the stop ever having run.
TEST_F(Survival, AKilledRecordingKeepsAllButItsLastSecond) {
    const std::string cmd = std::string(VEXA_MOTION_PATH) + " --rate 30 & m=$!; sleep 0.2; " + Recorder() +
                            " --duration 60 --fps 30 --region 0,0,639,479 --mic vexa_mic --output-dir " +
                            Dir() +
                            " >/dev/null 2>&1 & r=$!; "
                            "for i in $(seq 1 1000); do ls " +
                            Dir() +
                            "/*.mp4 >/dev/null 2>&1 && break; sleep 0.01; done; "
                            "sleep 20; kill -9 $r; wait $r; kill $m; ls " +
                            Dir() + "/*.mp4";
    const CommandResult r = RunCommand(cmd);
    const std::string path = LastLine(r.out);
    const auto file = vexa::test::ProbeFile(path);
    ASSERT_TRUE(file) << "no readable file after the kill: " << r.out;
    const int video = file->FirstStreamOf(true);
    ASSERT_GE(video, 0);
    const auto packets = file->PacketsOf(video);
    ASSERT_FALSE(packets.empty());
    EXPECT_GE(Seconds(*file, video, packets.back().pts), 19.0);
    EXPECT_LT(Seconds(*file, video, packets.back().pts), 20.5);
    EXPECT_GE(vexa::test::DecodeVideo(path).size(), packets.size() - 1);

    const auto sound = vexa::test::DecodeSound(path);
    ASSERT_TRUE(sound);
    ASSERT_GT(sound->sample_rate, 0);
    EXPECT_GE(static_cast<double>(sound->samples.size()) / sound->sample_rate, 17.0);
    EXPECT_GT(Rms(*sound, 2.0, 17.0), 0.05) << "the microphone's tone is missing before the kill";
}

// The disk fills up: the recording stops as if asked, says why, and exits 1; the file holds its whole
// fragments and plays without an error. The disk is a 1 MiB tmpfs in a mount namespace of its own.
TEST_F(Survival, AFullDiskStopsTheRecordingWithItsCauseAndLeavesAPlayableFile) {
    const std::string full = folder_.File("full");
    if (RunCommand("mkdir -p " + full + " && unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs " + full +
                   "' 2>&1")
            .exit_code != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root and unshare -m)";
    const std::string cmd = "unshare -m sh -c '" + std::string("mount -t tmpfs -o size=1m tmpfs ") + full +
                            " || exit 99; " + VEXA_MOTION_PATH + " --rate 30 & m=$!; sleep 0.2; " +
                            Recorder() + " --duration 60 --fps 30 --mic vexa_mic --output-dir " + full +
                            " 2>" + Dir() + "/err; rc=$?; kill $m; cp " + full + "/*.mp4 " + Dir() +
                            "/; exit $rc'";
    const CommandResult r = RunCommand(cmd);
    ASSERT_NE(r.exit_code, 99) << "the tmpfs could not be mounted";
    EXPECT_EQ(r.exit_code, 1) << r.out;
    const std::string inside = LastLine(r.out);
    const std::string name = inside.substr(inside.rfind('/') + 1);
    const std::string err = vexa::test::ReadFile(Dir() + "/err");
    EXPECT_EQ(LastLine(err), "vexa-record: the recording stopped early: cannot write to " + full + "/" +
                                 name + ": No space left on device");
    EXPECT_NE(Log().find("the recording stops by itself: cannot write to " + full + "/" + name),
              std::string::npos);

    const std::string path = Dir() + "/" + name;
    const auto file = vexa::test::ProbeFile(path);
    ASSERT_TRUE(file) << path;
    const int video = file->FirstStreamOf(true);
    ASSERT_GE(video, 0);
    EXPECT_GE(file->PacketsOf(video).size(), 10u);
    EXPECT_FALSE(vexa::test::DecodeVideo(path).empty());
    EXPECT_EQ(vexa::test::FfprobeDecodeErrors(path), "") << "the file ends with part of a fragment";
    const auto sound = vexa::test::DecodeSound(path);
    ASSERT_TRUE(sound);
    EXPECT_GT(Rms(*sound, 0, static_cast<double>(sound->samples.size()) / sound->sample_rate), 0.02);
}

// A speaker removed from the sound server mid-recording: silence from there to the end, a file of
// the full length, and a normal stop. The sink is made for this test alone. The shell waits for what
// it needs (the sink playing, the recorder's "recording started") and says when it launched the
// recorder and when the removal was done: the removal lies at most that far into the recording.
TEST_F(Survival, ARemovedSpeakerBecomesSilenceAndTheFileKeepsItsLength) {
    const std::string sink = "vexa_gone_" + std::to_string(getpid());
    const std::string log = homes_.File("state/Vexa/VexaRecorder/VexaRecorder.log");
    const std::string cmd =
        "m=$(pactl load-module module-null-sink sink_name=" + sink +
        " rate=48000) || exit 99; pacat --latency-msec=50 --raw --format=s16le --rate=48000 "
        "--channels=2 --device=" +
        sink +
        " /dev/urandom & p=$!; "
        "for i in $(seq 1 400); do pactl list short sinks | grep " +
        sink +
        " | grep -q RUNNING && break; sleep 0.05; done; "
        "echo launched $(date +%s.%N); " +
        Recorder() + " --mode audio --speaker " + sink + " --duration 8 --output-dir " + Dir() +
        " & r=$!; "
        "for i in $(seq 1 600); do grep -q 'recording started' " +
        log +
        " 2>/dev/null && break; sleep 0.05; done; "
        "sleep 2.2; pactl unload-module $m; echo removed $(date +%s.%N); "
        "wait $r; rc=$?; kill $p; exit $rc";
    const CommandResult r = RunCommand(cmd);
    ASSERT_NE(r.exit_code, 99) << "no null sink could be loaded";
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const double launched = TimeAfter(r.out, "launched "), removed = TimeAfter(r.out, "removed ");
    ASSERT_GT(launched, 0) << r.out;
    ASSERT_GT(removed, launched) << r.out;
    const double latest_removal = removed - launched;  // in seconds of the recording, at most
    ASSERT_LT(latest_removal, 6.5) << "the recorder started too late to judge: " << r.out;

    const std::string path = LastLine(r.out);
    const auto file = vexa::test::ProbeFile(path);
    ASSERT_TRUE(file) << path;
    ASSERT_EQ(file->streams.size(), 1u);
    EXPECT_EQ(file->streams[0].codec, "ac3");
    EXPECT_NEAR(file->duration_seconds, 8.0, 0.2);
    const auto sound = vexa::test::DecodeSound(path);
    ASSERT_TRUE(sound);
    EXPECT_NEAR(static_cast<double>(sound->samples.size()) / sound->sample_rate, 8.0, 0.2);
    // The removal came at least 2.2 s into the recording.
    EXPECT_GT(Rms(*sound, 1.0, 2.0), 0.05) << "the noise played before the removal is missing";
    EXPECT_LT(Rms(*sound, latest_removal + 0.5, 7.8), 1e-3) << "the removed speaker is not silence";
}

// The camera goes away after a second of pictures: its stream ends there, the sound goes on to the
// end, and the recording stops normally.
TEST_F(Survival, AnUnpluggedCameraEndsItsStreamAndTheRecordingGoesOn) {
    const std::string cmd =
        "VEXA_VIRTUAL_CAMERA=YUYV:320x240@30 VEXA_VIRTUAL_CAMERA_UNPLUG=30 " + Recorder() +
        " --mode camera --camera 'Virtual Camera' --mic vexa_mic --duration 6 --output-dir " + Dir() +
        " 2>&1";
    const CommandResult r = RunCommand(cmd);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string path = LastLine(r.out);
    const auto file = vexa::test::ProbeFile(path);
    ASSERT_TRUE(file) << path;
    const int video = file->FirstStreamOf(true);
    const int audio = file->FirstStreamOf(false);
    ASSERT_GE(video, 0);
    ASSERT_GE(audio, 0);
    EXPECT_LE(file->PacketsOf(video).size(), 30u);
    // Thirty pictures at 30 a second take about a second; on a loaded machine the first few may come
    // before the start and are not recorded, so most of that second, not all of it. The camera was
    // given up three seconds after its last picture, before the end.
    EXPECT_GE(file->StreamEndSeconds(video), 0.5);
    EXPECT_LE(file->StreamEndSeconds(video), 3.0);
    EXPECT_NEAR(file->StreamEndSeconds(audio), 6.0, 0.2);
    EXPECT_FALSE(vexa::test::DecodeVideo(path).empty());
    EXPECT_NE(Log().find("has delivered no picture for 3 s"), std::string::npos);
}

}  // namespace
