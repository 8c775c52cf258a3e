// The device lists of the desktop program, built once when the main window is created and never
// refreshed: speakers and microphones with the server's default device first, cameras in
// enumeration order. Every per-device setting is keyed by the zero-based position in its list.
// Plain values: built on the user-interface thread, then read there only.
#pragma once

#include <string>
#include <vector>

#include "engine/audio/endpoint_record.h"
#include "platform/camera/camera_device.h"

namespace vexa::ui {

struct DeviceLists {
    std::vector<engine::EndpointRecord> speakers;
    std::vector<engine::EndpointRecord> microphones;
    std::vector<platform::CameraInfo> cameras;
};

// Asks the sound server and the camera layer; a list that cannot be had stays empty (logged).
[[nodiscard]] DeviceLists BuildDeviceLists();

}  // namespace vexa::ui
