// The virtual test camera: a camera device without hardware that paints a moving test pattern with
// a visible frame counter and delivers it at the chosen format's rate, in YUYV or as MJPG pictures
// made by FFmpeg's MJPEG encoder. It stands behind the same CameraDevice interface as a V4L2 device,
// so everything above the device layer runs unchanged.
//
// Environment (read by EnumerateCameras / OpenCameraDevice):
//   VEXA_VIRTUAL_CAMERA          "1" (YUYV:640x480@30, MJPG:1280x720@30, MJPG:640x480@30) or a
//                                 comma list of FOURCC:WxH@FPS entries; any other four-character
//                                 code (e.g. NV12) is offered but cannot stream, so a list of
//                                 only such entries plays a camera without a usable format.
//   VEXA_VIRTUAL_CAMERA_BUSY     "1": every format change and stream start reports the device busy.
//   VEXA_VIRTUAL_CAMERA_CORRUPT  N > 0: every N-th MJPG picture is garbage.
//   VEXA_VIRTUAL_CAMERA_UNPLUG   N > 0: the camera is "unplugged" after N pictures (no more arrive).
// Pictures run on the camera's own clock: one whose time passed while the consumer was busy is
// skipped, as a real device drops it.
// Thread-safety as for every CameraDevice.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/camera/camera_device.h"

namespace vexa::platform {

inline constexpr const char* kVirtualCameraName = "Virtual Camera";

struct VirtualCameraConfig {
    std::vector<CameraFormat> formats;
    bool busy = false;
    int corrupt_every = 0;  // 0: never
    int unplug_after = 0;   // 0: never
};

// Parses "1" or "FOURCC:WxH@FPS,..." into formats; nullopt for an empty or malformed text.
[[nodiscard]] std::optional<std::vector<CameraFormat>> ParseVirtualFormats(std::string_view text);

// The configuration the environment asks for; nullopt when VEXA_VIRTUAL_CAMERA is unset or invalid.
[[nodiscard]] std::optional<VirtualCameraConfig> VirtualCameraFromEnvironment();

[[nodiscard]] std::unique_ptr<CameraDevice> CreateVirtualCamera(VirtualCameraConfig config);

// Processor time (nanoseconds, all virtual cameras of the process) spent painting and encoding
// pictures: benchmarks subtract it to count only what a real camera would cost.
[[nodiscard]] int64_t VirtualCameraGeneratorCpuNs();
// Pictures whose time passed while the previous one was still being consumed (never made).
[[nodiscard]] uint64_t VirtualCameraMissedPictures();

}  // namespace vexa::platform
