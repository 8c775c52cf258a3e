// The real VexaRecorder speaks the locale's language: the texts of its controls (from the layouts,
// and those its code sets) and of its exit prompt, read back from the running program under a
// Chinese locale, the C locale and a locale without a catalogue of its own.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tests/shell/program_under_test.h"

namespace vexa::test {
namespace {

using namespace std::chrono_literals;
using Texts = std::map<std::string, std::pair<std::string, std::string>>;

constexpr int kCloseX = 936, kCloseY = 25;  // the main window's close button

struct Expected {
    const char* screen_tab;     // a layout text
    const char* speaker_box;    // set by the code from a text with a placeholder
    const char* region_info;    // set by the code
    const char* close_tooltip;  // a tooltip set by the code
    const char* start_tooltip;  // a layout tooltip
    const char* prompt_choice;  // a layout text of another window
};

constexpr Expected kChinese{"屏幕录制", "扬声器 1",     "全屏",
                            "退出程序", "开始录制  F7", "最小化到托盘，不退出程序"};
constexpr Expected kEnglish{"Screen", "Speaker 1",           "Full",
                            "Exit",   "Start recording  F7", "Minimize to the tray, keep running"};

struct LocaleCase {
    const char* name;
    const char* language;
    const char* lang;
    Expected expected;
};

class LanguageTest : public ::testing::TestWithParam<LocaleCase> {};

// Waits until the window's published texts hold `name` with `text`; the texts as last read.
Texts WaitForText(ProgramUnderTest& program, unsigned long window, const std::string& name,
                  const std::string& text) {
    Texts texts;
    (void)WaitFor([&] {
        texts = program.ControlTexts(window);
        const auto it = texts.find(name);
        return it != texts.end() && it->second.first == text;
    });
    return texts;
}

TEST_P(LanguageTest, TheWindowsShowTheTextsOfTheLocale) {
    const LocaleCase& c = GetParam();
    ProgramUnderTest program;
    program.SetEnvironment("LANGUAGE", c.language);
    program.SetEnvironment("LC_ALL", "");
    program.SetEnvironment("LC_MESSAGES", "");
    program.SetEnvironment("LANG", c.lang);
    program.Start();
    const auto main = program.FindWindow(kMainWindowClass, kTitle);
    ASSERT_TRUE(main) << program.LogText();
    ASSERT_TRUE(program.WaitViewable(main->window, true));

    // The code sets the speaker row's name once the devices are listed: wait for that one.
    Texts texts = WaitForText(program, main->window, "speaker_select_box", c.expected.speaker_box);
    EXPECT_EQ(texts["desktop_btn"].first, c.expected.screen_tab);
    EXPECT_EQ(texts["speaker_select_box"].first, c.expected.speaker_box);
    EXPECT_EQ(texts["sel_rgn_btn_info"].first, c.expected.region_info);
    EXPECT_EQ(texts["main_closebtn"].second, c.expected.close_tooltip);
    EXPECT_EQ(texts["start_stop_btn"].second, c.expected.start_tooltip);

    const WindowState state = program.State(main->window);
    program.Click(state.x + kCloseX, state.y + kCloseY);
    const auto prompt = program.FindWindow("MessageWnd", kTitle);
    ASSERT_TRUE(prompt);
    ASSERT_TRUE(program.WaitViewable(prompt->window, true));
    texts = WaitForText(program, prompt->window, "optMin", c.expected.prompt_choice);
    EXPECT_EQ(texts["optMin"].first, c.expected.prompt_choice);
}

std::string CaseName(const ::testing::TestParamInfo<LocaleCase>& param) {
    return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Locales, LanguageTest,
    ::testing::Values(LocaleCase{"Chinese", "", "zh_CN.UTF-8", kChinese},  // the source texts
                      LocaleCase{"CLocale", "", "C", kEnglish},            // gettext alone says nothing
                      LocaleCase{"German", "de_DE:de", "de_DE.UTF-8", kEnglish}),  // no catalogue
    CaseName);

}  // namespace
}  // namespace vexa::test
