#include "platform/camera/camera_device.h"

#include <strings.h>

#include <cerrno>
#include <cmath>
#include <map>

#include "platform/camera/v4l2_camera.h"
#include "platform/camera/virtual_camera.h"

namespace vexa::platform {

uint32_t CameraErrnoCode(int error) {
    if (error == EBUSY) return kCameraBusy;
    return 0x80070000u | (static_cast<uint32_t>(error) & 0xFFFFu);
}

Error CameraErrnoError(int error, const std::string& what) {
    const Error system = Error::FromErrno(error, what);
    return Error(system.code(), system.message(), CameraErrnoCode(error));
}

Error CameraFailure(ErrorCode code, const std::string& what) {
    return Error(code, what, kCameraFailed);
}

std::string FourCcText(uint32_t fourcc) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) text[i] = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
    return text;
}

int FramesPerSecond(int64_t frame_time) {
    if (frame_time <= 0) return 0;
    return static_cast<int>(std::floor(10'000'000.0 / static_cast<double>(frame_time) + 0.5));
}

int64_t FrameTimeOf(int fps) {
    if (fps <= 0) return 0;
    return (10'000'000 + fps / 2) / fps;
}

void MakeNamesUnique(std::vector<CameraInfo>& cameras) {
    std::map<std::string, int> seen;
    for (CameraInfo& camera : cameras) {
        int count = ++seen[camera.name];
        if (count > 1) camera.name += " (" + std::to_string(count) + ")";
    }
}

std::vector<CameraInfo> EnumerateCameras() {
    std::vector<CameraInfo> cameras = EnumerateV4l2Cameras();
    if (VirtualCameraFromEnvironment()) cameras.push_back({kVirtualCameraName, "virtual"});
    MakeNamesUnique(cameras);
    return cameras;
}

Result<std::unique_ptr<CameraDevice>> OpenCameraDevice(const std::string& name) {
    for (const CameraInfo& camera : EnumerateCameras()) {
        if (strcasecmp(camera.name.c_str(), name.c_str()) != 0) continue;
        if (camera.path == "virtual") {
            auto config = VirtualCameraFromEnvironment();
            if (!config) break;
            return CreateVirtualCamera(std::move(*config));
        }
        return OpenV4l2Camera(camera);
    }
    return CameraFailure(ErrorCode::kNotFound, "no camera '" + name + "'");
}

}  // namespace vexa::platform
