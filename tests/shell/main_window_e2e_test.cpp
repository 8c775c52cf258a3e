// The real VexaRecorder on the virtual display: one instance per user, the messages it takes from
// other clients, its crash report, the exit prompt and its answers, the tray choice, -autostart
// (also recording at once), the show/hide hotkey, the remembered tab, a display change while
// recording, and a failing start. Each test has its own copy of the program, HOME and ini.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <memory>
#include <tuple>

#include "platform/desktop/instance.h"
#include "tests/shell/program_under_test.h"
#include "tests/shell/recording_under_test.h"
#include "tests/shell/tray_host.h"
#include "tests/support/test_compositor.h"
#include "tests/support/media_probe.h"
#include "tests/support/run_command.h"

namespace vexa::test {
namespace {

using namespace std::chrono_literals;

// Points inside the 960 x 593 main window (and the exit prompt, which covers it exactly).
constexpr int kCloseX = 936, kCloseY = 25;
constexpr int kOkX = 526, kOkY = 383;
constexpr int kCancelX = 622, kCancelY = 383;
constexpr int kTrayChoiceX = 340, kTrayChoiceY = 280;
constexpr int kDoNotAskX = 320, kDoNotAskY = 383;
constexpr int kBrowseX = 805, kBrowseY = 105;  // on the settings page

class MainWindowTest : public ::testing::Test {
  protected:
    WindowState StartAndShow(const std::vector<std::string>& arguments = {}) {
        pid_ = program_.Start(arguments);
        const auto window = program_.FindWindow(kMainWindowClass, kTitle);
        if (!window) {
            ADD_FAILURE() << "no main window; log:\n" << program_.LogText();
            return {};
        }
        EXPECT_TRUE(program_.WaitViewable(window->window, true));
        return program_.State(window->window);
    }
    void ClickIn(const WindowState& w, int x, int y) { program_.Click(w.x + x, w.y + y); }
    // Presses close and waits for the exit prompt.
    WindowState OpenPrompt(const WindowState& main) {
        ClickIn(main, kCloseX, kCloseY);
        const auto prompt = program_.FindWindow("MessageWnd", kTitle);
        if (!prompt || !program_.WaitViewable(prompt->window, true)) {
            ADD_FAILURE() << "the exit prompt did not appear";
            return {};
        }
        return program_.State(prompt->window);
    }

    ProgramUnderTest program_;
    pid_t pid_ = 0;
};

TEST_F(MainWindowTest, TheWindowIsCentredAndASecondStartBringsItBackAndEnds) {
    const WindowState main = StartAndShow();
    EXPECT_EQ(main.width, 960);
    EXPECT_EQ(main.height, 593);
    EXPECT_EQ(main.x, (1920 - 960) / 2);
    EXPECT_EQ(main.y, (1080 - 593) / 2);

    program_.PressKey("F9");  // the show/hide hotkey hides it
    ASSERT_TRUE(program_.WaitViewable(main.window, false));
    const pid_t second = program_.Start();
    EXPECT_EQ(program_.WaitForExit(second, 20s), 0);
    EXPECT_TRUE(program_.WaitViewable(main.window, true));
    EXPECT_TRUE(program_.Running(pid_));
    EXPECT_NE(program_.LogText().find("another start asked for the main window"), std::string::npos);
}

// Any client of the display can send the main window a message; of them the program obeys only a
// second start's activation. Each forbidden one would leave its line in the log.
TEST_F(MainWindowTest, OfTheMessagesOtherClientsSendOnlyTheActivationOfASecondStartIsObeyed) {
    const WindowState main = StartAndShow();
    const std::tuple<uint32_t, uintptr_t, const char*> sent[] = {
        {0x047F, 1000, "recording requested"},     // the start/stop hotkey
        {0x007E, 0, "primary screen is now 0x0"},  // a screen of 0 x 0
        {0x0465, 1, "exit chosen"},                // the exit prompt's answer
        {0x0464, 0, ""}};                          // the activation, last
    for (const auto& [message, wparam, would_log] : sent)
        ASSERT_TRUE(desktop::PostWindowMessage(static_cast<uint32_t>(main.window), message, wparam, 0).ok());
    ASSERT_TRUE(WaitForLog(program_, "another start asked for the main window")) << program_.LogText();
    EXPECT_TRUE(program_.Running(pid_));
    const std::string log = program_.LogText();
    for (const auto& [message, wparam, would_log] : sent)
        EXPECT_TRUE(!*would_log || log.find(would_log) == std::string::npos) << log;
}

// The real program's crash report goes to its log, with the functions of the backtrace named; the
// program waits out the crash delay before it ends. The signal goes to the main thread (whose id is
// the process id): one sent to the process may land on any thread that does not block it.
TEST_F(MainWindowTest, ACrashLeavesItsSignalItsThreadAndANamedBacktraceInTheLog) {
    StartAndShow();
    ASSERT_EQ(syscall(SYS_tgkill, pid_, pid_, SIGSEGV), 0);
    const std::string line = "ERROR crash: SIGSEGV (invalid memory access) sent by process " +
                             std::to_string(getpid()) + " in thread ";
    ASSERT_TRUE(WaitForLog(program_, line)) << program_.LogText();
    EXPECT_TRUE(WaitFor([&] { return program_.LogText().find("ProcessEntry") != std::string::npos; }))
        << program_.LogText();
    EXPECT_TRUE(program_.Running(pid_));
}

TEST_F(MainWindowTest, AWindowOfTheClassWithAnotherTitleIsNoRunningInstance) {
    const unsigned long decoy = program_.CreateWindow(kMainWindowClass, "Not Miravo");
    const WindowState main = StartAndShow();
    EXPECT_NE(main.window, decoy);
    EXPECT_TRUE(main.viewable);
}

// The show/hide hotkey, handled once the start-up is over, shows a hidden window and hides a shown
// one: that it shows it proves the window stayed hidden.
TEST_F(MainWindowTest, AutostartInCapitalsKeepsTheWindowHiddenUntilAnotherStart) {
    pid_ = program_.Start({"-AUTOSTART"});
    const auto window = program_.FindWindow(kMainWindowClass, kTitle);
    ASSERT_TRUE(window);
    ASSERT_TRUE(WaitForLog(program_, "main window ready"));
    program_.PressKey("F9");
    EXPECT_TRUE(program_.WaitViewable(window->window, true)) << "shown at the start";
    program_.PressKey("F9");
    ASSERT_TRUE(program_.WaitViewable(window->window, false));
    EXPECT_EQ(program_.WaitForExit(program_.Start(), 20s), 0);
    EXPECT_TRUE(program_.WaitViewable(window->window, true));
}

TEST_F(MainWindowTest, ChoosingTheTrayHidesTheWindowStoresTheChoiceAndAsksAgainNextTime) {
    const WindowState main = StartAndShow();
    WindowState prompt = OpenPrompt(main);
    ClickIn(prompt, kTrayChoiceX, kTrayChoiceY);
    ClickIn(prompt, kOkX, kOkY);
    EXPECT_TRUE(program_.WaitViewable(main.window, false));
    EXPECT_TRUE(program_.Running(pid_));
    EXPECT_TRUE(WaitFor([&] { return program_.IniText().find("CloseWnd=No") != std::string::npos; }));

    EXPECT_EQ(program_.WaitForExit(program_.Start(), 20s), 0);  // a second start brings it back
    ASSERT_TRUE(program_.WaitViewable(main.window, true));
    prompt = OpenPrompt(program_.State(main.window));  // still asks, the tray now preselected
    ClickIn(prompt, kOkX, kOkY);
    EXPECT_TRUE(program_.WaitViewable(main.window, false));
    EXPECT_TRUE(program_.Running(pid_));
}

// Under a desktop tray: double click and "显示" restore the window, "退出" ends the program, and
// the icon goes away each time.
TEST_F(MainWindowTest, TheTrayIconRestoresOrEndsTheProgramAndGoesAwayEachTime) {
    TrayHost tray;
    const WindowState main = StartAndShow();
    auto to_tray = [&] {
        const WindowState prompt = OpenPrompt(program_.State(main.window));
        if (program_.IniText().find("CloseWnd=No") == std::string::npos)
            ClickIn(prompt, kTrayChoiceX, kTrayChoiceY);
        ClickIn(prompt, kOkX, kOkY);
        EXPECT_TRUE(program_.WaitViewable(main.window, false));
        return tray.WaitDocked(true);
    };
    ASSERT_TRUE(to_tray());
    program_.DoubleClick(tray.IconCentre()->first, tray.IconCentre()->second);
    EXPECT_TRUE(program_.WaitViewable(main.window, true));
    EXPECT_TRUE(tray.WaitDocked(false));

    ASSERT_TRUE(to_tray());
    program_.Click(tray.IconCentre()->first, tray.IconCentre()->second, 3);
    program_.PressKey("Down");  // "显示"
    program_.PressKey("Return");
    EXPECT_TRUE(program_.WaitViewable(main.window, true));
    EXPECT_TRUE(tray.WaitDocked(false));

    ASSERT_TRUE(to_tray());
    program_.Click(tray.IconCentre()->first, tray.IconCentre()->second, 3);
    program_.PressKey("Down");
    program_.PressKey("Down");  // "退出"
    program_.PressKey("Return");
    EXPECT_EQ(program_.WaitForExit(pid_, 20s), 0);
    EXPECT_TRUE(tray.WaitDocked(false));
}

// The first close offers the exit ("退出程序" preselected); with "do not ask again" later closes exit
// at once.
TEST_F(MainWindowTest, TheFirstCloseOffersExitAndDoNotAskAgainMakesLaterClosesExitAtOnce) {
    WindowState main = StartAndShow();
    const WindowState prompt = OpenPrompt(main);
    program_.PressKey("F9");  // while the prompt runs, show/hide does nothing
    ASSERT_TRUE(program_.HoverSeen(prompt.x + kOkX, prompt.y + kOkY));  // the key has been handled
    EXPECT_TRUE(program_.State(main.window).viewable);
    ClickIn(prompt, kDoNotAskX, kDoNotAskY);
    ClickIn(prompt, kOkX, kOkY);
    ASSERT_EQ(program_.WaitForExit(pid_, 20s), 0);
    EXPECT_NE(program_.IniText().find("CloseWnd=Yes"), std::string::npos);
    EXPECT_NE(program_.IniText().find("ShowExitMsg=No"), std::string::npos);

    main = StartAndShow();
    ClickIn(main, kCloseX, kCloseY);
    EXPECT_EQ(program_.WaitForExit(pid_, 20s), 0);
    EXPECT_FALSE(program_.FindWindow("MessageWnd", kTitle, 100ms));
}
// Share of the pixels that show `before` dimmed to 45 % (the prompt's layer is 55 % black), each
// channel within 3; 0 when `before` has no pixel bright enough for a black one to differ.
double DimmedShare(const std::vector<unsigned long>& before, const std::vector<unsigned long>& after) {
    if (before.size() != after.size() || before.empty()) return 0;
    size_t bright = 0, dimmed = 0;
    for (size_t i = 0; i < before.size(); ++i) {
        bool all = true;
        for (int shift : {0, 8, 16}) {
            const long b = static_cast<long>((before[i] >> shift) & 0xff);
            const long a = static_cast<long>((after[i] >> shift) & 0xff);
            if (b > 40) ++bright;
            all = all && std::labs(a - (b * 115 + 127) / 255) <= 3;
        }
        dimmed += all ? 1 : 0;
    }
    return bright == 0 ? 0 : static_cast<double>(dimmed) / static_cast<double>(before.size());
}

// The exit prompt covers the main window with its picture dimmed: with a compositor through the
// translucent layer, without one (where that layer would be black) by drawing it itself. Checked
// on the screen left of the prompt's card, and with a compositor that starts while the program runs.
TEST_F(MainWindowTest, TheExitPromptDimsTheMainWindowWithAndWithoutACompositor) {
    if (TestCompositor::SelectionOwned()) GTEST_SKIP() << "a compositing manager is running";
    const WindowState main = StartAndShow();
    for (const bool with_compositor : {false, true}) {
        SCOPED_TRACE(with_compositor ? "with a compositor" : "without a compositor");
        std::unique_ptr<TestCompositor> compositor;
        if (with_compositor) {
            compositor = std::make_unique<TestCompositor>();
            if (!compositor->Running()) GTEST_SKIP() << compositor->Why();
        }
        // The main window's picture once drawn: not plain, and the same twice in a row.
        std::vector<unsigned long> before;
        ASSERT_TRUE(WaitFor([&] {
            const auto now = program_.Pixels(main.x, main.y + 60, 230, 520);
            const bool settled = now == before && !program_.Plain(main.x, main.y + 60, 230, 520);
            before = now;
            return settled;
        }));
        const WindowState prompt = OpenPrompt(main);
        double share = 0;
        EXPECT_TRUE(WaitFor([&] {
            share = DimmedShare(before, program_.Pixels(main.x, main.y + 60, 230, 520));
            return share > 0.99;
        })) << "only "
            << share * 100 << " % of the pixels show the main window dimmed";
        ClickIn(prompt, kCancelX, kCancelY);
        ASSERT_TRUE(program_.WaitViewable(prompt.window, false));
    }
}

// During a 5-second count-down the start/stop hotkey, Esc and the bar's stop button each take the
// start back: the count-down closes, the main window comes back, and no file is written.
TEST_F(MainWindowTest, ACountDownIsTakenBackByTheHotkeyByEscAndByTheBarsStopButton) {
    const std::string out = program_.Folder().File("recordings");
    StoreSettings(program_, out, {{"count_down", 1}, {"count_down_val", 5}});
    const WindowState main = StartAndShow();
    const auto take_back = [&](size_t n, const std::function<void()>& how) {
        program_.PressKey("F7");
        const auto count_down = program_.FindWindow("Tolvo_CountDown_Wnd", kUntitled);
        ASSERT_TRUE(count_down) << program_.LogText();
        ASSERT_TRUE(program_.WaitViewable(count_down->window, true));
        ASSERT_TRUE(program_.WaitViewable(main.window, false));
        how();
        EXPECT_TRUE(WaitForLog(program_, "start taken back during the count-down", n)) << program_.LogText();
        EXPECT_TRUE(program_.WaitViewable(main.window, true));
        EXPECT_TRUE(program_.WaitViewable(count_down->window, false));
    };
    {
        SCOPED_TRACE("the start/stop hotkey");
        take_back(1, [&] { program_.PressKey("F7"); });
    }
    {
        SCOPED_TRACE("Esc");
        take_back(2, [&] { program_.PressKey("Escape"); });
    }
    {
        SCOPED_TRACE("the bar's stop button");
        take_back(3, [&] {
            const auto bar = program_.FindWindow("VexaRecorder_Float_Window", kUntitled);
            ASSERT_TRUE(bar);
            ASSERT_TRUE(program_.WaitViewable(bar->window, true));
            const WindowState at = program_.State(bar->window);
            program_.Click(at.x + 72, at.y + 24);  // the stop button, second from the left
        });
    }
    EXPECT_EQ(Occurrences(program_.LogText(), "recording started"), 0u) << program_.LogText();
    EXPECT_TRUE(Recordings(out).empty());
}

// Under a window manager: the show/hide hotkey brings a minimised main window back, restored, and
// hides it again the next time.
TEST_F(MainWindowTest, TheShowHideHotkeyRestoresAMinimisedWindow) {
    TestWindowManager manager;
    if (!manager.Running()) GTEST_SKIP() << manager.Why();
    const WindowState main = StartAndShow();
    // The title bar's minimise button (46 wide, left of the close button): the program minimises
    // itself, so it knows it is minimised before the hotkey, which reaches it on another connection.
    program_.Click(main.x + main.width - 46 - 23, main.y + 24);
    ASSERT_TRUE(program_.WaitViewable(main.window, false));
    program_.PressKey("F9");
    EXPECT_TRUE(program_.WaitViewable(main.window, true)) << "F9 left the window minimised";
    program_.PressKey("F9");
    EXPECT_TRUE(program_.WaitViewable(main.window, false));
    program_.PressKey("F9");
    EXPECT_TRUE(program_.WaitViewable(main.window, true));
}

// Under a window manager (which keeps managed windows partly on the screen) a bar docked at the
// right edge still shows only its 8-pixel rim.
TEST_F(MainWindowTest, ADockedBarShowsItsEightPixelRimUnderAWindowManager) {
    TestWindowManager manager;
    if (!manager.Running()) GTEST_SKIP() << manager.Why();
    StoreSettings(program_, program_.Folder().File("recordings"), {{"floatwnd_auto_hide", 1}});
    StartAndShow();
    program_.PressKey("F7");
    const auto bar = program_.FindWindow("VexaRecorder_Float_Window", kUntitled);
    ASSERT_TRUE(bar);
    int x = 0;
    EXPECT_TRUE(WaitFor([&] {
        const WindowState at = program_.State(bar->window);
        x = at.x;
        return at.viewable && at.x == 1920 - 8;
    })) << "the bar stands at x "
        << x << ", showing " << 1920 - x << " pixels";
    ASSERT_TRUE(WaitForLog(program_, kPageRecording));  // the bar may dock before the start is done
    program_.PressKey("F7");
    EXPECT_TRUE(WaitForLog(program_, "recording finished"));
}

TEST_F(MainWindowTest, TheLastModeTabIsRememberedAndTheSettingsTabNever) {
    const WindowState main = StartAndShow();
    const std::string sound_tab = "\"left_tab_sel\"=dword:00000001";
    ClickIn(main, kSoundTabX, kSoundTabY);
    ASSERT_TRUE(WaitFor([&] { return program_.SettingsText().find(sound_tab) != std::string::npos; }));
    ClickIn(main, kSettingsTabX, kSettingsTabY);
    ASSERT_TRUE(program_.HoverSeen(main.x + kBrowseX, main.y + kBrowseY));  // the settings page is up
    EXPECT_NE(program_.SettingsText().find(sound_tab), std::string::npos) << program_.SettingsText();
}

// Recording at launch with -autostart: the window stays hidden, and with the bar turned off the
// hotkey alone stops it. A stored region of 12 bytes is no region: the whole screen is recorded.
TEST_F(MainWindowTest, AutostartWithRecordingAtLaunchAndNoBarRecordsTheWholeScreenHiddenUntilTheHotkey) {
    const std::string out = program_.Folder().File("recordings");
    StoreSettings(program_, out, {{"start_begin_record", 1}, {"record_hide_wnd", 1}});
    (void)SettingsOf(program_)->WriteBinary("desktop_select_rgn", Words({100, 100, 739}));
    pid_ = program_.Start({"-autostart"});
    const auto window = program_.FindWindow(kMainWindowClass, kTitle);
    ASSERT_TRUE(window);
    ASSERT_TRUE(WaitForLog(program_, kPageRecording)) << program_.LogText();
    // The show/hide hotkey shows the hidden window; a bar would have been made before that.
    program_.PressKey("F9");
    EXPECT_TRUE(program_.WaitViewable(window->window, true)) << "the window was not hidden";
    EXPECT_FALSE(program_.FindWindow("VexaRecorder_Float_Window", "VexaRecorder", 0ms));
    program_.PressKey("F9");
    ASSERT_TRUE(program_.WaitViewable(window->window, false));
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording finished"));
    EXPECT_TRUE(program_.WaitViewable(window->window, true));  // the stop brings the window back
    const auto files = Recordings(out);
    ASSERT_EQ(files.size(), 1u);
    const auto file = ProbeFile(files[0]);
    ASSERT_TRUE(file);
    const int video = file->FirstStreamOf(true);
    ASSERT_GE(video, 0);
    EXPECT_EQ(file->streams[video].width, 1920);
    EXPECT_EQ(file->streams[video].height, 1080);
}

// Each change of the primary screen while recording reaches the running recording once; changes
// while idle reach none. The file stays whole. A change is handled on the user-interface thread at
// once, so anything that thread does after the change's log line (the stop, the show/hide hotkey)
// comes after all of it.
TEST_F(MainWindowTest, ADisplayChangeWhileRecordingReachesTheRecordingOnceAndTheFileStaysWhole) {
    if (std::system("xrandr --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs xrandr";
    struct ScreenMode {  // the test display's output, back at its size whatever happens
        ~ScreenMode() { Set("1920x1080"); }
        static void Set(const char* mode) {
            (void)std::system(
                ("xrandr --output screen --mode " + std::string(mode) + " >/dev/null 2>&1").c_str());
        }
    } screen;
    (void)std::system(
        "xrandr --newmode 1600x900 118.25 1600 1696 1856 2112 900 903 908 934 >/dev/null 2>&1;"
        "xrandr --addmode screen 1600x900 >/dev/null 2>&1");
    const std::string passed = "the display change is passed to the running recording";
    auto change_twice = [&](size_t seen) {
        ScreenMode::Set("1600x900");
        EXPECT_TRUE(WaitForLog(program_, "primary screen is now 1600x900", seen + 1));
        ScreenMode::Set("1920x1080");
        EXPECT_TRUE(WaitForLog(program_, "primary screen is now 1920x1080", seen + 1));
    };
    const std::string out = program_.Folder().File("recordings");
    StoreSettings(program_, out);
    const WindowState main = StartAndShow();
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, kPageRecording));
    change_twice(0);
    program_.PressKey("F7");
    ASSERT_TRUE(WaitForLog(program_, "recording finished"));
    EXPECT_EQ(Occurrences(program_.LogText(), passed), 2u) << program_.LogText();
    ASSERT_TRUE(program_.WaitViewable(main.window, true));
    change_twice(1);
    program_.PressKey("F9");
    ASSERT_TRUE(program_.WaitViewable(main.window, false));
    EXPECT_EQ(Occurrences(program_.LogText(), passed), 2u) << program_.LogText();
    const auto files = Recordings(out);
    ASSERT_EQ(files.size(), 1u);
    const auto file = ProbeFile(files[0]);
    ASSERT_TRUE(file);
    EXPECT_GE(file->PacketsOf(file->FirstStreamOf(true)).size(), 1u);
}

TEST_F(MainWindowTest, AStoreThatCannotBeOpenedEndsTheStartWithoutAWindowAndSaysWhyInTheLog) {
    std::filesystem::create_directories(program_.Home() + "/.config/Vexa/VexaRecorder/settings.reg");
    pid_ = program_.Start();
    EXPECT_EQ(program_.WaitForExit(pid_, 20s), 255);  // -1
    EXPECT_FALSE(program_.FindWindow(kMainWindowClass, kTitle, 100ms));
    EXPECT_NE(program_.LogText().find("settings"), std::string::npos) << program_.LogText();
}

}  // namespace
}  // namespace vexa::test
