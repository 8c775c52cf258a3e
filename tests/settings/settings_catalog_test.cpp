#include "settings/settings_catalog.h"

#include <gtest/gtest.h>

#include <set>

#include "settings/hotkey_value.h"
#include "tests/settings/temp_home.h"

namespace vexa::settings {
namespace {

using namespace settings;
using testing::Ok;
using testing::OpenStore;
using testing::ReadFile;
using testing::TempHome;

class SettingsCatalog : public ::testing::Test {
  protected:
    TempHome home_;
    std::unique_ptr<SettingsKey> key_ = OpenStore(home_.StorePath());
};

// The one place the defaults are checked: the pages and panels show what the store reads.
TEST_F(SettingsCatalog, AFreshStoreReadsEveryDefault) {
    struct Case {
        const Setting& setting;
        int position;
        uint32_t reads;
    };
    const Case cases[] = {
        {kDesktopFrames, 0, 20},
        {kRecordMouse, 0, 1},
        {kConstantFrameRate, 0, 0},
        {kStartBeginRecord, 0, 0},
        {kCountDown, 0, 1},
        {kCountDownVal, 0, 3},
        {kRecordHideWnd, 0, 0},
        {kHideDeskAreaWnd, 0, 0},
        {kCloseTo, 0, 1},
        {kLeftTabSel, 0, 0},
        {kDesktopVideoQuality, 0, 55},
        {kDesktopAudioQuality, 0, 50},
        {kCameraVideoQuality, 0, 30},
        {kCameraAudioQuality, 0, 50},
        {kAudioAudioQuality, 0, 70},
        // Each mode ticks the first devices only: screen the speaker, sound both, camera the microphone.
        {kDesktopSpeakerSel, 0, 1},
        {kDesktopMicSel, 0, 0},
        {kAudioSpeakerSel, 0, 1},
        {kAudioMicSel, 0, 1},
        {kCameraSpeakerSel, 0, 0},
        {kCameraMicSel, 0, 1},
        {kDesktopSpeakerSel, 1, 0},
        {kAudioMicSel, 2, 0},
        {kCameraMicSel, 1, 0},
        {kDesktopMicVol, 3, 100},
        {kAudioSpeakerVol, 1, 100},
        {kCameraWndStyle, 0, 1},
        {kCameraFlip, 0, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadSetting(*key_, c.setting, c.position), c.reads) << c.setting.name << " " << c.position;
    EXPECT_EQ(HotkeyValue::Unpack(ReadSetting(*key_, kHotkeyStartStop)), (HotkeyValue{0x76, 0}));     // F7
    EXPECT_EQ(HotkeyValue::Unpack(ReadSetting(*key_, kHotkeyPause)), (HotkeyValue{0x77, 0}));         // F8
    EXPECT_EQ(HotkeyValue::Unpack(ReadSetting(*key_, kHotkeySelectRegion)), (HotkeyValue{0x75, 0}));  // F6
    EXPECT_EQ(HotkeyValue::Unpack(ReadSetting(*key_, kHotkeyShowHide)), (HotkeyValue{0x78, 0}));      // F9
    EXPECT_FALSE(ReadRectSetting(*key_, kDesktopSelectRgn));
    EXPECT_FALSE(ReadRecordSetting(*key_, kCameraFormat));
}

TEST_F(SettingsCatalog, OutOfRangeValuesReadAsTheDefaultOrTheirCap) {
    struct Case {
        const Setting& setting;
        uint32_t stored;
        uint32_t reads;
    };
    const Case cases[] = {
        {kCountDownVal, 0, 3},
        {kCountDownVal, 9, 5},
        {kCountDownVal, 4, 4},
        {kDesktopFrames, 25, 20},
        {kDesktopFrames, 24, 24},
        {kDesktopFrames, 0, 20},
        {kLeftTabSel, 3, 0},
        {kLeftTabSel, 2, 2},
        {kDesktopVideoQuality, 0, 55},
        {kDesktopVideoQuality, 101, 55},
        {kDesktopVideoQuality, 100, 100},
        {kDesktopSpeakerVol, 0, 0},
        {kDesktopSpeakerVol, 101, 100},
        {kRecordMouse, 2, 1},
        {kCloseTo, 0xffffffff, 1},
        {kCameraFlip, 7, 1},
        {kCameraFlip, 0, 0},
        {kCameraWndBorder, 2, 1},
        {kCameraWndStyle, 0, 0},
        {kCameraWndStyle, 5, 5},
        {kFloatWndAutoHide, 0x12345678, 0x12345678},
    };
    for (const Case& c : cases) {
        StoreSetting(*key_, c.setting, c.stored);
        EXPECT_EQ(ReadSetting(*key_, c.setting), c.reads) << c.setting.name << " stored as " << c.stored;
    }
}

TEST_F(SettingsCatalog, WrongTypesAndSizesReadAsDefaultsAndAreNeverWrittenBack) {
    ASSERT_TRUE(
        Ok(key_->WriteValue("desktop_frames", kRegDword, std::string(8, '\x05'))));      // QWORD-sized DWORD
    ASSERT_TRUE(Ok(key_->WriteBinary("count_down_val", std::string("\x02\0\0\0", 4))));  // binary, not DWORD
    ASSERT_TRUE(Ok(key_->WriteString("record_mouse", "0")));
    ASSERT_TRUE(Ok(key_->WriteDword("desktop_select_rgn", 1)));
    ASSERT_TRUE(Ok(key_->WriteBinary("camera_wnd_pos", std::string(15, '\0'))));
    const std::string before = ReadFile(home_.StorePath());

    EXPECT_EQ(ReadSetting(*key_, kDesktopFrames), 20u);
    EXPECT_EQ(ReadSetting(*key_, kCountDownVal), 3u);
    EXPECT_EQ(ReadSetting(*key_, kRecordMouse), 1u);
    EXPECT_FALSE(ReadRectSetting(*key_, kDesktopSelectRgn));
    EXPECT_FALSE(ReadRectSetting(*key_, kCameraWndPos));
    for (const Setting* setting : AllSettings()) {
        if (setting->kind == ValueKind::kDword) static_cast<void>(ReadSetting(*key_, *setting, 0, 1));
        if (setting->kind == ValueKind::kBinary16) static_cast<void>(ReadRecordSetting(*key_, *setting));
    }
    EXPECT_EQ(ReadFile(home_.StorePath()), before);
}

TEST_F(SettingsCatalog, HotkeysLoseBits3To23WhenRead) {
    StoreSetting(*key_, kHotkeyPause, 0x41fffffe);
    EXPECT_EQ(ReadSetting(*key_, kHotkeyPause), 0x41000006u);
    EXPECT_EQ(HotkeyValue::Unpack(0x41fffffe), (HotkeyValue{0x41, HotkeyValue::kCtrl | HotkeyValue::kShift}));
    EXPECT_EQ((HotkeyValue{0x76, HotkeyValue::kAlt}).Pack(), 0x76000001u);
    EXPECT_EQ((HotkeyValue{0x76, 0xff}).Pack(), 0x76000007u);
}

TEST_F(SettingsCatalog, CameraSelectionMustLieBelowTheCameraCount) {
    StoreSetting(*key_, kCameraSelIndex, 2);
    EXPECT_EQ(ReadSetting(*key_, kCameraSelIndex, 0, 3), 2u);
    EXPECT_EQ(ReadSetting(*key_, kCameraSelIndex, 0, 2), 0u);
}

TEST_F(SettingsCatalog, RectanglesKeepSignsAndCameraWindowsNeedTwentyPixels) {
    const Rect region{-10, 5, 1919, 1079};
    StoreRectSetting(*key_, kDesktopSelectRgn, region);
    EXPECT_EQ(ReadRectSetting(*key_, kDesktopSelectRgn), region);
    StoreRectSetting(*key_, kCameraWndPosAt, {-50, 0, -30, 20}, 2);
    EXPECT_TRUE(ReadRectSetting(*key_, kCameraWndPosAt, 2));
    StoreRectSetting(*key_, kCameraWndPosAt, {0, 0, 19, 100}, 1);
    EXPECT_FALSE(ReadRectSetting(*key_, kCameraWndPosAt, 1));
    StoreRectSetting(*key_, kCameraWndPos, {100, 100, 0, 0});
    EXPECT_FALSE(ReadRectSetting(*key_, kCameraWndPos));
    StoreRectSetting(*key_, kCameraWndPos, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
    EXPECT_TRUE(ReadRectSetting(*key_, kCameraWndPos));
}

TEST_F(SettingsCatalog, PerDeviceNamesCarryThePosition) {
    EXPECT_EQ(SettingName(kDesktopMicVol, 3), "desktop_mic_3_vol");
    EXPECT_EQ(SettingName(kCameraFormat, 3), "camera_format");
    StoreSetting(*key_, kAudioSpeakerVol, 42, 12);
    EXPECT_EQ(key_->ReadDword("audio_speaker_12_vol"), 42u);

    const auto match = FindSetting("Camera_Wnd_Pos_12");
    ASSERT_TRUE(match);
    EXPECT_EQ(match->setting, &kCameraWndPosAt);
    EXPECT_EQ(match->position, 12);
    EXPECT_EQ(FindSetting("camera_wnd_pos")->setting, &kCameraWndPos);
    EXPECT_FALSE(FindSetting("camera_wnd_pos_"));
    EXPECT_FALSE(FindSetting("camera_wnd_pos_01"));
    EXPECT_FALSE(FindSetting("camera_wnd_pos_-1"));
    EXPECT_FALSE(FindSetting("desktop_mic_x_vol"));
}

TEST_F(SettingsCatalog, EveryNameIsListedOnceAndFindsItself) {
    std::set<std::string_view> names;
    for (const Setting* setting : AllSettings()) {
        EXPECT_TRUE(names.insert(setting->name).second) << setting->name;
        const auto match = FindSetting(SettingName(*setting, 4));
        ASSERT_TRUE(match) << setting->name;
        EXPECT_EQ(match->setting, setting);
        EXPECT_FALSE(setting->meaning.empty());
    }
    EXPECT_EQ(names.size(), 47u);
}

}  // namespace
}  // namespace vexa::settings
