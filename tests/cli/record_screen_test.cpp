// vexa-record end to end on the virtual display: real X11 capture, the encoder and the file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "private_x_server.h"
#include "tests/support/media_probe.h"
#include "tests/support/temp_folder.h"
#include "x11_painter.h"

namespace {

struct RunResult {
    int exit_code = -1;
    std::string out;
};

// Runs vexa-record with the arguments through the shell, with the display's content changing ten
// times a second meanwhile.
RunResult RunRecorder(const std::string& args, bool animate = true) {
    std::string cmd;
    if (animate) cmd += std::string(VEXA_MOTION_PATH) + " --rate 10 & m=$!; sleep 0.2; ";
    cmd += std::string(VEXA_RECORD_PATH) + " " + args + " 2>&1; rc=$?; ";
    if (animate) cmd += "kill $m; ";
    cmd += "exit $rc";
    RunResult result;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 512> buf{};
    while (fgets(buf.data(), buf.size(), pipe)) result.out += buf.data();
    const int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string LastLine(const std::string& text) {
    std::string s = text;
    while (!s.empty() && s.back() == '\n') s.pop_back();
    const size_t nl = s.rfind('\n');
    return nl == std::string::npos ? s : s.substr(nl + 1);
}

class RecordScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs the virtual display (tools/with-test-env.sh)";
    }
    vexa::test::TempFolder folder_;
};

TEST_F(RecordScreen, ThreeSecondsOfChangingContentMakeAPlayableFile) {
    RunResult r = RunRecorder("--duration 3 --no-sound --output-dir " + folder_.Path().string());
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string path = LastLine(r.out);
    auto file = vexa::test::ProbeFile(path);
    ASSERT_TRUE(file) << path;
    const int video = file->FirstStreamOf(true);
    ASSERT_GE(video, 0);
    EXPECT_EQ(file->streams[video].codec, "h264");
    EXPECT_EQ(file->streams[video].width, 1920);
    EXPECT_EQ(file->streams[video].height, 1080);
    EXPECT_NEAR(file->StreamEndSeconds(video), 3.0, 0.2);
    EXPECT_GE(file->PacketsOf(video).size(), 10u);  // the colour changed about 30 times
}

TEST_F(RecordScreen, RegionIsInclusiveAndOddSizesAreEvened) {
    RunResult r = RunRecorder("--duration 1 --no-sound --region 100,50,1464,816 --output-dir " +
                              folder_.Path().string());
    ASSERT_EQ(r.exit_code, 0) << r.out;
    auto file = vexa::test::ProbeFile(LastLine(r.out));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->streams[0].width, 1366);  // 1365 wide
    EXPECT_EQ(file->streams[0].height, 768);  // 767 high
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
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
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
        FILE* pipe = popen(cmd.c_str(), "r");
        ASSERT_TRUE(pipe);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        const int grown = std::system((xrandr + "--output screen --mode 1920x1080 --fb 1920x1080").c_str());
        painter.Fill(0, 0, 960, 1080, 0x000000);
        painter.Fill(960, 0, 960, 1080, 0xFFFFFF);
        std::string out;
        std::array<char, 512> buf{};
        while (fgets(buf.data(), buf.size(), pipe)) out += buf.data();
        const int status = pclose(pipe);
        ASSERT_EQ(grown, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;

        const auto pictures = vexa::test::DecodeVideo(LastLine(out));
        ASSERT_FALSE(pictures.empty()) << out;
        const vexa::test::GreyPicture& last = pictures.back();
        ASSERT_EQ(last.width, 960);
        EXPECT_GT(last.At(720, 270), 200) << "the new right half";
        EXPECT_LT(last.At(240, 270), 50) << "the left half";
    }
}

TEST_F(RecordScreen, UnwritableFolderFailsWithoutReportingAFile) {
    RunResult r = RunRecorder("--duration 1 --no-sound --output-dir /proc/vexa-no-such/dir", false);
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_NE(r.out.find("vexa-record: "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(".mp4\n"), std::string::npos) << r.out;
}

TEST_F(RecordScreen, NoDisplayIsAClearError) {
    RunResult r =
        RunRecorder("--duration 1 --no-sound --output-dir " + folder_.Path().string() + " DISPLAY=", false);
    EXPECT_EQ(r.exit_code, 2);  // an unknown argument first
    const std::string cmd =
        "env -u DISPLAY " + std::string(VEXA_RECORD_PATH) + " --duration 1 --no-sound 2>&1";
    FILE* pipe = popen(cmd.c_str(), "r");
    ASSERT_TRUE(pipe);
    std::string out;
    std::array<char, 512> buf{};
    while (fgets(buf.data(), buf.size(), pipe)) out += buf.data();
    const int status = pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(out.find("vexa-record: cannot open the X display"), std::string::npos) << out;
}

}  // namespace
