// CameraFeed: the camera side of a camera overlay window. It opens the window's camera (on a thread
// of its own at first, later on the caller's thread), holds the window's reference to it, its
// format list and the result of the last opening, changes the capture format, lends the camera to
// a camera-mode recording, and hands the newest picture over to the window's thread.
//
// Ownership: shared (std::shared_ptr) by the window and, while a closed window is released in the
// background, by the releasing thread; Close() ends the feed once, whoever calls it. The camera is
// reference counted: a recording that borrowed it keeps a reference of its own and outlives Close.
// Threads: the window's (user-interface) thread calls everything; the opening thread runs Open at
// first, and the camera's streaming thread delivers pictures. The camera, the format list and the
// last result are guarded by a reader/writer spin word, taken as writer by every access here; the
// newest picture by a spin lock held for a buffer swap. Close may run on any one thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings_catalog.h"
#include "engine/camera/camera.h"
#include "engine/camera/camera_format.h"
#include "platform/error.h"
#include "platform/sync/pause_lock.h"
#include "platform/sync/spin_lock.h"
#include "platform/sync/worker_thread.h"
#include "toolkit/window.h"

namespace vexa::ui {

class CameraFeed {
  public:
    // One picture, 32-bit BGRA, rows top-down, stride width × 4.
    struct Picture {
        std::vector<uint8_t> pixels;
        int width = 0;
        int height = 0;
    };

    // `format_setting` at `position` holds the stored capture format ("camera_format_%d" or
    // "camera_format"); the store must outlive the feed.
    CameraFeed(settings::SettingsKey& settings, const settings::Setting& format_setting, int position);
    ~CameraFeed();  // Close()
    CameraFeed(const CameraFeed&) = delete;
    CameraFeed& operator=(const CameraFeed&) = delete;

    // Where pictures are announced: `message` is posted to `window` when a new one is ready (once
    // until the window takes it).
    void SetWindow(toolkit::WindowHandle window, uint32_t message);
    // Mirrors pictures left-right, now and after every opening.
    void SetMirror(bool mirror);

    // Opens `name` on a new thread; OpenFinished() tells when it has ended. When no thread can be
    // started the camera is opened on this one.
    void StartOpening(const std::string& name);
    [[nodiscard]] bool OpenFinished() const { return open_finished_.load(std::memory_order_acquire); }
    // Waits for the opening thread to end.
    void FinishOpening();
    // Waits for the opening thread, then opens `name` on this thread: the camera, its formats, the
    // stored format, the graph; replaces and fully stops the previous camera; starts streaming.
    // Returns and keeps the result.
    Error Open(const std::string& name);

    // The native code of the last opening's failure (0x00040268 busy, 0x8007xxxx, ...), 0 once open.
    [[nodiscard]] uint32_t OpenResult();
    [[nodiscard]] bool IsOpen() { return OpenResult() == 0 && HasCamera(); }
    [[nodiscard]] bool HasCamera();
    // The camera with a reference of the caller's own, or none.
    [[nodiscard]] engine::CameraRef Acquire();
    [[nodiscard]] engine::CameraFormatList Formats();
    // The format the camera streams in, when it is YUY2 or MJPG.
    [[nodiscard]] std::optional<platform::CameraFormat> ConnectedFormat();
    // Stores `format` as the chosen one and restarts the camera in it. When that fails the camera is
    // opened again from scratch, unless `in_recording`: then it goes back to its previous format.
    Error ChangeFormat(const platform::CameraFormat& format, bool in_recording);

    // The device's adjustable controls, and changing one of them.
    [[nodiscard]] std::vector<platform::CameraControl> Controls();
    Error SetControl(uint32_t id, int32_t value);

    // Swaps the newest picture into `shown` (window's thread); false when there is none newer.
    bool TakePicture(Picture& shown);

    // Stops the camera fully and drops the window's reference (the result stays as it was).
    void DropCamera();
    // Waits for the opening thread, then DropCamera: no picture arrives afterwards. Idempotent.
    void Close();

  private:
    static void OnCameraPicture(void* user, const uint8_t* bgra, const int* size);
    void StorePicture(const uint8_t* bgra, int width, int height);
    // Open's work, on the opening thread or the window's.
    Error OpenAndKeep(const std::string& name);
    [[nodiscard]] Error OpenCamera(const std::string& name);
    void KeepResult(const Error& result);
    [[nodiscard]] Error Restart(engine::CCamera& camera, const platform::CameraFormat& format);
    [[nodiscard]] engine::CameraRef TakeCamera();

    settings::SettingsKey& settings_;
    const settings::Setting& format_setting_;
    const int position_;
    std::atomic<bool> mirror_{false};
    std::atomic<toolkit::WindowHandle> window_{0};
    std::atomic<uint32_t> picture_message_{0};

    // Window's thread (the opening thread gets its own copy of the name).
    std::string name_;
    platform::WorkerThread opener_;
    std::atomic<bool> open_finished_{true};

    platform::PauseLock camera_lock_;
    engine::CameraRef camera_ GUARDED_BY(camera_lock_);
    engine::CameraFormatList formats_ GUARDED_BY(camera_lock_);
    Error result_ GUARDED_BY(camera_lock_);
    uint32_t result_code_ GUARDED_BY(camera_lock_) = platform::kCameraFailed;

    // Streaming thread: the picture being filled.
    Picture back_;
    platform::SpinLock picture_lock_;
    Picture ready_ GUARDED_BY(picture_lock_);
    bool fresh_ GUARDED_BY(picture_lock_) = false;
    std::atomic<bool> announced_{false};
};

}  // namespace vexa::ui
