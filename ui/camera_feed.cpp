#include "ui/camera_feed.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/log/log.h"

namespace vexa::ui {
namespace {

uint32_t NativeCode(const Error& error) {
    if (error.ok()) return 0;
    return error.native_code() != 0 ? error.native_code() : platform::kCameraFailed;
}

}  // namespace

CameraFeed::CameraFeed(settings::SettingsKey& settings, const settings::Setting& format_setting, int position)
    : settings_(settings), format_setting_(format_setting), position_(position) {}

CameraFeed::~CameraFeed() {
    Close();
}

void CameraFeed::SetWindow(toolkit::WindowHandle window, uint32_t message) {
    picture_message_.store(message, std::memory_order_relaxed);
    window_.store(window, std::memory_order_release);
}

void CameraFeed::SetMirror(bool mirror) {
    mirror_.store(mirror, std::memory_order_relaxed);
    platform::PauseWriterGuard guard(camera_lock_);
    if (camera_) camera_->SetMirror(mirror);
}

void CameraFeed::StartOpening(const std::string& name) {
    FinishOpening();
    name_ = name;
    open_finished_.store(false, std::memory_order_release);
    Error started = opener_.Start(
        [this, name] {
            (void)OpenAndKeep(name);
            open_finished_.store(true, std::memory_order_release);
        },
        "vexa-cam-open");
    if (started.ok()) return;
    log::Failure(started, "camera window: opening on this thread instead");
    (void)OpenAndKeep(name);
    open_finished_.store(true, std::memory_order_release);
}

void CameraFeed::FinishOpening() {
    if (opener_.Running()) opener_.Join();
}

Error CameraFeed::Open(const std::string& name) {
    FinishOpening();
    name_ = name;
    return OpenAndKeep(name);
}

Error CameraFeed::OpenAndKeep(const std::string& name) {
    Error result = OpenCamera(name);
    KeepResult(result);
    return result;
}

void CameraFeed::KeepResult(const Error& result) {
    uint32_t before = 0;
    {
        platform::PauseWriterGuard guard(camera_lock_);
        before = result_code_;
        result_ = result;
        result_code_ = NativeCode(result);
    }
    // A camera that stays busy is retried every 30 seconds: say so once, not at every retry.
    if (!result.ok() && NativeCode(result) != before) log::Failure(result, "camera window");
}

Error CameraFeed::OpenCamera(const std::string& name) {
    Result<engine::CameraRef> created = engine::CCamera::Create(name);
    if (!created.ok()) return created.error();
    engine::CameraRef camera = std::move(created).value();
    Result<engine::CameraFormatList> formats = camera->GetFormats();
    if (!formats.ok()) return formats.error();
    if (const auto stored = settings::ReadRecordSetting(settings_, format_setting_, position_)) {
        if (const auto choice = engine::CameraFormatSetting::FromBytes(*stored)) {
            // A camera that refuses the stored format streams in its current one.
            if (Error e = camera->SelectFormat(*formats, choice->width, choice->height, choice->fps); !e.ok())
                log::Failure(e, "camera window: the stored format");
        }
    }
    if (Error e = camera->BuildGraph(); !e.ok()) return e;
    camera->SetMirror(mirror_.load(std::memory_order_relaxed));
    camera->AddListener(&CameraFeed::OnCameraPicture, this);
    engine::CCamera* opened = camera.get();
    engine::CameraRef previous;
    {
        platform::PauseWriterGuard guard(camera_lock_);
        previous = std::exchange(camera_, std::move(camera));
        formats_ = std::move(formats).value();
    }
    // Stopping joins the old camera's streaming thread: outside the spin word.
    if (previous) previous->Stop(true);
    previous.reset();
    return opened->Start();
}

uint32_t CameraFeed::OpenResult() {
    platform::PauseWriterGuard guard(camera_lock_);
    return result_code_;
}

bool CameraFeed::HasCamera() {
    platform::PauseWriterGuard guard(camera_lock_);
    return static_cast<bool>(camera_);
}

engine::CameraRef CameraFeed::Acquire() {
    platform::PauseWriterGuard guard(camera_lock_);
    return engine::CameraRef::Share(camera_.get());
}

engine::CameraFormatList CameraFeed::Formats() {
    platform::PauseWriterGuard guard(camera_lock_);
    return formats_;
}

std::optional<platform::CameraFormat> CameraFeed::ConnectedFormat() {
    platform::PauseWriterGuard guard(camera_lock_);
    if (!camera_ || !engine::IsUsableCameraFormat(camera_->Connected())) return std::nullopt;
    return camera_->Connected();
}

engine::CameraRef CameraFeed::TakeCamera() {
    platform::PauseWriterGuard guard(camera_lock_);
    return std::move(camera_);
}

Error CameraFeed::Restart(engine::CCamera& camera, const platform::CameraFormat& format) {
    camera.Stop(false);
    if (Error e = camera.CreateGraphObjects(); !e.ok()) return e;
    if (Error e = camera.SelectFormat(Formats(), format.width, format.height,
                                      platform::FramesPerSecond(format.frame_time));
        !e.ok()) {
        return e;
    }
    if (Error e = camera.BuildGraph(); !e.ok()) return e;
    return camera.Start();
}

Error CameraFeed::ChangeFormat(const platform::CameraFormat& format, bool in_recording) {
    const engine::CameraFormatSetting choice = engine::CameraFormatSetting::Of(format);
    std::array<uint8_t, 16> record{};
    const std::vector<uint8_t> bytes = choice.ToBytes();
    std::copy_n(bytes.begin(), std::min(bytes.size(), record.size()), record.begin());
    settings::StoreRecordSetting(settings_, format_setting_, record, position_);

    engine::CameraRef camera = Acquire();
    if (!camera) return platform::CameraFailure(ErrorCode::kNotFound, "camera window: no camera to change");
    const std::optional<platform::CameraFormat> previous = ConnectedFormat();
    Error changed = Restart(*camera.get(), format);
    if (changed.ok()) return {};
    log::Failure(changed, "camera window: changing the format");
    if (in_recording || camera->IsAttached()) {
        // The recording keeps its camera: back to the format it had.
        Error back = previous ? Restart(*camera.get(), *previous) : changed;
        KeepResult(back);
        return back;
    }
    camera.reset();
    DropCamera();
    return Open(name_);
}

std::vector<platform::CameraControl> CameraFeed::Controls() {
    platform::PauseWriterGuard guard(camera_lock_);
    if (!camera_ || !camera_->Device()) return {};
    return camera_->Device()->Controls();
}

Error CameraFeed::SetControl(uint32_t id, int32_t value) {
    platform::PauseWriterGuard guard(camera_lock_);
    if (!camera_ || !camera_->Device())
        return platform::CameraFailure(ErrorCode::kNotFound, "camera window: the camera is closed");
    return camera_->Device()->SetControl(id, value);
}

void CameraFeed::OnCameraPicture(void* user, const uint8_t* bgra, const int* size) {
    static_cast<CameraFeed*>(user)->StorePicture(bgra, size[0], size[1]);
}

// Streaming thread: the camera's rows arrive bottom-up; they are kept top-down, ready to draw.
void CameraFeed::StorePicture(const uint8_t* bgra, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const size_t row = static_cast<size_t>(width) * 4;
    back_.pixels.resize(row * static_cast<size_t>(height));
    back_.width = width;
    back_.height = height;
    for (int y = 0; y < height; ++y)
        std::memcpy(back_.pixels.data() + static_cast<size_t>(y) * row,
                    bgra + static_cast<size_t>(height - 1 - y) * row, row);
    {
        platform::SpinGuard guard(picture_lock_);
        std::swap(back_, ready_);
        fresh_ = true;
    }
    if (announced_.exchange(true, std::memory_order_acq_rel)) return;
    const toolkit::WindowHandle window = window_.load(std::memory_order_acquire);
    if (!window ||
        !toolkit::Window::postMessage(window, {picture_message_.load(std::memory_order_relaxed), 0, 0}))
        announced_.store(false, std::memory_order_release);
}

bool CameraFeed::TakePicture(Picture& shown) {
    announced_.store(false, std::memory_order_release);
    platform::SpinGuard guard(picture_lock_);
    if (!fresh_) return false;
    std::swap(ready_, shown);
    fresh_ = false;
    return true;
}

void CameraFeed::DropCamera() {
    engine::CameraRef camera = TakeCamera();
    if (camera) camera->Stop(true);
}

void CameraFeed::Close() {
    FinishOpening();
    DropCamera();
}

}  // namespace vexa::ui
