// The source panels of the real VexaRecorder on the virtual display, with the test sound server's
// two speakers and one microphone and the virtual camera: the further speaker in its drop-down,
// stored when ticked there, and the camera mode's preview that comes and goes with its tab.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "tests/shell/program_under_test.h"

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

TEST_F(SourcePanelsE2eTest, TheSecondSpeakerIsTickedInTheDropDownUnderItsButtonAndStored) {
    const WindowState main = Start();
    ClickIn(main, kSoundTabX, kSoundTabY);
    ClickIn(main, kSpeakerListX, kSpeakerListY);
    const auto pop = program_.FindWindow("VexaRecorder_PopListWnd", kUntitled, 5s);
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
    const auto preview = program_.FindWindow("Tolvo_Camera_Wnd", kUntitled, 5s);
    ASSERT_TRUE(preview) << program_.LogText();
    EXPECT_TRUE(program_.WaitViewable(preview->window, true));
    ClickIn(main, kScreenTabX, kScreenTabY);
    // Released: the window is gone (asking for its state would be an X error).
    EXPECT_TRUE(WaitFor([&] { return !program_.FindWindow("Tolvo_Camera_Wnd", kUntitled, 0ms); }));
    EXPECT_TRUE(program_.Running(pid_));
}

}  // namespace
}  // namespace vexa::test
