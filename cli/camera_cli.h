// The camera side of vexa-record: listing cameras with their formats, and turning --camera POS|NAME,
// --camera-format WxH@FPS and --mirror/--no-mirror into a running CCamera for a camera-mode
// recording. Runs on the command line's main thread; the returned camera belongs to the caller.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/camera/camera.h"
#include "engine/camera/camera_format.h"
#include "platform/camera/camera_device.h"
#include "platform/error.h"

namespace vexa::cli {

// One line per camera ("camera 0: NAME"), then one indented line per usable format.
void ListCameras(std::ostream& out);

// "WxH@FPS" with positive numbers; nothing when malformed.
[[nodiscard]] std::optional<engine::CameraFormatSetting> ParseCameraFormat(std::string_view text);

// A zero-based position (all digits) or a friendly name compared without case; nothing when no
// camera matches.
[[nodiscard]] std::optional<std::string> ResolveCameraName(const std::vector<platform::CameraInfo>& cameras,
                                                           std::string_view selector);

struct CameraChoice {
    std::string selector = "0";                         // --camera
    std::optional<std::string> format;                  // --camera-format: overrides, stores nothing
    std::optional<engine::CameraFormatSetting> stored;  // the stored choice, when there is one
    bool mirror = true;                                 // --mirror / --no-mirror
};

// Opens the chosen camera in the override, stored or current format and starts it. Fails when it
// cannot; the message ends with the camera window's number ("camera 'x' is busy ... (0x00040268)").
[[nodiscard]] Result<engine::CameraRef> OpenCamera(const CameraChoice& choice);

}  // namespace vexa::cli
