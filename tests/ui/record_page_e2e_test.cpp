// Recording from the main window of the real VexaRecorder on the virtual display, driven by the
// start/stop hotkey (F7): a region with sound, the count-down and the bar's docking, a stop right
// after the start and an exit while recording, an output file that cannot be opened or cannot grow,
// and the camera mode. (Recording hidden without the bar is the shell's -autostart test.) Each test has its
// own program, HOME and output folder; the files are read back.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <ctime>
#include <filesystem>
#include <thread>

#include "tests/shell/program_under_test.h"
#include "tests/shell/recording_under_test.h"
#include "tests/support/media_probe.h"

extern char** environ;

namespace vexa::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kBarClass = "VexaRecorder_Float_Window";
constexpr int kScreenWidth = 1920, kScreenHeight = 1080;
constexpr int kCloseX = 936, kCloseY = 25, kOkX = 526, kOkY = 383;  // in the main window and exit prompt

class RecordPageE2e : public ::testing::Test {
  protected:
    std::string Out() const { return program_.Folder().File("recordings"); }
    // Starts the program and waits for its main window (shown unless `hidden`).
    WindowState Start(const std::vector<std::string>& arguments = {}, bool hidden = false) {
        pid_ = program_.Start(arguments);
        const auto window = program_.FindWindow(kMainWindowClass, kTitle);
        if (!window || (!hidden && !program_.WaitViewable(window->window, true))) {
            ADD_FAILURE() << "no main window; log:\n" << program_.LogText();
            return {};
        }
        return program_.State(window->window);
    }
    std::optional<WindowState> Bar(std::chrono::milliseconds timeout = 5s) {
        return program_.FindWindow(kBarClass, kUntitled, timeout);
    }
    // The one recording made, read back.
    std::optional<ProbedFile> OnlyRecording() {
        const auto files = Recordings(Out());
        if (files.size() != 1) {
            ADD_FAILURE() << files.size() << " recordings; log:\n" << program_.LogText();
            return std::nullopt;
        }
        return ProbeFile(files[0]);
    }

    ProgramUnderTest program_;
    pid_t pid_ = 0;
};

TEST_F(RecordPageE2e,
       ARegionWithTheMicrophoneIsRecordedAtTheRegionsSizeWithSoundWhileTheBarStandsInTheCorner) {
    StoreSettings(program_, Out(), {{"desktop_mic_0_sel", 1}});
    (void)SettingsOf(program_)->WriteBinary("desktop_select_rgn", Words({100, 100, 739, 579}));
    const WindowState main = Start();
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording started")) << program_.LogText();
    const auto bar = Bar();
    ASSERT_TRUE(bar);
    const WindowState shown = program_.State(bar->window);
    EXPECT_TRUE(shown.viewable);
    EXPECT_EQ(shown.x + shown.width, kScreenWidth + 8);  // the work area is the screen here
    EXPECT_EQ(shown.y + shown.height, kScreenHeight);
    EXPECT_FALSE(program_.State(main.window).viewable);
    std::this_thread::sleep_for(2s);
    program_.PressKey("F7");
    EXPECT_TRUE(program_.WaitViewable(main.window, true));
    ASSERT_TRUE(WaitForLog(program_, "recording finished"));
    EXPECT_FALSE(Bar(0ms));

    const auto file = OnlyRecording();
    ASSERT_TRUE(file);
    const int video = file->FirstStreamOf(true);
    ASSERT_GE(video, 0);
    EXPECT_EQ(file->streams[video].width, 640);
    EXPECT_EQ(file->streams[video].height, 480);
    EXPECT_GE(file->FirstStreamOf(false), 0);
    EXPECT_NEAR(file->duration_seconds, 2.4, 0.6);
}

// The bar docks a second before the count-down ends; a second press during the count-down finds the
// main window disabled and is ignored, so one recording runs until the next press.
TEST_F(RecordPageE2e, AFiveSecondCountDownDocksTheBarAfterFourSecondsAndIgnoresASecondPress) {
    StoreSettings(program_, Out(), {{"count_down", 1}, {"count_down_val", 5}, {"floatwnd_auto_hide", 1}});
    Start();
    const auto pressed = std::chrono::steady_clock::now();
    program_.PressKey("F7");
    program_.PressKey("F7");
    const auto bar = Bar();
    ASSERT_TRUE(bar);
    std::this_thread::sleep_until(pressed + 2300ms);
    const WindowState corner = program_.State(bar->window);
    EXPECT_EQ(corner.x + corner.width, kScreenWidth + 8);
    std::this_thread::sleep_until(pressed + 4300ms);
    EXPECT_EQ(program_.State(bar->window).x, kScreenWidth - 8);
    ASSERT_TRUE(WaitForLog(program_, "recording started"));
    std::this_thread::sleep_for(1s);
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording finished"));
    EXPECT_EQ(Occurrences(program_.LogText(), "recording requested"), 1u);
    const auto file = OnlyRecording();
    ASSERT_TRUE(file);
    EXPECT_GT(file->duration_seconds, 0.8);
}

// A stop right after the start, a new start, and the exit chosen while it records: every file is
// finished and the program ends cleanly, with no recording thread left behind.
TEST_F(RecordPageE2e, AStopRightAfterTheStartAndAnExitWhileRecordingBothLeaveFinishedFiles) {
    StoreSettings(program_, Out());
    const WindowState main = Start();
    program_.PressKey("F7");
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording finished"));
    std::this_thread::sleep_for(1100ms);  // the next file gets a name of its own
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording started", 2));
    program_.PressKey("F9");  // shows the main window; its close button offers the exit
    ASSERT_TRUE(program_.WaitViewable(main.window, true));
    program_.Click(main.x + kCloseX, main.y + kCloseY);
    ASSERT_TRUE(program_.FindWindow("MessageWnd", kTitle, 5s));
    program_.Click(main.x + kOkX, main.y + kOkY);
    EXPECT_EQ(program_.WaitForExit(pid_, 15s), 0);
    EXPECT_EQ(Occurrences(program_.LogText(), "recording finished"), 2u) << program_.LogText();
    const auto files = Recordings(Out());
    ASSERT_EQ(files.size(), 2u);
    for (const std::string& path : files) {
        const auto file = ProbeFile(path);
        ASSERT_TRUE(file) << path;
        EXPECT_GE(file->FirstStreamOf(true), 0) << path;
    }
}

TEST_F(RecordPageE2e, AnOutputFileThatCannotBeOpenedIsReportedAndThePageReturnsToIdle) {
    StoreSettings(program_, Out());
    for (std::time_t t = std::time(nullptr), end = t + 30; t <= end; ++t) {  // folders in the files' way
        char name[32];
        std::tm local{};
        localtime_r(&t, &local);
        std::strftime(name, sizeof name, "%Y%m%d_%H%M%S.mp4", &local);
        std::filesystem::create_directories(std::filesystem::path(Out()) / name);
    }
    const WindowState main = Start();
    program_.PressKey("F7");
    const auto box = program_.FindWindow(kUntitled, kTitle, 10s);
    ASSERT_TRUE(box) << program_.LogText();
    EXPECT_TRUE(WaitForLog(program_, "starting the recording: cannot open output file " + Out()));
    EXPECT_FALSE(program_.State(main.window).viewable);
    program_.PressKey("Return");
    EXPECT_TRUE(program_.WaitViewable(main.window, true));
    EXPECT_FALSE(Bar(0ms));
    program_.PressKey("F7");  // idle again: a start is tried anew
    EXPECT_TRUE(WaitForLog(program_, "starting the recording", 2));
}

// The output may not grow past 300 KB (a full disk): the page stops the recording as the user
// would, says why, and the file keeps what was written.
TEST_F(RecordPageE2e, AFileThatCannotGrowStopsTheRecordingWithItsCauseAndKeepsWhatWasWritten) {
    StoreSettings(program_, Out());
    pid_t motion = 0;
    const char* argv[] = {VEXA_TEST_MOTION_PATH, "--rate", "30", nullptr};
    ASSERT_EQ(posix_spawn(&motion, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, SIG_IGN);  // inherited: a write past the limit fails instead of killing
    const rlimit limit{300 * 1024, previous.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const WindowState main = Start();
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, SIG_DFL);
    program_.PressKey("F7");
    const bool stopped = WaitForLog(program_, "the recording was stopped: cannot write to " + Out(), 1, 30s);
    kill(motion, SIGTERM);
    waitpid(motion, nullptr, 0);
    ASSERT_TRUE(stopped) << program_.LogText();
    ASSERT_TRUE(program_.FindWindow(kUntitled, kTitle, 5s));
    program_.PressKey("Return");
    EXPECT_TRUE(program_.WaitViewable(main.window, true));
    ASSERT_TRUE(WaitForLog(program_, "recording finished"));
    const auto files = Recordings(Out());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_LE(std::filesystem::file_size(files[0]), 300u * 1024);
    const auto pictures = DecodeVideo(files[0]);
    EXPECT_GE(pictures.size(), 1u);
}

TEST_F(RecordPageE2e, TheCameraModeRecordsTheVirtualCamera) {
    setenv("VEXA_VIRTUAL_CAMERA", "1", 1);
    StoreSettings(program_, Out(), {{"left_tab_sel", 2}});
    Start();
    unsetenv("VEXA_VIRTUAL_CAMERA");
    ASSERT_TRUE(program_.FindWindow("Tolvo_Camera_Wnd", kUntitled, 5s));  // the preview the recording borrows
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording started")) << program_.LogText();
    std::this_thread::sleep_for(1500ms);
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording finished"));
    EXPECT_NE(program_.LogText().find("preparing a recording: camera"), std::string::npos);
    const auto file = OnlyRecording();
    ASSERT_TRUE(file);
    const int video = file->FirstStreamOf(true);
    ASSERT_GE(video, 0);
    EXPECT_EQ(file->streams[video].width, 640);  // the virtual camera's first format
    EXPECT_EQ(file->streams[video].height, 480);
    EXPECT_GE(file->PacketsOf(video).size(), 10u);
}

}  // namespace
}  // namespace vexa::test
