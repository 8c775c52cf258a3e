// A camera device whose pictures the test hands in itself: Emit calls the picture callback on the
// test's thread, as the streaming thread would. The script stays reachable through a shared
// pointer after the device went into a CCamera. Single-threaded use.
#pragma once

#include <memory>
#include <vector>

#include "platform/camera/camera_device.h"

namespace vexa::test {

struct CameraScript {
    std::vector<platform::CameraFormat> offered;
    platform::CameraFormat current;
    Error start_result;  // success unless a test scripts a failure
    Error set_result;
    std::vector<platform::CameraFormat> formats_set;
    platform::PictureCallback callback;  // set while streaming
    int starts = 0, stops = 0;
    bool destroyed = false;

    // One picture; false when the device is not streaming.
    bool Emit(const std::vector<uint8_t>& picture) {
        if (!callback) return false;
        callback(0.0, picture.data(), picture.size());
        return true;
    }
};

class ScriptedCamera final : public platform::CameraDevice {
  public:
    explicit ScriptedCamera(std::shared_ptr<CameraScript> script) : script_(std::move(script)) {}
    ~ScriptedCamera() override { script_->destroyed = true; }

    const std::string& Name() const override { return name_; }
    Result<std::vector<platform::CameraFormat>> EnumerateFormats() override { return script_->offered; }
    Error SetFormat(const platform::CameraFormat& f) override {
        script_->formats_set.push_back(f);
        if (script_->set_result.ok()) script_->current = f;
        return script_->set_result;
    }
    Result<platform::CameraFormat> CurrentFormat() override { return script_->current; }
    Error StartStreaming(platform::PictureCallback callback) override {
        ++script_->starts;
        if (script_->start_result.ok()) script_->callback = std::move(callback);
        return script_->start_result;
    }
    void StopStreaming() override {
        ++script_->stops;
        script_->callback = nullptr;
    }

  private:
    std::shared_ptr<CameraScript> script_;
    std::string name_ = "Scripted Camera";
};

// A YUYV picture whose left half has luma left_y and right half right_y (grey), with the top
// top_rows rows set to top_y instead when top_rows > 0.
inline std::vector<uint8_t> YuyvPicture(int width, int height, uint8_t left_y, uint8_t right_y,
                                        int top_rows = 0, uint8_t top_y = 0) {
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t luma = y < top_rows ? top_y : (x < width / 2 ? left_y : right_y);
            out[(static_cast<size_t>(y) * width + x) * 2] = luma;
            out[(static_cast<size_t>(y) * width + x) * 2 + 1] = 128;
        }
    }
    return out;
}

}  // namespace vexa::test
