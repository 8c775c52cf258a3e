// The V4L2 backend of CameraDevice: capture devices under /dev/video*, formats from
// VIDIOC_ENUM_FMT / ENUM_FRAMESIZES / ENUM_FRAMEINTERVALS, the format set with VIDIOC_S_FMT and
// VIDIOC_S_PARM, memory-mapped streaming on a thread of the device's own. Thread-safety as for
// every CameraDevice.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/camera/camera_device.h"

namespace vexa::platform {

// Video capture devices that can stream, by device number, with their card names (not yet unique).
[[nodiscard]] std::vector<CameraInfo> EnumerateV4l2Cameras();

// Opens the device at info.path and gives it info.name. Fails with the system's reason.
[[nodiscard]] Result<std::unique_ptr<CameraDevice>> OpenV4l2Camera(const CameraInfo& info);

// Stepwise size ranges are offered at their common sizes: those of a fixed list inside
// [min, max] on the step grid.
struct SizeRange {
    int min_width, max_width, step_width;
    int min_height, max_height, step_height;
};
[[nodiscard]] std::vector<std::pair<int, int>> CommonSizesWithin(const SizeRange& range);

// Continuous or stepwise frame-interval ranges (in 100-ns units) are offered at the common rates
// that fall inside them, fastest first.
[[nodiscard]] std::vector<int64_t> CommonFrameTimesWithin(int64_t min_frame_time, int64_t max_frame_time);

}  // namespace vexa::platform
