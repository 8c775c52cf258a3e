#include "settings/settings_catalog.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "settings/hotkey_value.h"
#include "platform/log/log.h"

namespace vexa::settings {
namespace {

constexpr const Setting* kCatalogue[] = {
    &kOutputDir,           &kDesktopFrames,       &kRecordMouse,        &kHotkeyStartStop,
    &kHotkeyPause,         &kHotkeySelectRegion,  &kHotkeyShowHide,     &kStartBeginRecord,
    &kCountDown,           &kCountDownVal,        &kRecordHideWnd,      &kCloseTo,
    &kHideDeskAreaWnd,     &kLeftTabSel,          &kFloatWndAutoHide,   &kDesktopSelectRgn,
    &kDesktopVideoQuality, &kDesktopAudioQuality, &kCameraVideoQuality, &kCameraAudioQuality,
    &kAudioAudioQuality,   &kDesktopSpeakerSel,   &kDesktopMicSel,      &kDesktopCameraSel,
    &kAudioSpeakerSel,     &kAudioMicSel,         &kCameraSpeakerSel,   &kCameraMicSel,
    &kDesktopSpeakerVol,   &kDesktopMicVol,       &kAudioSpeakerVol,    &kAudioMicVol,
    &kCameraSpeakerVol,    &kCameraMicVol,        &kCameraSelIndex,     &kCameraWndStyle,
    &kCameraWndPosAt,      &kCameraWndPos,        &kCameraWndBorderAt,  &kCameraWndBorder,
    &kCameraFlipAt,        &kCameraFlip,          &kCameraFormatAt,     &kCameraFormat,
    &kScreenCastToken,     &kHotkeyFocusNotice,   &kConstantFrameRate,
};

constexpr std::string_view kPositionMark = "%d";

// Applies the value's own check to a stored DWORD; nullopt means "use the default".
std::optional<uint32_t> Checked(const Setting& setting, uint32_t stored, uint32_t count) {
    switch (setting.check) {
        case Check::kRange:
            if (stored < setting.min || stored > setting.max) return std::nullopt;
            return stored;
        case Check::kRangeClampHigh:
            if (stored < setting.min) return std::nullopt;
            return std::min(stored, setting.max);
        case Check::kOneOf:
            if (std::find(setting.choices.begin(), setting.choices.end(), stored) == setting.choices.end())
                return std::nullopt;
            return stored;
        case Check::kHotkey:
            return stored & HotkeyValue::kUsedBits;
        case Check::kBelowCount:
            if (stored >= count) return std::nullopt;
            return stored;
        default:
            return stored;
    }
}

int32_t LoadInt32(const uint8_t* bytes) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | bytes[i];
    return static_cast<int32_t>(value);
}

void SaveInt32(uint8_t* bytes, int32_t signed_value) {
    const auto value = static_cast<uint32_t>(signed_value);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string_view AsBytes(const std::array<uint8_t, 16>& record) {
    return {reinterpret_cast<const char*>(record.data()), record.size()};
}

// The position in `stored` where "%d" of `pattern` stands, if the rest matches (case-insensitively).
std::optional<int> MatchPosition(std::string_view pattern, std::string_view stored) {
    const auto mark = pattern.find(kPositionMark);
    const std::string_view head = pattern.substr(0, mark);
    const std::string_view tail = pattern.substr(mark + kPositionMark.size());
    if (stored.size() <= head.size() + tail.size()) return std::nullopt;
    if (FoldName(stored.substr(0, head.size())) != head ||
        FoldName(stored.substr(stored.size() - tail.size())) != tail)
        return std::nullopt;
    const std::string_view digits = stored.substr(head.size(), stored.size() - head.size() - tail.size());
    if (digits.size() > 1 && digits.front() == '0') return std::nullopt;  // "%d" never writes leading zeros
    int position = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), position);
    if (error != std::errc() || end != digits.data() + digits.size() || position < 0) return std::nullopt;
    return position;
}

}  // namespace

std::span<const Setting* const> AllSettings() {
    return kCatalogue;
}

bool IsPerDevice(const Setting& setting) {
    return setting.name.find(kPositionMark) != std::string_view::npos;
}

std::string SettingName(const Setting& setting, int position) {
    std::string name(setting.name);
    if (const auto mark = name.find(kPositionMark); mark != std::string::npos)
        name.replace(mark, kPositionMark.size(), std::to_string(position));
    return name;
}

std::optional<SettingMatch> FindSetting(std::string_view stored_name) {
    const std::string folded = FoldName(stored_name);
    for (const Setting* setting : kCatalogue) {
        if (!IsPerDevice(*setting)) {
            if (folded == setting->name) return SettingMatch{setting, 0};
        } else if (const auto position = MatchPosition(setting->name, stored_name)) {
            return SettingMatch{setting, *position};
        }
    }
    return std::nullopt;
}

uint32_t DefaultOf(const Setting& setting, int position) {
    return IsPerDevice(setting) && position == 0 ? setting.fallback_at_first : setting.fallback;
}

uint32_t ReadSetting(const SettingsKey& key, const Setting& setting, int position, uint32_t count) {
    if (const auto stored = key.ReadDword(SettingName(setting, position))) {
        if (const auto valid = Checked(setting, *stored, count)) return *valid;
    }
    return DefaultOf(setting, position);
}

std::optional<std::array<uint8_t, 16>> ReadRecordSetting(const SettingsKey& key, const Setting& setting,
                                                         int position) {
    return key.ReadBinary16(SettingName(setting, position));
}

std::optional<Rect> ReadRectSetting(const SettingsKey& key, const Setting& setting, int position) {
    const auto bytes = ReadRecordSetting(key, setting, position);
    if (!bytes) return std::nullopt;
    const Rect rect = UnpackRect(*bytes);
    if (setting.check == Check::kRectMin20) {
        const int64_t width = int64_t{rect.right} - rect.left;
        const int64_t height = int64_t{rect.bottom} - rect.top;
        if (width < 20 || height < 20) return std::nullopt;
    }
    return rect;
}

void StoreSetting(SettingsKey& key, const Setting& setting, uint32_t value, int position) {
    log::Failure(key.WriteDword(SettingName(setting, position), value), "cannot store a setting");
}

void StoreRecordSetting(SettingsKey& key, const Setting& setting, const std::array<uint8_t, 16>& record,
                        int position) {
    log::Failure(key.WriteBinary(SettingName(setting, position), AsBytes(record)), "cannot store a setting");
}

void StoreRectSetting(SettingsKey& key, const Setting& setting, const Rect& rect, int position) {
    StoreRecordSetting(key, setting, PackRect(rect), position);
}

std::array<uint8_t, 16> PackRect(const Rect& rect) {
    std::array<uint8_t, 16> bytes{};
    SaveInt32(&bytes[0], rect.left);
    SaveInt32(&bytes[4], rect.top);
    SaveInt32(&bytes[8], rect.right);
    SaveInt32(&bytes[12], rect.bottom);
    return bytes;
}

Rect UnpackRect(const std::array<uint8_t, 16>& bytes) {
    return {LoadInt32(&bytes[0]), LoadInt32(&bytes[4]), LoadInt32(&bytes[8]), LoadInt32(&bytes[12])};
}

}  // namespace vexa::settings
