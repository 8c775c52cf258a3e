// Recording from the main window of the real VexaRecorder on the virtual display, driven by the
// start/stop hotkey (F7): a region with sound, the count-down and the bar's docking, a stop right
// after the start, an exit and a termination signal while recording, an output file that cannot be
// opened or cannot grow, the file being recorded kept from the list's delete button, and the camera
// mode. (Recording hidden without the bar is the shell's -autostart test.) Each test has its own
// program, HOME and output folder; the files are read back.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "engine/audio/endpoint_record.h"
#include "platform/audio/audio_system.h"
#include "tests/shell/program_under_test.h"
#include "tests/shell/recording_under_test.h"
#include "tests/support/media_probe.h"
#include "tests/support/run_command.h"

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
    std::optional<WindowState> Bar(std::chrono::milliseconds timeout = 20s) {
        return program_.FindWindow(kBarClass, kUntitled, timeout);
    }
    // The path a recording started now would get.
    std::string NameNow() const {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char name[32];
        std::strftime(name, sizeof name, "%Y%m%d_%H%M%S.mp4", &local);
        return Out() + "/" + name;
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
    const auto pressed = std::chrono::steady_clock::now();
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording started")) << program_.LogText();
    const auto bar = Bar();
    ASSERT_TRUE(bar);
    EXPECT_TRUE(WaitFor([&] {  // the work area is the screen here
        const WindowState shown = program_.State(bar->window);
        return shown.viewable && shown.x + shown.width == kScreenWidth + 8 &&
               shown.y + shown.height == kScreenHeight;
    }));
    EXPECT_TRUE(program_.WaitViewable(main.window, false));
    std::this_thread::sleep_for(2s);  // the length of the recording, not a wait for anything
    program_.PressKey("F7");
    EXPECT_TRUE(program_.WaitViewable(main.window, true));  // after the bar went
    ASSERT_TRUE(WaitForLog(program_, "recording finished"));
    const std::chrono::duration<double> most = std::chrono::steady_clock::now() - pressed;
    EXPECT_FALSE(Bar(0ms));

    const auto file = OnlyRecording();
    ASSERT_TRUE(file);
    const int video = file->FirstStreamOf(true);
    ASSERT_GE(video, 0);
    EXPECT_EQ(file->streams[video].width, 640);
    EXPECT_EQ(file->streams[video].height, 480);
    EXPECT_GE(file->FirstStreamOf(false), 0);
    // At least the two seconds between the start and the stop, at most the time from the first
    // press to the finished file.
    EXPECT_GE(file->duration_seconds, 1.9);
    EXPECT_LE(file->duration_seconds, most.count());
}

// The bar waits in the corner and stands docked a second before the count-down ends (its timing is
// the rules' test; here: not sooner than it can); one recording runs until the next press. (A press
// during the count-down takes the start back: main_window_e2e_test.)
TEST_F(RecordPageE2e, AFiveSecondCountDownDocksTheBarAfterFourSecondsAndRecordsUntilTheNextPress) {
    StoreSettings(program_, Out(), {{"count_down", 1}, {"count_down_val", 5}, {"floatwnd_auto_hide", 1}});
    Start();
    const auto pressed = std::chrono::steady_clock::now();
    program_.PressKey("F7");
    const auto bar = Bar();
    ASSERT_TRUE(bar);
    EXPECT_TRUE(WaitFor([&] {
        const WindowState corner = program_.State(bar->window);
        return corner.viewable && corner.x + corner.width == kScreenWidth + 8;
    }));
    EXPECT_TRUE(WaitFor([&] { return program_.State(bar->window).x == kScreenWidth - 8; }));
    // The 380-pixel bar travels 364 pixels at one a millisecond, starting 3 x 364 ms before the
    // deadline four seconds after the press: it cannot stand docked before 3.27 s.
    EXPECT_GE(std::chrono::steady_clock::now() - pressed, 3200ms) << "docked too soon";
    ASSERT_TRUE(WaitForLog(program_, kPageRecording));
    std::this_thread::sleep_for(1s);  // the length of the recording
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
    ASSERT_TRUE(WaitForLog(program_, kPageRecording));
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording finished")) << program_.LogText();
    ASSERT_TRUE(WaitFor([&] { return !std::filesystem::exists(NameNow()); }));  // a name of its own
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, kPageRecording, 2));
    program_.PressKey("F9");  // shows the main window; its close button offers the exit
    ASSERT_TRUE(program_.WaitViewable(main.window, true));
    program_.Click(main.x + kCloseX, main.y + kCloseY);
    ASSERT_TRUE(program_.FindWindow("MessageWnd", kTitle));
    program_.Click(main.x + kOkX, main.y + kOkY);
    EXPECT_EQ(program_.WaitForExit(pid_, 30s), 0);
    EXPECT_EQ(Occurrences(program_.LogText(), "recording finished"), 2u) << program_.LogText();
    const auto files = Recordings(Out());
    ASSERT_EQ(files.size(), 2u);
    for (const std::string& path : files) {
        const auto file = ProbeFile(path);
        ASSERT_TRUE(file) << path;
        EXPECT_GE(file->FirstStreamOf(true), 0) << path;
    }
}

// A log-out or shutdown sends SIGTERM: the program ends as its Exit command does, and the recording
// running then is finished as a regular file, not cut off.
TEST_F(RecordPageE2e, ATerminationSignalWhileRecordingFinishesTheFileAndEndsTheProgram) {
    StoreSettings(program_, Out());
    Start();
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording started"));
    ASSERT_EQ(kill(pid_, SIGTERM), 0);
    EXPECT_EQ(program_.WaitForExit(pid_, 30s), 0) << program_.LogText();
    const std::string log = program_.LogText();
    EXPECT_NE(log.find("SIGTERM received: exiting"), std::string::npos) << log;
    EXPECT_NE(log.find("recording finished"), std::string::npos) << log;
    EXPECT_NE(log.find("as a regular file"), std::string::npos) << log;
    const auto file = OnlyRecording();
    ASSERT_TRUE(file);
    EXPECT_GE(file->FirstStreamOf(true), 0);
}

// The folder's path is so long that no file in it can be named: the file cannot be opened.
TEST_F(RecordPageE2e, AnOutputFileThatCannotBeOpenedIsReportedAndThePageReturnsToIdle) {
    std::string deep = Out();
    while (deep.size() < 3860) deep += "/" + std::string(200, 'd');
    deep += "/" + std::string(4080 - deep.size() - 1, 'e');
    StoreSettings(program_, deep);
    const WindowState main = Start();
    program_.PressKey("F7");
    const auto box = program_.FindWindow(kUntitled, kTitle);
    ASSERT_TRUE(box) << program_.LogText();
    EXPECT_TRUE(WaitForLog(program_, "starting the recording: cannot open output file " + deep));
    EXPECT_TRUE(program_.WaitViewable(main.window, false));
    program_.PressKey("Return");
    EXPECT_TRUE(program_.WaitViewable(main.window, true));
    EXPECT_FALSE(Bar(0ms));
    program_.PressKey("F7");  // idle again: a start is tried anew
    EXPECT_TRUE(WaitForLog(program_, "starting the recording", 2));
}

// The output may not grow past 1 MB (a full disk): the page stops the recording as the user
// would, says why, and the file keeps what was written. The limit holds several half-second
// fragments of the moving screen (one can pass 300 KB when the machine keeps every picture).
TEST_F(RecordPageE2e, AFileThatCannotGrowStopsTheRecordingWithItsCauseAndKeepsWhatWasWritten) {
    StoreSettings(program_, Out());
    pid_t motion = 0;
    const char* argv[] = {VEXA_TEST_MOTION_PATH, "--rate", "30", nullptr};
    ASSERT_EQ(posix_spawn(&motion, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, SIG_IGN);  // inherited: a write past the limit fails instead of killing
    const rlimit limit{1024 * 1024, previous.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const WindowState main = Start();
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, SIG_DFL);
    program_.PressKey("F7");
    const bool stopped = WaitForLog(program_, "the recording was stopped: cannot write to " + Out(), 1, 30s);
    kill(motion, SIGTERM);
    waitpid(motion, nullptr, 0);
    ASSERT_TRUE(stopped) << program_.LogText();
    ASSERT_TRUE(program_.FindWindow(kUntitled, kTitle));
    program_.PressKey("Return");
    EXPECT_TRUE(program_.WaitViewable(main.window, true));
    ASSERT_TRUE(WaitForLog(program_, "recording cut short"));
    EXPECT_EQ(Occurrences(program_.LogText(), "recording finished"), 0u);
    const auto files = Recordings(Out());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_LE(std::filesystem::file_size(files[0]), 1024u * 1024);
    const auto pictures = DecodeVideo(files[0]);
    EXPECT_GE(pictures.size(), 1u);
}

// The recordings list shows the file being written; its delete button must not destroy it. The
// click is refused with the message for a file in use, and the recording goes on to a finished file.
TEST_F(RecordPageE2e, TheFileBeingRecordedIsNotDeletedFromTheListAndItsRecordingGoesOn) {
    constexpr int kFirstRowY = 386, kDeleteX = 812, kNameLeft = 205, kNameWidth = 150, kNameHeight = 20;
    StoreSettings(program_, Out());
    const WindowState main = Start();
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, kPageRecording));
    program_.PressKey("F9");
    ASSERT_TRUE(program_.WaitViewable(main.window, true));
    ASSERT_TRUE(WaitFor([&] {
        return !program_.Plain(main.x + kNameLeft, main.y + kFirstRowY - kNameHeight / 2, kNameWidth,
                               kNameHeight);
    })) << "the list shows no row for the recording";
    const std::vector<std::string> files = Recordings(Out());
    ASSERT_EQ(files.size(), 1u);
    program_.Click(main.x + kDeleteX, main.y + kFirstRowY);
    ASSERT_TRUE(WaitForLog(program_, "cannot delete " + files[0] + ": it is being recorded"))
        << program_.LogText();
    ASSERT_TRUE(program_.FindWindow(kUntitled, kTitle));
    program_.PressKey("Return");
    EXPECT_TRUE(std::filesystem::exists(files[0]));
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording finished")) << program_.LogText();
    const auto file = OnlyRecording();
    ASSERT_TRUE(file);
    EXPECT_GE(file->FirstStreamOf(true), 0);
}

// A ticked speaker is unplugged before the start: the start fails naming it, the page unticks its row
// (stored, as the user's untick), and the next start records the other sources.
TEST_F(RecordPageE2e, ASpeakerUnpluggedBeforeTheStartIsUntickedAndTheNextStartRecords) {
    const std::string sink = "vexa_gone_" + std::to_string(getpid());
    const CommandResult loaded = RunCommand("pactl load-module module-null-sink sink_name=" + sink +
                                            " sink_properties=device.description=" + sink);
    ASSERT_EQ(loaded.exit_code, 0) << "no null sink could be loaded: " << loaded.out;
    auto server = platform::ConnectSoundServer();
    ASSERT_TRUE(server.ok()) << server.error().message();
    const auto speakers = engine::SoundDeviceList(**server, platform::AudioDeviceKind::kSpeaker);
    const auto row =
        std::find_if(speakers.begin(), speakers.end(), [&](const auto& s) { return s.id == sink; });
    ASSERT_NE(row, speakers.end());
    const std::string selection = "desktop_speaker_" + std::to_string(row - speakers.begin()) + "_sel";
    StoreSettings(program_, Out(), {{selection, 1}});
    const WindowState main = Start();
    ASSERT_EQ(RunCommand("pactl unload-module " + LastLine(loaded.out)).exit_code, 0);

    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "preparing the recording: speaker '" + sink + "' is not connected"));
    ASSERT_TRUE(program_.FindWindow(kUntitled, kTitle, 5s));
    EXPECT_EQ(SettingsOf(program_)->ReadDword(selection), 0u);
    program_.PressKey("Return");
    EXPECT_TRUE(program_.WaitViewable(main.window, true));
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, kPageRecording)) << program_.LogText();
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording finished")) << program_.LogText();
    EXPECT_TRUE(OnlyRecording());
}

TEST_F(RecordPageE2e, TheCameraModeRecordsTheVirtualCamera) {
    setenv("VEXA_VIRTUAL_CAMERA", "1", 1);
    StoreSettings(program_, Out(), {{"left_tab_sel", 2}});
    Start();
    unsetenv("VEXA_VIRTUAL_CAMERA");
    ASSERT_TRUE(program_.FindWindow("Tolvo_Camera_Wnd", kUntitled));  // the preview the recording borrows
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording started")) << program_.LogText();
    // The file is written as it records: it is stopped once ten camera pictures are in it.
    EXPECT_TRUE(WaitFor([&] {
        const auto files = Recordings(Out());
        const auto written = files.size() == 1 ? ProbeFile(files[0]) : std::nullopt;
        return written && written->FirstStreamOf(true) >= 0 &&
               written->PacketsOf(written->FirstStreamOf(true)).size() >= 10;
    }));
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
