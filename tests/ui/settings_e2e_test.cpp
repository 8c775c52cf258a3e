// The settings page of the real VexaRecorder on the virtual display: a hotkey changed on the page is
// the one the main window answers, and the folder chosen in the desktop's chooser becomes the
// output folder while the main window waits for the chooser.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/shell/program_under_test.h"
// Last: Xlib's macros.
#include "tests/desktop/test_display.h"
#include <X11/keysym.h>

namespace vexa::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kChooserTitle = "选择录制文件存储目录";

// Points inside the 960 x 593 main window with the settings tab shown.
constexpr int kBrowseX = 805, kBrowseY = 105;
constexpr int kShowHideOptionX = 755, kShowHideOptionY = 198;
constexpr int kCtrlBoxX = 319, kCtrlBoxY = 244;
// The folder name field of the chooser (Qt's own dialog on a plain X server).
constexpr int kChooserFieldX = 300, kChooserFieldY = 360;

class SettingsPageE2eTest : public ::testing::Test {
  protected:
    WindowState StartOnSettingsTab() {
        program_.Start();
        const auto window = program_.FindWindow(kMainWindowClass, kTitle);
        if (!window || !program_.WaitViewable(window->window, true)) {
            ADD_FAILURE() << "no main window; log:\n" << program_.LogText();
            return {};
        }
        const WindowState main = program_.State(window->window);
        ClickIn(main, kSettingsTabX, kSettingsTabY);
        return main;
    }
    void ClickIn(const WindowState& w, int x, int y) { program_.Click(w.x + x, w.y + y); }
    bool SettingsHave(const std::string& line, std::chrono::milliseconds timeout = 20s) {
        return WaitFor([&] { return program_.SettingsText().find(line) != std::string::npos; }, timeout);
    }

    ProgramUnderTest program_;
    desktop::testing::TestDisplay keys_;
};

TEST_F(SettingsPageE2eTest, AHotkeyChangedOnThePageIsTheOneTheMainWindowAnswers) {
    const WindowState main = StartOnSettingsTab();
    ClickIn(main, kShowHideOptionX, kShowHideOptionY);
    ClickIn(main, kCtrlBoxX, kCtrlBoxY);  // show/hide becomes Ctrl+F9
    ASSERT_TRUE(SettingsHave("\"hotkey_1003\"=dword:78000002")) << program_.SettingsText();

    // Plain F9 is no hotkey any more: the program let its grab go, so another client can take it.
    EXPECT_TRUE(WaitFor([&] {
        if (!keys_.GrabKey(XK_F9, 0)) return false;
        keys_.UngrabKey(XK_F9, 0);
        return true;
    }));
    keys_.Tap({XK_Control_L}, XK_F9);
    EXPECT_TRUE(program_.WaitViewable(main.window, false));
    keys_.Tap({XK_Control_L}, XK_F9);
    EXPECT_TRUE(program_.WaitViewable(main.window, true));
}

TEST_F(SettingsPageE2eTest, TheFolderChosenInTheChooserBecomesTheOutputFolder) {
    const WindowState main = StartOnSettingsTab();
    const std::string documents = program_.Home() + "/Documents";
    ASSERT_TRUE(SettingsHave("\"output_dir\"=\"" + documents + "/Miravo文件\""));
    const std::string picked = documents + "/Miravo文件/picked";  // inside the folder the chooser opens
    std::filesystem::create_directories(picked);

    ClickIn(main, kBrowseX, kBrowseY);
    const auto chooser = program_.FindWindow("VexaRecorder", kChooserTitle);
    ASSERT_TRUE(chooser) << program_.LogText();
    ASSERT_TRUE(program_.WaitViewable(chooser->window, true));
    ClickIn(main, kSoundTabX, kSoundTabY);  // the main window takes no input while the chooser is up
    const WindowState dialog = program_.State(chooser->window);
    ClickIn(dialog, kChooserFieldX, kChooserFieldY);
    for (const KeySym key : {XK_p, XK_i, XK_c, XK_k, XK_e, XK_d}) {
        keys_.Tap({}, key);
        std::this_thread::sleep_for(50ms);
    }
    // The chooser goes away once it has answered. A first Return may only take the completion that
    // pops up under the field: a chooser still up long after it needs a second one (a Return sent
    // while it is closing would reach the page's focused button and open it again).
    const std::string chosen = "\"output_dir\"=\"" + picked + "\"";
    keys_.Tap({}, XK_Return);
    if (!program_.WaitViewable(chooser->window, false, 10s)) keys_.Tap({}, XK_Return);
    EXPECT_TRUE(SettingsHave(chosen)) << program_.SettingsText();
    // The click on the tab came before the keys: it has been handled (and ignored) by now.
    EXPECT_EQ(program_.SettingsText().find("\"left_tab_sel\"=dword:00000001"), std::string::npos);
    EXPECT_NE(program_.LogText().find("output folder is now " + picked), std::string::npos);
    ClickIn(main, kSoundTabX, kSoundTabY);  // and takes it again afterwards
    EXPECT_TRUE(SettingsHave("\"left_tab_sel\"=dword:00000001"));
}

}  // namespace
}  // namespace vexa::test
