// The formats a camera offers as the user chooses among them, and the stored choice.
// CameraFormatList keeps only YUY2 and MJPG formats, each size and frame time once, sorted by width
// and height descending and then by frame time ascending (highest rate first). CameraFormatSetting
// is the 16-byte value the settings store keeps per camera. Pure values; thread-compatible.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/camera/camera_device.h"

namespace vexa::engine {

struct CameraFormatList {
    std::vector<platform::CameraFormat> formats;
    int examined = 0;  // every offered format looked at, kept or not

    [[nodiscard]] bool Usable() const { return !formats.empty(); }
};

// YUY2 or MJPG with a positive size and frame time.
[[nodiscard]] bool IsUsableCameraFormat(const platform::CameraFormat& format);

// Filters, de-duplicates (same frame time, width and height: the first one offered stays) and sorts.
[[nodiscard]] CameraFormatList BuildCameraFormatList(const std::vector<platform::CameraFormat>& offered);

// The listed format nearest to a stored choice: first the frame time nearest to that of fps (a
// longer time replaces the current pick only when shorter than it; a time not longer than the
// target replaces it when strictly nearer), then among those the nearest width, then height.
// -1 for an empty list.
[[nodiscard]] int ChooseCameraFormat(const CameraFormatList& list, int width, int height, int fps);

// The stored format: width, height, frames per second and a zero, each 32-bit.
struct CameraFormatSetting {
    int32_t width = 0;
    int32_t height = 0;
    int32_t fps = 0;
    int32_t reserved = 0;

    [[nodiscard]] static CameraFormatSetting Of(const platform::CameraFormat& format);
    // Exactly 16 bytes, else nothing.
    [[nodiscard]] static std::optional<CameraFormatSetting> FromBytes(std::span<const uint8_t> bytes);
    [[nodiscard]] std::vector<uint8_t> ToBytes() const;
};
static_assert(sizeof(CameraFormatSetting) == 16);

// "camera_format_%d" for a window of a panel list (position ≥ 0), else "camera_format".
[[nodiscard]] std::string CameraFormatValueName(int position);

// "%d FPS,  %d × %d": the format list's row text.
[[nodiscard]] std::string CameraFormatText(const platform::CameraFormat& format);

}  // namespace vexa::engine
