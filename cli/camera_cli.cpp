#include "cli/camera_cli.h"

#include <strings.h>

#include <charconv>
#include <cstdio>

namespace vexa::cli {
namespace {

bool ParsePositive(std::string_view text, int& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && out > 0;
}

std::string ResultText(platform::CameraResult rc) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(rc));
    return text;
}

}  // namespace

void ListCameras(std::ostream& out) {
    const std::vector<platform::CameraInfo> cameras = platform::EnumerateCameras();
    if (cameras.empty()) out << "no cameras\n";
    for (size_t i = 0; i < cameras.size(); ++i) {
        out << "camera " << i << ": " << cameras[i].name << "\n";
        platform::CameraResult rc = platform::kCameraOk;
        std::unique_ptr<platform::CameraDevice> device = platform::OpenCameraDevice(cameras[i].name, &rc);
        std::vector<platform::CameraFormat> offered;
        if (device) (void)device->EnumerateFormats(offered);
        const engine::CameraFormatList list = engine::BuildCameraFormatList(offered);
        if (!list.Usable()) out << "    (no usable format)\n";
        for (const platform::CameraFormat& f : list.formats)
            out << "    " << engine::CameraFormatText(f) << "  " << platform::FourCcText(f.fourcc) << "\n";
    }
}

std::optional<engine::CameraFormatSetting> ParseCameraFormat(std::string_view text) {
    const size_t x = text.find('x'), at = text.find('@');
    if (x == std::string_view::npos || at == std::string_view::npos || at < x) return std::nullopt;
    engine::CameraFormatSetting setting;
    if (!ParsePositive(text.substr(0, x), setting.width) ||
        !ParsePositive(text.substr(x + 1, at - x - 1), setting.height) ||
        !ParsePositive(text.substr(at + 1), setting.fps))
        return std::nullopt;
    return setting;
}

std::optional<std::string> ResolveCameraName(const std::vector<platform::CameraInfo>& cameras,
                                             std::string_view selector) {
    size_t position = 0;
    auto [end, ec] = std::from_chars(selector.data(), selector.data() + selector.size(), position);
    if (!selector.empty() && ec == std::errc() && end == selector.data() + selector.size()) {
        if (position < cameras.size()) return cameras[position].name;
        return std::nullopt;
    }
    const std::string wanted(selector);
    for (const platform::CameraInfo& c : cameras)
        if (strcasecmp(c.name.c_str(), wanted.c_str()) == 0) return c.name;
    return std::nullopt;
}

engine::CameraRef OpenCamera(const CameraChoice& choice, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    std::optional<engine::CameraFormatSetting> wanted = choice.stored;
    if (choice.format) {
        wanted = ParseCameraFormat(*choice.format);
        if (!wanted) {
            *error = "camera format \"" + *choice.format + "\" is not WxH@FPS";
            return {};
        }
    }
    const std::optional<std::string> name = ResolveCameraName(platform::EnumerateCameras(), choice.selector);
    if (!name) {
        *error = "no camera \"" + choice.selector + "\"";
        return {};
    }
    platform::CameraResult rc = platform::kCameraOk;
    engine::CameraRef camera = engine::CCamera::Create(*name, &rc);
    if (!camera) {
        *error = "cannot open camera \"" + *name + "\" (" + ResultText(rc) + ")";
        return {};
    }
    engine::CameraFormatList list;
    if (!camera->GetFormats(list)) {
        *error = "camera \"" + *name + "\" offers neither YUY2 nor MJPG";
        return {};
    }
    // A format the camera refuses leaves its current one, as in the window.
    if (wanted) (void)camera->SelectFormat(list, wanted->width, wanted->height, wanted->fps);
    camera->SetMirror(choice.mirror);
    rc = camera->BuildGraph() ? camera->Start() : platform::kCameraFailed;
    if (rc == platform::kCameraBusy) {
        *error = "camera \"" + *name + "\" is busy (" + ResultText(rc) + ")";
        return {};
    }
    if (rc != platform::kCameraOk) {
        *error = "cannot start camera \"" + *name + "\" (" + ResultText(rc) + ")";
        return {};
    }
    return camera;
}

}  // namespace vexa::cli
