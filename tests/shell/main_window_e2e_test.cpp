// The real VexaRecorder on the virtual display: one instance per user, the exit prompt and its
// answers, the tray choice, -autostart, the show/hide hotkey, the remembered tab, and a failing
// start. Each test has its own copy of the program, HOME and ini.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "tests/shell/program_under_test.h"
#include "tests/shell/tray_host.h"

namespace vexa::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kClass = "VexaRecorder_Main_Window";
constexpr const char* kTitle = "Miravo";

// Points inside the 960 x 593 main window (and the exit prompt, which covers it exactly).
constexpr int kCloseX = 936, kCloseY = 25;
constexpr int kSoundTabX = 76, kSoundTabY = 150;
constexpr int kSettingsTabX = 76, kSettingsTabY = 266;
constexpr int kOkX = 526, kOkY = 383;
constexpr int kTrayChoiceX = 340, kTrayChoiceY = 280;
constexpr int kDoNotAskX = 320, kDoNotAskY = 383;

class MainWindowTest : public ::testing::Test {
  protected:
    WindowState StartAndShow(const std::vector<std::string>& arguments = {}) {
        pid_ = program_.Start(arguments);
        const auto window = program_.FindWindow(kClass, kTitle);
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
        const auto prompt = program_.FindWindow("MessageWnd", kTitle, 5s);
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
    EXPECT_EQ(program_.WaitForExit(second, 10s), 0);
    EXPECT_TRUE(program_.WaitViewable(main.window, true));
    EXPECT_TRUE(program_.Running(pid_));
    EXPECT_NE(program_.LogText().find("another start asked for the main window"), std::string::npos);
}

TEST_F(MainWindowTest, AWindowOfTheClassWithAnotherTitleIsNoRunningInstance) {
    const unsigned long decoy = program_.CreateWindow(kClass, "Not Miravo");
    const WindowState main = StartAndShow();
    EXPECT_NE(main.window, decoy);
    EXPECT_TRUE(main.viewable);
}

TEST_F(MainWindowTest, AutostartInCapitalsKeepsTheWindowHiddenUntilAnotherStart) {
    pid_ = program_.Start({"-AUTOSTART"});
    const auto window = program_.FindWindow(kClass, kTitle);
    ASSERT_TRUE(window);
    std::this_thread::sleep_for(1s);
    EXPECT_FALSE(program_.State(window->window).viewable);
    EXPECT_EQ(program_.WaitForExit(program_.Start(), 10s), 0);
    EXPECT_TRUE(program_.WaitViewable(window->window, true));
}

TEST_F(MainWindowTest, TheFirstCloseOffersExitWhichEndsTheProgram) {
    const WindowState main = StartAndShow();
    const WindowState prompt = OpenPrompt(main);
    program_.PressKey("F9");  // while the prompt runs, show/hide does nothing
    EXPECT_TRUE(program_.State(main.window).viewable);
    ClickIn(prompt, kOkX, kOkY);  // "退出程序" is preselected
    EXPECT_EQ(program_.WaitForExit(pid_, 10s), 0);
    EXPECT_NE(program_.IniText().find("CloseWnd=Yes"), std::string::npos);
}

TEST_F(MainWindowTest, ChoosingTheTrayHidesTheWindowStoresTheChoiceAndAsksAgainNextTime) {
    const WindowState main = StartAndShow();
    WindowState prompt = OpenPrompt(main);
    ClickIn(prompt, kTrayChoiceX, kTrayChoiceY);
    ClickIn(prompt, kOkX, kOkY);
    EXPECT_TRUE(program_.WaitViewable(main.window, false));
    EXPECT_TRUE(program_.Running(pid_));
    EXPECT_NE(program_.IniText().find("CloseWnd=No"), std::string::npos);

    EXPECT_EQ(program_.WaitForExit(program_.Start(), 10s), 0);  // a second start brings it back
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
    EXPECT_EQ(program_.WaitForExit(pid_, 10s), 0);
    EXPECT_TRUE(tray.WaitDocked(false));
}

TEST_F(MainWindowTest, DoNotAskAgainWithExitMakesLaterClosesExitAtOnce) {
    WindowState main = StartAndShow();
    const WindowState prompt = OpenPrompt(main);
    ClickIn(prompt, kDoNotAskX, kDoNotAskY);
    ClickIn(prompt, kOkX, kOkY);
    ASSERT_EQ(program_.WaitForExit(pid_, 10s), 0);
    EXPECT_NE(program_.IniText().find("ShowExitMsg=No"), std::string::npos);

    main = StartAndShow();
    ClickIn(main, kCloseX, kCloseY);
    EXPECT_EQ(program_.WaitForExit(pid_, 10s), 0);
    EXPECT_FALSE(program_.FindWindow("MessageWnd", kTitle, 100ms));
}

TEST_F(MainWindowTest, TheLastModeTabIsRememberedAndTheSettingsTabNever) {
    const WindowState main = StartAndShow();
    ClickIn(main, kSoundTabX, kSoundTabY);
    ClickIn(main, kSettingsTabX, kSettingsTabY);
    EXPECT_NE(program_.SettingsText().find("\"left_tab_sel\"=dword:00000001"), std::string::npos)
        << program_.SettingsText();
}

TEST_F(MainWindowTest, AStoreThatCannotBeOpenedEndsTheStartWithoutAWindowAndSaysWhyInTheLog) {
    std::filesystem::create_directories(program_.Home() + "/.config/Vexa/VexaRecorder/settings.reg");
    pid_ = program_.Start();
    EXPECT_EQ(program_.WaitForExit(pid_, 10s), 255);  // -1
    EXPECT_FALSE(program_.FindWindow(kClass, kTitle, 100ms));
    EXPECT_NE(program_.LogText().find("settings"), std::string::npos) << program_.LogText();
}

}  // namespace
}  // namespace vexa::test
