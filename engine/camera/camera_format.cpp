#include "engine/camera/camera_format.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vexa::engine {

using platform::CameraFormat;

bool IsUsableCameraFormat(const CameraFormat& f) {
    bool known = f.fourcc == platform::kFourCcYuyv || f.fourcc == platform::kFourCcMjpg;
    return known && f.width > 0 && f.height > 0 && f.frame_time > 0;
}

CameraFormatList BuildCameraFormatList(const std::vector<CameraFormat>& offered) {
    CameraFormatList list;
    for (const CameraFormat& f : offered) {
        ++list.examined;
        if (!IsUsableCameraFormat(f)) continue;
        bool duplicate = std::any_of(list.formats.begin(), list.formats.end(), [&](const CameraFormat& kept) {
            return kept.frame_time == f.frame_time && kept.width == f.width && kept.height == f.height;
        });
        if (!duplicate) list.formats.push_back(f);
    }
    std::stable_sort(list.formats.begin(), list.formats.end(),
                     [](const CameraFormat& a, const CameraFormat& b) {
                         if (a.width != b.width) return a.width > b.width;
                         if (a.height != b.height) return a.height > b.height;
                         return a.frame_time < b.frame_time;
                     });
    return list;
}

namespace {

int64_t NearestFrameTime(const std::vector<CameraFormat>& formats, int64_t target) {
    int64_t chosen = formats.front().frame_time;
    for (const CameraFormat& f : formats) {
        int64_t t = f.frame_time;
        bool replace = t > target ? t < chosen : std::llabs(target - t) < std::llabs(target - chosen);
        if (replace) chosen = t;
    }
    return chosen;
}

}  // namespace

int ChooseCameraFormat(const CameraFormatList& list, int width, int height, int fps) {
    if (list.formats.empty()) return -1;
    int64_t time = NearestFrameTime(list.formats, platform::FrameTimeOf(std::max(1, fps)));
    int best = -1;
    for (int i = 0; i < static_cast<int>(list.formats.size()); ++i) {
        const CameraFormat& f = list.formats[i];
        if (f.frame_time != time) continue;
        if (best < 0) {
            best = i;
            continue;
        }
        const CameraFormat& b = list.formats[best];
        int dw = std::abs(f.width - width), bw = std::abs(b.width - width);
        if (dw < bw || (dw == bw && std::abs(f.height - height) < std::abs(b.height - height))) best = i;
    }
    return best;
}

CameraFormatSetting CameraFormatSetting::Of(const CameraFormat& format) {
    return {format.width, format.height, platform::FramesPerSecond(format.frame_time), 0};
}

std::optional<CameraFormatSetting> CameraFormatSetting::FromBytes(std::span<const uint8_t> bytes) {
    if (bytes.size() != sizeof(CameraFormatSetting)) return std::nullopt;
    CameraFormatSetting setting;
    std::memcpy(&setting, bytes.data(), sizeof setting);
    return setting;
}

std::vector<uint8_t> CameraFormatSetting::ToBytes() const {
    std::vector<uint8_t> bytes(sizeof(CameraFormatSetting));
    std::memcpy(bytes.data(), this, bytes.size());
    return bytes;
}

std::string CameraFormatValueName(int position) {
    return position >= 0 ? "camera_format_" + std::to_string(position) : "camera_format";
}

std::string CameraFormatText(const CameraFormat& format) {
    return std::to_string(platform::FramesPerSecond(format.frame_time)) + " FPS,  " +
           std::to_string(format.width) + " \u00d7 " + std::to_string(format.height);
}

}  // namespace vexa::engine
