#include "cli/camera_cli.h"

#include <strings.h>

#include <charconv>
#include <cstdio>

#include "platform/log/log.h"

namespace vexa::cli {
namespace {

bool ParsePositive(std::string_view text, int& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && out > 0;
}

// The number the camera window shows, after the message: "... (0x00040268)".
Error WithNumber(const Error& e) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(e.native_code()));
    return Error(e.code(), e.message() + " (" + number + ")", e.native_code());
}

}  // namespace

void ListCameras(std::ostream& out) {
    const std::vector<platform::CameraInfo> cameras = platform::EnumerateCameras();
    if (cameras.empty()) out << "no cameras\n";
    for (size_t i = 0; i < cameras.size(); ++i) {
        out << "camera " << i << ": " << cameras[i].name << "\n";
        Result<std::unique_ptr<platform::CameraDevice>> device = platform::OpenCameraDevice(cameras[i].name);
        Result<std::vector<platform::CameraFormat>> offered =
            device.ok() ? (*device)->EnumerateFormats()
                        : Result<std::vector<platform::CameraFormat>>(device.error());
        if (!offered.ok()) {
            out << "    (" << offered.error().message() << ")\n";
            continue;
        }
        const engine::CameraFormatList list = engine::BuildCameraFormatList(*offered);
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

Result<engine::CameraRef> OpenCamera(const CameraChoice& choice) {
    std::optional<engine::CameraFormatSetting> wanted = choice.stored;
    if (choice.format) {
        wanted = ParseCameraFormat(*choice.format);
        if (!wanted)
            return Error(ErrorCode::kInvalidArgument,
                         "camera format \"" + *choice.format + "\" is not WxH@FPS");
    }
    const std::optional<std::string> name = ResolveCameraName(platform::EnumerateCameras(), choice.selector);
    if (!name) return Error(ErrorCode::kNotFound, "no camera \"" + choice.selector + "\"");
    Result<engine::CameraRef> created = engine::CCamera::Create(*name);
    if (!created.ok()) return WithNumber(created.error());
    engine::CameraRef camera = std::move(created).value();
    Result<engine::CameraFormatList> list = camera->GetFormats();
    if (!list.ok()) return WithNumber(list.error());
    // A format the camera refuses leaves its current one, as in the window.
    if (wanted) {
        if (Error refused = camera->SelectFormat(*list, wanted->width, wanted->height, wanted->fps);
            !refused.ok())
            log::Warning(refused.message() + "; the camera's current format stays");
    }
    camera->SetMirror(choice.mirror);
    Error started = camera->BuildGraph();
    if (started.ok()) started = camera->Start();
    if (started.code() == ErrorCode::kBusy) {
        return WithNumber(Error(ErrorCode::kBusy, "camera \"" + *name + "\" is busy", started.native_code()));
    }
    if (!started.ok()) return WithNumber(started);
    return camera;
}

}  // namespace vexa::cli
