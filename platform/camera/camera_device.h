// Camera devices as the camera capture sees them: a list of cameras with unique friendly names,
// the formats each offers, one format set at a time, and memory-mapped streaming whose pictures
// arrive on a thread of the device's own.
//
// Two backends stand behind the same interface: V4L2 capture devices (/dev/video*) and the virtual
// test camera (virtual_camera.h). A device is owned by one CCamera; its calls are made by one thread
// at a time, except that the picture callback runs on the device's streaming thread.
// StopStreaming joins that thread and must not be called from inside the callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"

namespace vexa::platform {

// Failures of the camera layer are Errors whose native code is the number the camera window shows
// ("0x%08X"): kCameraBusy for a device that another program holds, 0x8007xxxx with the errno in the
// low 16 bits for other system errors, kCameraFailed for failures without one.
inline constexpr uint32_t kCameraBusy = 0x00040268;
inline constexpr uint32_t kCameraFailed = 0x80004005;
// The native code of a system error: kCameraBusy for EBUSY, else 0x8007xxxx.
[[nodiscard]] uint32_t CameraErrnoCode(int error);
// "<what>: <strerror>" with the errno's code (EBUSY: kBusy) and its native code.
[[nodiscard]] Error CameraErrnoError(int error, const std::string& what);
// A failure without a system error: the given code, native kCameraFailed.
[[nodiscard]] Error CameraFailure(ErrorCode code, const std::string& what);

// Four-character pixel codes (little-endian, as V4L2 writes them).
[[nodiscard]] constexpr uint32_t FourCc(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
inline constexpr uint32_t kFourCcYuyv = FourCc('Y', 'U', 'Y', 'V');  // YUYV 4:2:2 ("YUY2")
inline constexpr uint32_t kFourCcMjpg = FourCc('M', 'J', 'P', 'G');  // motion JPEG
[[nodiscard]] std::string FourCcText(uint32_t fourcc);

// One offered (or connected) format. The frame time is the average time per picture in
// 100-nanosecond units (333333 for 30 pictures per second).
struct CameraFormat {
    uint32_t fourcc = 0;
    int width = 0;
    int height = 0;
    int64_t frame_time = 0;
    friend bool operator==(const CameraFormat&, const CameraFormat&) = default;
};

// ⌊10,000,000 / frame time + 0.5⌋; 0 for a zero frame time.
[[nodiscard]] int FramesPerSecond(int64_t frame_time);
// 10,000,000 / fps rounded to the nearest unit; 0 for fps ≤ 0.
[[nodiscard]] int64_t FrameTimeOf(int fps);

// One item of a menu control: the value that chooses it and its name.
struct CameraMenuItem {
    int32_t value = 0;
    std::string name;
};

// A device control (brightness, contrast, ...), kept reachable for a settings dialog.
struct CameraControl {
    uint32_t id = 0;
    std::string name;
    int type = 0;  // V4L2_CTRL_TYPE_*
    int32_t minimum = 0, maximum = 0, step = 0, default_value = 0, value = 0;
    std::vector<CameraMenuItem> menu;  // menu controls only
};

// Called once per picture on the streaming thread: the picture's bytes as the device gave them,
// valid only during the call, and its capture time in seconds.
using PictureCallback = std::function<void(double time, const uint8_t* data, size_t length)>;

class CameraDevice {
  public:
    virtual ~CameraDevice() = default;

    [[nodiscard]] virtual const std::string& Name() const = 0;
    // Every format the device offers, in the device's order (the caller filters and sorts). Fails
    // when the device lists none.
    [[nodiscard]] virtual Result<std::vector<CameraFormat>> EnumerateFormats() = 0;
    // Sets the pixel format, size and frame time. The device may adjust them; CurrentFormat tells.
    [[nodiscard]] virtual Error SetFormat(const CameraFormat& format) = 0;
    // The format the device will stream in.
    [[nodiscard]] virtual Result<CameraFormat> CurrentFormat() = 0;
    // Maps the buffers and starts the streaming thread. Busy: kBusy with native kCameraBusy.
    [[nodiscard]] virtual Error StartStreaming(PictureCallback callback) = 0;
    // Stops and joins the streaming thread and unmaps the buffers. Idempotent.
    virtual void StopStreaming() = 0;

    [[nodiscard]] virtual std::vector<CameraControl> Controls() { return {}; }
    [[nodiscard]] virtual Error SetControl(uint32_t /*id*/, int32_t /*value*/) {
        return CameraFailure(ErrorCode::kUnsupported, "camera '" + Name() + "' has no controls");
    }
};

// A camera of the list: its unique friendly name and where it lives (a device path, or "virtual").
struct CameraInfo {
    std::string name;
    std::string path;
};

// The cameras in enumeration order: V4L2 devices that can stream video capture, sorted by device
// number, then the virtual camera when VEXA_VIRTUAL_CAMERA is set. Names that repeat get " (2)",
// " (3)", ... appended.
[[nodiscard]] std::vector<CameraInfo> EnumerateCameras();

// Opens the first camera whose friendly name equals name, ignoring case. Fails with kNotFound
// (native kCameraFailed) when no camera has that name, or with the reason the device cannot be opened.
[[nodiscard]] Result<std::unique_ptr<CameraDevice>> OpenCameraDevice(const std::string& name);

// Appends " (2)", " (3)", ... to names already seen, in order.
void MakeNamesUnique(std::vector<CameraInfo>& cameras);

}  // namespace vexa::platform
