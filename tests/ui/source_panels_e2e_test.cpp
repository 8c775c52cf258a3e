// The source panels of the real VexaRecorder on the virtual display, with the test sound server's
// two speakers and one microphone and the virtual camera: a start from every stored combination of
// ticks, the further speaker in its drop-down, stored when ticked there, and the camera mode's
// preview that comes and goes with its tab.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "tests/shell/program_under_test.h"
#include "tests/shell/recording_under_test.h"

namespace vexa::test {
namespace {

using namespace std::chrono_literals;

// The sound panel's speaker list button: left 510, top 179, 24 x 24.
constexpr int kSpeakerListX = 522, kSpeakerListY = 191;
constexpr int kSpeakerListLeft = 510, kSpeakerListBottom = 203;

class SourcePanelsE2eTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("VEXA_VIRTUAL_CAMERA", "1", 1); }
    void TearDown() override { unsetenv("VEXA_VIRTUAL_CAMERA"); }

    WindowState Start() {
        pid_ = program_.Start();
        const auto window = program_.FindWindow(kMainWindowClass, kTitle);
        if (!window || !program_.WaitViewable(window->window, true)) {
            ADD_FAILURE() << "no main window; log:\n" << program_.LogText();
            return {};
        }
        return program_.State(window->window);
    }
    void ClickIn(const WindowState& w, int x, int y) { program_.Click(w.x + x, w.y + y); }

    ProgramUnderTest program_;
    pid_t pid_ = 0;
};

// Each combination of the sound ticks, stored alike for the three panels, with the screen panel's
// camera ticked or not, the camera panel's choice inside or beyond its list, and each mode's tab
// shown at the start (the sound tab first with nothing ticked): the main window appears every time.
TEST_F(SourcePanelsE2eTest, TheProgramStartsFromEveryStoredCombinationOfTicks) {
    for (uint32_t ticks = 0; ticks < 8; ++ticks) {
        SCOPED_TRACE("ticks " + std::to_string(ticks));
        std::vector<std::pair<std::string, uint32_t>> values = {{"left_tab_sel", (ticks + 1) % 3},
                                                                {"desktop_camera_0_sel", ticks & 1},
                                                                {"camera_sel_index", ticks}};
        for (const std::string panel : {"desktop", "audio", "camera"}) {
            values.emplace_back(panel + "_speaker_0_sel", ticks & 1);
            values.emplace_back(panel + "_speaker_1_sel", ticks >> 1 & 1);
            values.emplace_back(panel + "_mic_0_sel", ticks >> 2 & 1);
        }
        StoreSettings(program_, program_.Folder().File("recordings"), values);
        Start();
        kill(pid_, SIGKILL);  // and its window gone, so that the next start is no second instance
        (void)program_.WaitForExit(pid_, 20s);
        EXPECT_TRUE(WaitFor([&] { return !program_.FindWindow(kMainWindowClass, kTitle, 0ms); }));
    }
}

TEST_F(SourcePanelsE2eTest, TheSecondSpeakerIsTickedInTheDropDownUnderItsButtonAndStored) {
    const WindowState main = Start();
    ClickIn(main, kSoundTabX, kSoundTabY);
    ClickIn(main, kSpeakerListX, kSpeakerListY);
    const auto pop = program_.FindWindow("VexaRecorder_PopListWnd", kUntitled);
    ASSERT_TRUE(pop) << program_.LogText();
    ASSERT_TRUE(program_.WaitViewable(pop->window, true));
    const WindowState shown = program_.State(pop->window);
    EXPECT_EQ(shown.width, 326);
    EXPECT_EQ(shown.height, 28 + 16);
    EXPECT_EQ(shown.x, main.x + kSpeakerListLeft);
    EXPECT_EQ(shown.y, main.y + kSpeakerListBottom);

    program_.Click(shown.x + 30, shown.y + 22);  // the row's box: inset 8 from the top, 11 from the left
    EXPECT_TRUE(WaitFor([&] {
        return program_.SettingsText().find("\"audio_speaker_1_sel\"=dword:00000001") != std::string::npos;
    })) << program_.SettingsText();
}

TEST_F(SourcePanelsE2eTest, TheCameraTabShowsThePreviewOfTheVirtualCameraAndTheScreenTabReleasesIt) {
    const WindowState main = Start();
    ClickIn(main, kCameraTabX, kCameraTabY);
    const auto preview = program_.FindWindow("Tolvo_Camera_Wnd", kUntitled);
    ASSERT_TRUE(preview) << program_.LogText();
    EXPECT_TRUE(program_.WaitViewable(preview->window, true));
    ClickIn(main, kScreenTabX, kScreenTabY);
    // Released: the window is gone (asking for its state would be an X error).
    EXPECT_TRUE(WaitFor([&] { return !program_.FindWindow("Tolvo_Camera_Wnd", kUntitled, 0ms); }));
    EXPECT_TRUE(program_.Running(pid_));
}

}  // namespace
}  // namespace vexa::test
