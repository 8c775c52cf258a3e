// The catalogue of every value in the settings store: name pattern, type, valid range, default and
// meaning, and the read rule that applies them. Pages read and write their values only through
// Read*/Store* below, so a value of the wrong type or size, or out of range, reads as its default
// everywhere alike, and reading never writes anything back.
//
// A "%d" in a name is the zero-based position of a device in its list (speakers and microphones
// have the default device at position 0; cameras are in enumeration order).
// The tables are constant; every function is thread-safe (SettingsKey is).
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "settings/settings_key.h"

namespace vexa::settings {

enum class ValueKind : uint8_t { kDword, kBinary16, kText };

enum class Check : uint8_t {
    kRange,           // min..max, anything else reads as the default
    kRangeClampHigh,  // below min reads as the default, above max reads as max
    kOneOf,           // must equal one of `choices`
    kAny,             // every stored DWORD counts
    kHotkey,          // every stored DWORD counts; bits 3..23 are cleared
    kBelowCount,      // below the device count the caller passes
    kRect,            // 16 bytes: left, top, right, bottom (signed 32-bit)
    kRectMin20,       // a rectangle at least 20 pixels wide and high
    kRecord,          // any 16 bytes
    kFolder,          // text naming an existing folder
    kToken,           // text handed out by the desktop, kept as it came
};

struct Setting {
    std::string_view name;
    ValueKind kind = ValueKind::kDword;
    Check check = Check::kAny;
    uint32_t min = 0;
    uint32_t max = 0;
    uint32_t fallback = 0;           // the default
    uint32_t fallback_at_first = 0;  // the default of position 0 for "%d" names
    std::span<const uint32_t> choices{};
    std::string_view meaning;
};

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    constexpr bool operator==(const Rect&) const = default;
};

inline constexpr std::array<uint32_t, 8> kFrameRates = {1, 5, 10, 15, 20, 24, 30, 50};

// Builders for the families of similar values.
constexpr Setting Flag(std::string_view name, uint32_t fallback, std::string_view meaning) {
    return {.name = name,
            .check = Check::kRange,
            .max = 1,
            .fallback = fallback,
            .fallback_at_first = fallback,
            .meaning = meaning};
}
constexpr Setting Quality(std::string_view name, uint32_t fallback, std::string_view meaning) {
    return {.name = name,
            .check = Check::kRange,
            .min = 1,
            .max = 100,
            .fallback = fallback,
            .fallback_at_first = fallback,
            .meaning = meaning};
}
constexpr Setting Hotkey(std::string_view name, uint32_t key_code, std::string_view meaning) {
    return {.name = name,
            .check = Check::kHotkey,
            .fallback = key_code << 24,
            .fallback_at_first = key_code << 24,
            .meaning = meaning};
}
constexpr Setting DeviceSelection(std::string_view name, uint32_t at_first, std::string_view meaning) {
    return {
        .name = name, .check = Check::kRange, .max = 1, .fallback_at_first = at_first, .meaning = meaning};
}
constexpr Setting DeviceVolume(std::string_view name, std::string_view meaning) {
    return {.name = name,
            .check = Check::kRange,
            .max = 100,
            .fallback = 100,
            .fallback_at_first = 100,
            .meaning = meaning};
}

inline constexpr Setting kOutputDir{.name = "output_dir",
                                    .kind = ValueKind::kText,
                                    .check = Check::kFolder,
                                    .meaning = "folder for new recordings"};
inline constexpr Setting kDesktopFrames{.name = "desktop_frames",
                                        .check = Check::kOneOf,
                                        .fallback = 20,
                                        .fallback_at_first = 20,
                                        .choices = kFrameRates,
                                        .meaning = "frames per second of screen recording"};
inline constexpr Setting kRecordMouse =
    Flag("record_mouse", 1, "draw the mouse cursor into screen recordings");
inline constexpr Setting kConstantFrameRate =
    Flag("constant_frame_rate", 0, "screen recordings have one picture per frame period (for video editors)");
inline constexpr Setting kHotkeyStartStop =
    Hotkey("hotkey_1000", 0x76u, "hotkey: start / stop recording (F7)");
inline constexpr Setting kHotkeyPause = Hotkey("hotkey_1001", 0x77u, "hotkey: pause / resume recording (F8)");
inline constexpr Setting kHotkeySelectRegion =
    Hotkey("hotkey_1002", 0x75u, "hotkey: select the screen region (F6)");
inline constexpr Setting kHotkeyShowHide =
    Hotkey("hotkey_1003", 0x78u, "hotkey: show / hide the main window (F9)");
inline constexpr Setting kStartBeginRecord =
    Flag("start_begin_record", 0, "start recording as soon as the program has started");
inline constexpr Setting kCountDown = Flag("count_down", 1, "count down before a recording starts");
inline constexpr Setting kCountDownVal{.name = "count_down_val",
                                       .check = Check::kRangeClampHigh,
                                       .min = 1,
                                       .max = 5,
                                       .fallback = 3,
                                       .fallback_at_first = 3,
                                       .meaning = "seconds of the count-down (above 5 reads as 5)"};
inline constexpr Setting kRecordHideWnd =
    Flag("record_hide_wnd", 0, "hide the floating control bar while recording");
inline constexpr Setting kCloseTo =
    Flag("close_to", 1, "1 the close button exits, 0 it minimises to the tray");
inline constexpr Setting kHideDeskAreaWnd =
    Flag("hide_desk_area_wnd", 0, "hide the frame around the recorded region while recording");
inline constexpr Setting kLeftTabSel{.name = "left_tab_sel",
                                     .check = Check::kRange,
                                     .max = 2,
                                     .meaning = "last selected mode tab (0 screen, 1 sound, 2 camera)"};
inline constexpr Setting kFloatWndAutoHide{
    .name = "floatwnd_auto_hide",
    .check = Check::kAny,
    .meaning = "auto-hide of the floating control bar (non-zero is on)"};
inline constexpr Setting kDesktopSelectRgn{.name = "desktop_select_rgn",
                                           .kind = ValueKind::kBinary16,
                                           .check = Check::kRect,
                                           .meaning = "last screen region (default: the whole screen)"};
inline constexpr Setting kDesktopVideoQuality =
    Quality("desktop_video_quality", 55, "video quality, screen mode");
inline constexpr Setting kDesktopAudioQuality =
    Quality("desktop_audio_quality", 50, "audio quality, screen mode");
inline constexpr Setting kCameraVideoQuality =
    Quality("camera_video_quality", 30, "video quality, camera mode");
inline constexpr Setting kCameraAudioQuality =
    Quality("camera_audio_quality", 50, "audio quality, camera mode");
inline constexpr Setting kAudioAudioQuality =
    Quality("audio_audio_quality", 70, "audio quality, sound-only mode");
inline constexpr Setting kDesktopSpeakerSel =
    DeviceSelection("desktop_speaker_%d_sel", 1, "speaker recorded in screen mode");
inline constexpr Setting kDesktopMicSel =
    DeviceSelection("desktop_mic_%d_sel", 0, "microphone recorded in screen mode");
inline constexpr Setting kDesktopCameraSel =
    DeviceSelection("desktop_camera_%d_sel", 0, "camera shown in screen mode");
inline constexpr Setting kAudioSpeakerSel =
    DeviceSelection("audio_speaker_%d_sel", 1, "speaker recorded in sound-only mode");
inline constexpr Setting kAudioMicSel =
    DeviceSelection("audio_mic_%d_sel", 1, "microphone recorded in sound-only mode");
inline constexpr Setting kCameraSpeakerSel =
    DeviceSelection("camera_speaker_%d_sel", 0, "speaker recorded in camera mode");
inline constexpr Setting kCameraMicSel =
    DeviceSelection("camera_mic_%d_sel", 1, "microphone recorded in camera mode");
inline constexpr Setting kDesktopSpeakerVol =
    DeviceVolume("desktop_speaker_%d_vol", "speaker volume, screen mode");
inline constexpr Setting kDesktopMicVol =
    DeviceVolume("desktop_mic_%d_vol", "microphone volume, screen mode");
inline constexpr Setting kAudioSpeakerVol =
    DeviceVolume("audio_speaker_%d_vol", "speaker volume, sound-only mode");
inline constexpr Setting kAudioMicVol =
    DeviceVolume("audio_mic_%d_vol", "microphone volume, sound-only mode");
inline constexpr Setting kCameraSpeakerVol =
    DeviceVolume("camera_speaker_%d_vol", "speaker volume, camera mode");
inline constexpr Setting kCameraMicVol = DeviceVolume("camera_mic_%d_vol", "microphone volume, camera mode");
inline constexpr Setting kCameraSelIndex{
    .name = "camera_sel_index", .check = Check::kBelowCount, .meaning = "the one camera of camera mode"};
inline constexpr Setting kCameraWndStyle{
    .name = "camera_wnd_style_%d",
    .check = Check::kAny,
    .fallback = 1,
    .fallback_at_first = 1,
    .meaning = "camera window shape in screen mode: 0 rectangle, else circle"};
inline constexpr Setting kCameraWndPosAt{.name = "camera_wnd_pos_%d",
                                         .kind = ValueKind::kBinary16,
                                         .check = Check::kRectMin20,
                                         .meaning = "camera window position in screen mode"};
inline constexpr Setting kCameraWndPos{.name = "camera_wnd_pos",
                                       .kind = ValueKind::kBinary16,
                                       .check = Check::kRectMin20,
                                       .meaning = "preview position in camera mode"};
inline constexpr Setting kCameraWndBorderAt{.name = "camera_wnd_border_%d",
                                            .check = Check::kRangeClampHigh,
                                            .max = 1,
                                            .fallback = 1,
                                            .fallback_at_first = 1,
                                            .meaning = "0 draws the camera window's frame, 1 does not"};
inline constexpr Setting kCameraWndBorder{.name = "camera_wnd_border",
                                          .check = Check::kRangeClampHigh,
                                          .max = 1,
                                          .fallback = 1,
                                          .fallback_at_first = 1,
                                          .meaning = "0 draws the preview window's frame, 1 does not"};
inline constexpr Setting kCameraFlipAt{.name = "camera_flip_%d",
                                       .check = Check::kRangeClampHigh,
                                       .max = 1,
                                       .fallback = 1,
                                       .fallback_at_first = 1,
                                       .meaning = "1 camera picture mirrored, 0 not (screen mode)"};
inline constexpr Setting kCameraFlip{.name = "camera_flip",
                                     .check = Check::kRangeClampHigh,
                                     .max = 1,
                                     .fallback = 1,
                                     .fallback_at_first = 1,
                                     .meaning = "1 camera picture mirrored, 0 not (camera mode)"};
inline constexpr Setting kCameraFormatAt{
    .name = "camera_format_%d",
    .kind = ValueKind::kBinary16,
    .check = Check::kRecord,
    .meaning = "chosen capture format: width, height, fps, 0 (screen mode)"};
inline constexpr Setting kCameraFormat{
    .name = "camera_format",
    .kind = ValueKind::kBinary16,
    .check = Check::kRecord,
    .meaning = "chosen capture format: width, height, fps, 0 (camera mode)"};

inline constexpr Setting kScreenCastToken{
    .name = "screencast_restore_token",
    .kind = ValueKind::kText,
    .check = Check::kToken,
    .meaning = "the desktop's permission to record the screen without asking (Wayland portal)"};
inline constexpr Setting kHotkeyFocusNotice = Flag(
    "hotkey_focus_notice", 0, "the user was told that the hotkeys work only while the program has the focus");

// Every setting of the store, in the order of the table above.
[[nodiscard]] std::span<const Setting* const> AllSettings();

// Whether the setting's name holds a device position.
[[nodiscard]] bool IsPerDevice(const Setting& setting);

// The stored name: "%d" replaced by `position` (ignored for names without it).
[[nodiscard]] std::string SettingName(const Setting& setting, int position = 0);

// The catalogue entry of a concrete stored name, with the position it carries (0 if none).
struct SettingMatch {
    const Setting* setting = nullptr;
    int position = 0;
};
[[nodiscard]] std::optional<SettingMatch> FindSetting(std::string_view stored_name);

// The default of a DWORD setting at a position.
[[nodiscard]] uint32_t DefaultOf(const Setting& setting, int position = 0);

// The read rule for DWORD settings: the stored value if it is a 4-byte DWORD that passes the check,
// else the default. `count` bounds kBelowCount settings.
[[nodiscard]] uint32_t ReadSetting(const SettingsKey& key, const Setting& setting, int position = 0,
                                   uint32_t count = std::numeric_limits<uint32_t>::max());

// The stored value if it is exactly 16 binary bytes that pass the check; else nullopt (the caller
// owns the default, which depends on the screen or the camera).
[[nodiscard]] std::optional<Rect> ReadRectSetting(const SettingsKey& key, const Setting& setting,
                                                  int position = 0);
[[nodiscard]] std::optional<std::array<uint8_t, 16>> ReadRecordSetting(const SettingsKey& key,
                                                                       const Setting& setting,
                                                                       int position = 0);

// Writes in the store's one format. A failed write is logged and otherwise ignored: the next read
// shows the old value.
void StoreSetting(SettingsKey& key, const Setting& setting, uint32_t value, int position = 0);
void StoreRectSetting(SettingsKey& key, const Setting& setting, const Rect& rect, int position = 0);
void StoreRecordSetting(SettingsKey& key, const Setting& setting, const std::array<uint8_t, 16>& record,
                        int position = 0);

// Rectangles in their 16-byte stored form (four little-endian signed 32-bit integers).
[[nodiscard]] std::array<uint8_t, 16> PackRect(const Rect& rect);
[[nodiscard]] Rect UnpackRect(const std::array<uint8_t, 16>& bytes);

}  // namespace vexa::settings
