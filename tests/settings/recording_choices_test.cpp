#include "settings/recording_choices.h"

#include <gtest/gtest.h>

#include "settings/close_choice.h"
#include "settings/settings_catalog.h"
#include "tests/settings/temp_home.h"

namespace vexa::settings {
namespace {

using namespace settings;
using testing::Ok;
using testing::OpenStore;
using testing::TempHome;

std::vector<int> Positions(const std::vector<SoundRowChoice>& rows) {
    std::vector<int> positions;
    for (const SoundRowChoice& row : rows) positions.push_back(row.position);
    return positions;
}

TEST(RecordingChoices, AFreshStoreGivesEachModesDefaults) {
    TempHome home;
    auto key = OpenStore(home.StorePath());
    const RecordingChoices choices =
        LoadRecordingChoices(*key, {.speakers = 2, .microphones = 2, .cameras = 2});
    EXPECT_EQ(choices.output_folder, home.Home() + "/Documents/Miravo文件");
    EXPECT_EQ(choices.frame_rate, 20u);
    EXPECT_TRUE(choices.record_mouse);
    EXPECT_FALSE(choices.constant_frame_rate);
    EXPECT_EQ(Positions(choices.screen.speakers), std::vector<int>{0});
    EXPECT_TRUE(choices.screen.microphones.empty());
    EXPECT_EQ(choices.screen.speakers[0].volume, 100u);
    EXPECT_EQ(choices.screen.video_quality, 55u);
    EXPECT_EQ(choices.screen.audio_quality, 50u);
    EXPECT_EQ(Positions(choices.sound.speakers), std::vector<int>{0});
    EXPECT_EQ(Positions(choices.sound.microphones), std::vector<int>{0});
    EXPECT_EQ(choices.sound.video_quality, 0u);
    EXPECT_EQ(choices.sound.audio_quality, 70u);
    EXPECT_TRUE(choices.camera.speakers.empty());
    EXPECT_EQ(Positions(choices.camera.microphones), std::vector<int>{0});
    EXPECT_EQ(choices.camera.video_quality, 30u);
    EXPECT_TRUE(choices.screen_cameras.empty());
    EXPECT_EQ(choices.camera_index, 0);
    EXPECT_FALSE(std::filesystem::exists(choices.output_folder));  // reading creates nothing
}

TEST(RecordingChoices, StoredRowsVolumesAndQualitiesAreUsed) {
    TempHome home;
    auto key = OpenStore(home.StorePath());
    StoreSetting(*key, kDesktopSpeakerSel, 0, 0);
    StoreSetting(*key, kDesktopSpeakerSel, 1, 2);
    StoreSetting(*key, kDesktopSpeakerVol, 35, 2);
    StoreSetting(*key, kDesktopMicSel, 1, 1);
    StoreSetting(*key, kDesktopMicVol, 0, 1);
    StoreSetting(*key, kDesktopMicSel, 1, 5);  // beyond the device count: ignored
    StoreSetting(*key, kDesktopFrames, 30);
    StoreSetting(*key, kRecordMouse, 0);
    StoreSetting(*key, kConstantFrameRate, 1);
    StoreSetting(*key, kDesktopVideoQuality, 101);  // out of range: default
    StoreSetting(*key, kDesktopCameraSel, 1, 1);
    StoreSetting(*key, kCameraSelIndex, 3);  // not below the camera count: camera 0
    const std::string chosen = home.Root() + "/videos";
    std::filesystem::create_directories(chosen);
    ASSERT_TRUE(Ok(key->WriteString("output_dir", chosen)));

    const RecordingChoices choices =
        LoadRecordingChoices(*key, {.speakers = 3, .microphones = 2, .cameras = 2});
    EXPECT_EQ(choices.output_folder, chosen);
    EXPECT_EQ(choices.frame_rate, 30u);
    EXPECT_FALSE(choices.record_mouse);
    EXPECT_TRUE(choices.constant_frame_rate);
    ASSERT_EQ(Positions(choices.screen.speakers), std::vector<int>{2});
    EXPECT_EQ(choices.screen.speakers[0].volume, 35u);
    ASSERT_EQ(Positions(choices.screen.microphones), std::vector<int>{1});
    EXPECT_EQ(choices.screen.microphones[0].volume, 0u);
    EXPECT_EQ(choices.screen.video_quality, 55u);
    EXPECT_EQ(choices.screen_cameras, std::vector<int>{1});
    EXPECT_EQ(choices.camera_index, 0);
}

TEST(CloseChoice, TheIniAnswerWinsOverTheStoredChoice) {
    TempHome home;
    auto key = OpenStore(home.StorePath());
    SettingsIni ini(home.Root() + "/VexaRecorder.ini");
    EXPECT_TRUE(CloseButtonExits(*key, ini));  // fresh: the close button exits
    EXPECT_TRUE(AskOnClose(ini));
    StoreSetting(*key, kCloseTo, 1);
    ASSERT_TRUE(Ok(ini.WriteString("soft", "CloseWnd", "No")));
    EXPECT_FALSE(CloseButtonExits(*key, ini));
    ASSERT_TRUE(Ok(ini.WriteString("soft", "CloseWnd", "maybe")));
    EXPECT_TRUE(CloseButtonExits(*key, ini));
    StoreSetting(*key, kCloseTo, 0);
    EXPECT_FALSE(CloseButtonExits(*key, ini));
    ASSERT_TRUE(Ok(ini.WriteString("soft", "CloseWnd", "Yes")));
    EXPECT_TRUE(CloseButtonExits(*key, ini));

    StoreCloseChoice(*key, ini, false);
    EXPECT_EQ(key->ReadDword("close_to"), 0u);
    EXPECT_EQ(ini.GetString("soft", "CloseWnd"), "No");
    ASSERT_TRUE(Ok(ini.WriteString("soft", "ShowExitMsg", "No")));
    EXPECT_FALSE(AskOnClose(ini));
}

}  // namespace
}  // namespace vexa::settings
