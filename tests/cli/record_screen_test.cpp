// vexa-record end to end on the virtual display: real X11 capture, the encoder and the file; its
// one-line failures and the log it keeps.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <sstream>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "private_x_server.h"
#include "tests/support/media_probe.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_until.h"
#include "x11_painter.h"

namespace {

using vexa::test::CommandResult;
using vexa::test::LastLine;
using vexa::test::RunCommand;

// Runs vexa-record with the arguments through the shell, with the display's content changing ten
// times a second meanwhile. env is put before the command ("XDG_STATE_HOME=/x").
CommandResult RunRecorder(const std::string& args, bool animate = true, const std::string& env = "") {
    std::string cmd;
    if (animate) cmd += std::string(VEXA_MOTION_PATH) + " --rate 10 & m=$!; sleep 0.2; ";
    cmd += env + " " + std::string(VEXA_RECORD_PATH) + " " + args + " 2>&1; rc=$?; ";
    if (animate) cmd += "kill $m; ";
    cmd += "exit $rc";
    return RunCommand(cmd);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class RecordScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs the virtual display (tools/with-test-env.sh)";
    }
    // A private state folder (the log) and settings folder for the run.
    std::string PrivateHomes() const {
        return "XDG_STATE_HOME=" + homes_.File("state") + " XDG_CONFIG_HOME=" + homes_.File("config");
    }
    std::vector<std::string> LogLines() const {
        return SplitLines(vexa::test::ReadFile(homes_.File("state/Vexa/VexaRecorder/VexaRecorder.log")));
    }
    // The log lines that contain text.
    std::vector<std::string> LogLinesWith(const std::string& text) const {
        std::vector<std::string> found;
        for (const std::string& line : LogLines())
            if (line.find(text) != std::string::npos) found.push_back(line);
        return found;
    }
    vexa::test::TempFolder folder_;
    vexa::test::TempFolder homes_;
};

// The region is inclusive (1365 × 767 pixels here) and an odd size is evened for the encoder.
TEST_F(RecordScreen, ThreeSecondsOfChangingContentInARegionMakeAPlayableFile) {
    CommandResult r = RunRecorder("--duration 3 --no-sound --region 100,50,1464,816 --output-dir " +
                                  folder_.Path().string());
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string path = LastLine(r.out);
    auto file = vexa::test::ProbeFile(path);
    ASSERT_TRUE(file) << path;
    ASSERT_EQ(file->streams.size(), 1u);
    EXPECT_EQ(file->streams[0].codec, "h264");
    EXPECT_EQ(file->streams[0].width, 1366);
    EXPECT_EQ(file->streams[0].height, 768);
    EXPECT_NEAR(file->StreamEndSeconds(0), 3.0, 0.2);
    EXPECT_GE(file->PacketsOf(0).size(), 10u);  // the colour changed about 30 times
}

TEST_F(RecordScreen, StatsLineAndStopBySignal) {
    int out_pipe[2];
    ASSERT_EQ(pipe(out_pipe), 0);
    const std::string dir = folder_.Path().string();
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(out_pipe[1], STDOUT_FILENO);
        close(out_pipe[0]);
        execl(VEXA_RECORD_PATH, VEXA_RECORD_PATH, "--no-sound", "--stats", "--output-dir", dir.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out_pipe[1]);
    // The recorder takes the signal once it records (its file exists); before that, on a busy
    // machine, SIGINT would end it unprepared.
    for (int i = 0; i < 500 && folder_.Files().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ASSERT_EQ(kill(pid, SIGINT), 0);
    std::string out;
    std::array<char, 512> buf{};
    for (ssize_t n; (n = read(out_pipe[0], buf.data(), buf.size())) > 0;)
        out.append(buf.data(), static_cast<size_t>(n));
    close(out_pipe[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << out;
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
    EXPECT_NE(out.find("\"frames_captured\":"), std::string::npos) << out;
    EXPECT_NE(out.find("\"encoder\":\""), std::string::npos) << out;
    auto file = vexa::test::ProbeFile(LastLine(out));
    ASSERT_TRUE(file) << out;
    EXPECT_FALSE(file->packets.empty());
    ASSERT_EQ(file->streams.size(), 1u);  // without a region: the whole screen
    EXPECT_EQ(file->streams[0].width, 1920);
    EXPECT_EQ(file->streams[0].height, 1080);
}

// A screen of its own grows from 960x540 to 1920x1080 while vexa-record records all of it, with each
// method forced: the method and the crop are chosen again, and the last picture (scaled into the
// 960x540 of the start) shows what was drawn on the new right half.
TEST_F(RecordScreen, ScreenThatGrowsIsRecordedWholeWithEitherMethod) {
    if (!vexa::platform::testing::XvfbAvailable()) GTEST_SKIP() << "Xvfb is not installed";
    for (const char* method : {"poll", "damage"}) {
        SCOPED_TRACE(method);
        vexa::platform::testing::PrivateXServer server;
        ASSERT_TRUE(server.Running());
        const std::string xrandr = "DISPLAY=" + std::string(server.Name()) + " xrandr ";
        ASSERT_EQ(std::system((xrandr + "--newmode 960x540 40 960 992 1088 1216 540 543 548 562 && " +
                               xrandr + "--addmode screen 960x540 && " + xrandr +
                               "--output screen --mode 960x540 --fb 960x540")
                                  .c_str()),
                  0);
        vexa::platform::testing::Painter painter(server.Name());
        ASSERT_TRUE(painter.Valid());
        painter.Fill(0, 0, 960, 540, 0x000000);

        const std::string cmd =
            "DISPLAY=" + std::string(server.Name()) + " " + VEXA_RECORD_PATH + " --capture-method " + method +
            " --duration 3 --no-sound --no-cursor --output-dir " + folder_.Path().string() + " 2>&1";
        CommandResult r;
        const size_t files_before = folder_.Files().size();
        std::thread recorder([&] { r = RunCommand(cmd); });
        // The screen grows once the recording runs: its file exists only after the set-up chose the
        // method and the crop at the old size.
        const bool recording = vexa::test::WaitUntil([&] { return folder_.Files().size() > files_before; });
        const int grown = std::system((xrandr + "--output screen --mode 1920x1080 --fb 1920x1080").c_str());
        painter.Fill(0, 0, 960, 1080, 0x000000);
        painter.Fill(960, 0, 960, 1080, 0xFFFFFF);
        recorder.join();
        ASSERT_TRUE(recording) << r.out;
        ASSERT_EQ(grown, 0);
        ASSERT_EQ(r.exit_code, 0) << r.out;

        const auto pictures = vexa::test::DecodeVideo(LastLine(r.out));
        ASSERT_FALSE(pictures.empty()) << r.out;
        const vexa::test::GreyPicture& last = pictures.back();
        ASSERT_EQ(last.width, 960);
        EXPECT_GT(last.At(720, 270), 200) << "the new right half";
        EXPECT_LT(last.At(240, 270), 50) << "the left half";
    }
}

TEST_F(RecordScreen, AFolderThatCannotBeMadeIsNamedOnceOnStderrAndOnceInTheLog) {
    const std::string parent_is_a_file = folder_.File("plain") + "/recordings";
    vexa::test::WriteFile(folder_.File("plain"), "not a folder");
    const std::string expected = "cannot create folder " + parent_is_a_file + ": Not a directory";
    CommandResult r =
        RunRecorder("--duration 1 --no-sound --output-dir " + parent_is_a_file, false, PrivateHomes());
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_EQ(r.out, "vexa-record: " + expected + "\n");
    const auto logged = LogLinesWith(expected);
    ASSERT_EQ(logged.size(), 1u) << vexa::test::ReadFile(
        homes_.File("state/Vexa/VexaRecorder/VexaRecorder.log"));
    EXPECT_NE(logged[0].find(" vexa-record] ERROR " + expected + " (invalid argument)"), std::string::npos)
        << logged[0];

    r = RunRecorder("--duration 1 --no-sound --output-dir /proc/vexa-no-such/dir", false, PrivateHomes());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "vexa-record: cannot create folder /proc/vexa-no-such/dir: No such file or directory\n");
}

// The folder exists but takes no files (sysfs refuses even root): the start fails on the file.
TEST_F(RecordScreen, AFileThatCannotBeWrittenFailsTheStartWithItsPathAndReason) {
    CommandResult r = RunRecorder("--duration 1 --no-sound --output-dir /sys", false, PrivateHomes());
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_EQ(r.out.rfind("vexa-record: cannot open output file /sys/", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(".mp4: Permission denied\n"), std::string::npos) << r.out;
    EXPECT_EQ(SplitLines(r.out).size(), 1u) << r.out;
    EXPECT_EQ(LogLinesWith("ERROR cannot open output file /sys/").size(), 1u);
    EXPECT_EQ(LogLinesWith("screen stream: ").size(), 1u);  // the set-up before it went well
}

TEST_F(RecordScreen, ASoundDeviceThatIsNotThereIsNamed) {
    CommandResult r = RunRecorder(
        "--duration 1 --mic vexa_no_such_mic --output-dir " + folder_.Path().string(), false, PrivateHomes());
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_EQ(r.out, "vexa-record: no microphone \"vexa_no_such_mic\"\n");
    EXPECT_TRUE(folder_.Files().empty());
}

TEST_F(RecordScreen, NoDisplayIsAClearError) {
    CommandResult r =
        RunRecorder("--duration 1 --no-sound --output-dir " + folder_.Path().string() + " DISPLAY=", false);
    EXPECT_EQ(r.exit_code, 2);  // an unknown argument first
    r = RunRecorder("--duration 1 --no-sound", false, "env -u DISPLAY " + PrivateHomes());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "vexa-record: cannot open X display (DISPLAY is not set)\n");
    r = RunRecorder("--duration 1 --no-sound", false, PrivateHomes() + " DISPLAY=:4711");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "vexa-record: cannot open X display :4711\n");
    EXPECT_EQ(LogLinesWith("ERROR cannot open X display").size(), 2u);
}

TEST_F(RecordScreen, ALogThatCannotBeOpenedIsOneWarningAndTheRunGoesOn) {
    vexa::test::WriteFile(homes_.File("state"), "a file where the state folder belongs");
    CommandResult r = RunRecorder("--duration 1 --no-sound", false, PrivateHomes() + " DISPLAY=:4711");
    EXPECT_EQ(r.exit_code, 1);
    const auto lines = SplitLines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0], "vexa-record: warning: recording without a log: cannot create folder " +
                            homes_.File("state") + "/Vexa: Not a directory");
    EXPECT_EQ(lines[1], "vexa-record: cannot open X display :4711");
}

// Every second of the next minute has a file of its name: the recording takes a numbered name, says
// which, and leaves the other file as it was.
TEST_F(RecordScreen, ARecordingNeverOverwritesAFileOfItsNameButTakesTheNextNumber) {
    for (std::time_t t = std::time(nullptr), end = t + 60; t <= end; ++t) {
        char name[32];
        std::tm local{};
        std::strftime(name, sizeof name, "%Y%m%d_%H%M%S.mp4", localtime_r(&t, &local));
        vexa::test::WriteFile(folder_.Path() / name, "taken");
    }
    CommandResult r = RunRecorder(
        "--duration 0.3 --no-sound --region 0,0,159,119 --output-dir " + folder_.Path().string(), false);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string path = LastLine(r.out);
    ASSERT_EQ(path.substr(path.size() - 6), "_2.mp4");
    EXPECT_EQ(vexa::test::ReadFile(path.substr(0, path.size() - 6) + ".mp4"), "taken");
}

// A recording whose path is as long as a path may be is finished in place: no second name is needed.
TEST_F(RecordScreen, ARecordingAtTheLongestPathIsFinishedInPlace) {
    std::string dir = folder_.Path().string();
    while (dir.size() < 3860) dir += "/" + std::string(200, 'd');
    dir += "/" + std::string(4070 - dir.size() - 1, 'e');  // the file's path just fits
    std::filesystem::create_directories(dir);
    CommandResult r = RunRecorder("--duration 0.3 --no-sound --region 0,0,159,119 --output-dir " + dir, false,
                                  PrivateHomes());
    EXPECT_EQ(r.exit_code, 0) << r.out;
    const std::string path = LastLine(r.out);
    EXPECT_TRUE(vexa::test::ProbeFile(path));
    EXPECT_EQ(LogLinesWith("as a regular file").size(), 1u);
}

// The log keeps what was recorded and how: mode, the screen stream with its encoder, the file, the
// result, and the very statistics --stats prints.
TEST_F(RecordScreen, ASuccessfulRecordingLeavesItsStoryInTheLog) {
    CommandResult r = RunRecorder("--duration 1 --no-sound --stats --output-dir " + folder_.Path().string(),
                                  true, PrivateHomes());
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string path = LastLine(r.out);
    std::string json;
    for (const std::string& line : SplitLines(r.out))
        if (!line.empty() && line.front() == '{') json = line;
    ASSERT_FALSE(json.empty()) << r.out;
    const size_t key = json.find("\"encoder\":\"");
    ASSERT_NE(key, std::string::npos);
    const std::string encoder = json.substr(key + 11, json.find('"', key + 11) - key - 11);
    ASSERT_FALSE(encoder.empty());

    EXPECT_EQ(LogLinesWith("--duration 1 --no-sound --stats").size(), 1u);  // the command line
    EXPECT_EQ(LogLinesWith("INFO preparing a recording: screen, whole screen, ").size(), 1u);
    EXPECT_EQ(LogLinesWith("; file " + path).size(), 1u);
    const auto stream = LogLinesWith("INFO screen stream: ");
    ASSERT_EQ(stream.size(), 1u);
    EXPECT_NE(stream[0].find("1920x1080 at 0,0"), std::string::npos) << stream[0];
    EXPECT_NE(stream[0].find("encoder " + encoder + " 1920x1080"), std::string::npos) << stream[0];
    EXPECT_EQ(LogLinesWith("INFO recording started: " + path + ", 1 stream").size(), 1u);
    EXPECT_EQ(LogLinesWith("INFO recording finished (duration reached): " + path).size(), 1u);
    const auto stats = LogLinesWith("INFO statistics: ");
    ASSERT_EQ(stats.size(), 1u);
    EXPECT_EQ(stats[0].substr(stats[0].find("statistics: ") + 12), json);
    EXPECT_TRUE(LogLinesWith(" ERROR ").empty());
}

}  // namespace
