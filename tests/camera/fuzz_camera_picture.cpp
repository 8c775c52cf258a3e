// libFuzzer target: arbitrary bytes as a camera picture (MJPG and YUYV through BufferCB, mirrored)
// and as a virtual-camera format list. Nothing may crash, hang or leak; bad pictures are skipped.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/camera/camera.h"
#include "platform/camera/virtual_camera.h"

namespace {

using vexa::platform::CameraFormat;

// A device that streams nothing: the fuzzer hands pictures in itself.
class SilentCamera final : public vexa::platform::CameraDevice {
  public:
    explicit SilentCamera(CameraFormat format) : format_(format) {}
    const std::string& Name() const override { return name_; }
    vexa::Result<std::vector<CameraFormat>> EnumerateFormats() override {
        return std::vector<CameraFormat>{format_};
    }
    vexa::Error SetFormat(const CameraFormat&) override { return {}; }
    vexa::Result<CameraFormat> CurrentFormat() override { return format_; }
    vexa::Error StartStreaming(vexa::platform::PictureCallback) override { return {}; }
    void StopStreaming() override {}

  private:
    CameraFormat format_;
    std::string name_ = "Silent";
};

vexa::engine::CameraRef StartedCamera(uint32_t fourcc) {
    auto camera = vexa::engine::CCamera::CreateOnDevice(
        std::make_unique<SilentCamera>(CameraFormat{fourcc, 64, 48, vexa::platform::FrameTimeOf(30)}));
    camera->SetMirror(true);
    if (!camera->Start().ok()) __builtin_trap();
    return camera;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vexa::engine::CameraRef mjpg = StartedCamera(vexa::platform::kFourCcMjpg);
    static vexa::engine::CameraRef yuyv = StartedCamera(vexa::platform::kFourCcYuyv);
    if (size == 0) return 0;
    switch (data[0] % 3) {
        case 0:
            (void)mjpg->BufferCB(0, data + 1, size - 1);
            break;
        case 1:
            (void)yuyv->BufferCB(0, data + 1, size - 1);
            break;
        default:
            (void)vexa::platform::ParseVirtualFormats(
                std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    }
    return 0;
}
