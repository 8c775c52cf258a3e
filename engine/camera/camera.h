// CCamera: one opened camera. It streams pictures from its device, converts each to a 32-bit BGRA
// picture with rows bottom-up (optionally mirrored left-right) and hands it to its listeners and,
// while a camera-mode recording is attached, to the recording's camera stream, which stamps it on
// the session clock, queues it and encodes it.
//
// Ownership: reference counted. Create yields the first reference (the overlay window's); the
// recording's stream entry takes one of its own. Dropping the last reference stops the camera fully
// and frees it. CameraRef holds one reference.
//
// Threads: Create, the format and graph operations, Start and Stop run on one controlling thread at
// a time. BufferCB and DeliverFrame run on the device's streaming thread; listeners are called there,
// under the listener lock, and must not call back into AddListener. AddRef/Release, SetMirror and
// AddListener are thread-safe. RecordThread and EncodeThread are the recording session's capture and
// encoding threads for the camera stream (see camera_stream.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/camera/camera_format.h"
#include "engine/camera/camera_frame_pool.h"
#include "engine/ffmpeg_ptr.h"
#include "platform/camera/camera_device.h"
#include "platform/error.h"
#include "platform/sync/spin_lock.h"

namespace vexa::engine {

class CCapture;
struct StreamEntry;
class HeldPacketDrain;

// A listener's callback: user data, the BGRA picture (bottom-up, stride width × 4, valid only during
// the call) and the pair width, height.
using CameraPictureCallback = void (*)(void* user, const uint8_t* bgra, const int* size);

struct CameraListener {
    CameraPictureCallback callback = nullptr;
    void* user = nullptr;
};

// Picture counters, for statistics and benchmarks.
struct CameraStats {
    uint64_t pictures = 0;   // pictures the device delivered
    uint64_t skipped = 0;    // pictures that could not be decoded or converted
    uint64_t queued = 0;     // frames handed to the encode thread
    uint64_t collapsed = 0;  // frames replaced by a faster successor (by design)
    uint64_t dropped = 0;    // frames the recording lost (no frame memory, conversion failure, after stop)
};

class CCamera {
  public:
    class Ref;

    // Opens the camera whose friendly name equals name, ignoring case. Fails when there is none or it
    // cannot be opened (the Error's native code is the number the camera window shows).
    [[nodiscard]] static Result<Ref> Create(const std::string& name);
    // A camera on a device opened elsewhere (tests, tools).
    [[nodiscard]] static Ref CreateOnDevice(std::unique_ptr<platform::CameraDevice> device);

    uint32_t AddRef();
    uint32_t Release();

    // --- the picture path (controlling thread) ---
    // Every failure names the camera and the reason, with the camera window's number as its native
    // code (platform::kCameraBusy when another program holds the device, 0x8007xxxx otherwise).
    // Prepares for a format change after Stop(false); fails when the device is gone or streaming.
    [[nodiscard]] Error CreateGraphObjects();
    // The device's formats, filtered and sorted. Fails when it offers no usable one (kUnsupported,
    // the formats it offers named) or cannot list them.
    [[nodiscard]] Result<CameraFormatList> GetFormats();
    // Sets the listed format nearest to the stored choice. Fails when the list is empty or the
    // device refuses (the current format then stays).
    [[nodiscard]] Error SelectFormat(const CameraFormatList& list, int width, int height, int fps);
    // Sets one format exactly as given (an override that bypasses the stored choice).
    [[nodiscard]] Error SetFormat(const platform::CameraFormat& format);
    [[nodiscard]] Error BuildGraph();
    // Reads the connected format, prepares decoding and starts streaming. kBusy (native
    // platform::kCameraBusy) when another program holds the device.
    [[nodiscard]] Error Start();
    // Stops streaming and frees the decoding state. full: also closes the device, drops the
    // listeners and detaches from a recording. Idempotent.
    void Stop(bool full);

    void AddListener(CameraPictureCallback callback, void* user);
    void SetMirror(bool mirror) { mirror_.store(mirror, std::memory_order_release); }
    [[nodiscard]] bool Mirror() const { return mirror_.load(std::memory_order_acquire); }

    // The connected format (valid after Start).
    [[nodiscard]] int FrameRate() const { return frame_rate_; }
    [[nodiscard]] int Width() const { return width_; }
    [[nodiscard]] int Height() const { return height_; }
    [[nodiscard]] const platform::CameraFormat& Connected() const { return connected_; }
    // The device, for its controls; null after a full stop.
    [[nodiscard]] platform::CameraDevice* Device() { return device_.get(); }
    // The friendly name the camera was opened by.
    [[nodiscard]] const std::string& Name() const { return name_; }
    [[nodiscard]] CameraStats Stats() const;

    // The grabber callback: one picture as the device delivered it. Always 0.
    int32_t BufferCB(double sample_time, const uint8_t* buffer, size_t length);

    // --- recording (see camera_stream.cpp for the stream's threads) ---
    // Links the camera to a stream entry of a session; fails when it is already attached or closed.
    [[nodiscard]] Error AttachToStream(StreamEntry* entry, CCapture* session);
    [[nodiscard]] bool IsAttached();
    // Pictures are being taken for the attached recording (between its start and the end of capture).
    [[nodiscard]] bool IsRecording();
    // The capture thread of the camera stream: waits for the start gate, takes pictures for the
    // recording until capture ends, then queues the held frame. A camera that delivers no picture
    // for kCameraLostSeconds of recorded time (unplugged, or its driver stuck) ends its stream there:
    // the held frame is queued and no picture is taken any more; the recording goes on without it.
    void RecordThread(CCapture& session, StreamEntry& entry);
    // The encoding thread: encodes queued frames until encode running is false and the queue is
    // empty, then flushes the encoder and gives the last packet its duration up to the stop position.
    // A stream that ended early is flushed at once, its last packet lasting one frame interval.
    void EncodeThread(CCapture& session, StreamEntry& entry);
    // Moves encoded packets to the session's packet queue (one, or all with single false).
    bool DrainEncoder(HeldPacketDrain& drain, bool single);
    // Forgets the stream entry and session and frees the record converter. Frames already taken
    // stay queued for the encode thread.
    void DetachFromStream();

  private:
    explicit CCamera(std::unique_ptr<platform::CameraDevice> device);
    ~CCamera();

    [[nodiscard]] bool PrepareDecoding();
    void FreeDecoding();
    [[nodiscard]] bool ConvertYuyv(const uint8_t* buffer, size_t length);
    [[nodiscard]] bool DecodeMjpg(const uint8_t* buffer, size_t length);
    [[nodiscard]] bool ToBottomUpBgra(const AVFrame* picture);
    void DeliverFrame(uint8_t* bgra);
    void RecordPicture(const uint8_t* bgra);
    [[nodiscard]] bool FillEncoderFrame(const uint8_t* bgra, AVFrame* frame) REQUIRES(record_lock_);
    void QueueHeldFrame() REQUIRES(record_lock_);
    void EncodeFrame(CCapture& session, AVCodecContext* encoder, HeldPacketDrain& drain, CameraFrame* frame);
    // Ends the stream when no picture came for too long; true when it did now.
    [[nodiscard]] bool EndStreamIfLost(CCapture& session);

    [[nodiscard]] std::string What() const { return "camera '" + name_ + "'"; }

    std::atomic<uint32_t> refs_{1};
    std::unique_ptr<platform::CameraDevice> device_;
    const std::string name_;
    bool streaming_ = false;

    platform::SpinLock listener_lock_;
    std::vector<CameraListener> listeners_ GUARDED_BY(listener_lock_);

    // The picture path: written by the controlling thread while stopped, used by the streaming thread.
    std::atomic<bool> mirror_{false};
    platform::CameraFormat connected_;
    int frame_rate_ = 0, width_ = 0, height_ = 0;
    CodecContextPtr decoder_;
    FramePtr decoded_;
    PacketPtr compressed_;
    ScalerPtr converter_;  // device picture → bottom-up BGRA
    int converter_format_ = -1, converter_width_ = 0, converter_height_ = 0;
    std::vector<uint8_t> bgra_;

    // The recording group.
    platform::SpinLock record_lock_;
    StreamEntry* entry_ GUARDED_BY(record_lock_) = nullptr;
    CCapture* session_ GUARDED_BY(record_lock_) = nullptr;
    ScalerPtr record_converter_ GUARDED_BY(record_lock_);
    int record_source_width_ GUARDED_BY(record_lock_) = 0;
    int record_source_height_ GUARDED_BY(record_lock_) = 0;
    CameraFrame* held_frame_ GUARDED_BY(record_lock_) = nullptr;
    bool recording_ GUARDED_BY(record_lock_) = false;
    int64_t frame_interval_ GUARDED_BY(record_lock_) = 0;
    int64_t last_picture_ GUARDED_BY(record_lock_) = 0;  // session time the last picture was taken
    int64_t last_stamp_ GUARDED_BY(record_lock_) = 0;    // its frame's stamp
    std::atomic<double> pts_per_tick_{0};  // encoder units per counter tick, set by RecordThread
    std::atomic<int64_t> stream_end_{-1};  // session time where a lost camera's stream ends; -1: none

    platform::SpinLock queue_lock_;
    CameraFrameList queue_ GUARDED_BY(queue_lock_);
    CameraFramePool frames_;

    std::atomic<uint64_t> pictures_{0}, skipped_{0}, queued_{0}, collapsed_{0}, dropped_{0};
};

// One reference to a camera; releases it when it goes.
class CCamera::Ref {
  public:
    Ref() = default;
    // Takes over a reference the caller already holds (e.g. from a window's AcquireCamera).
    static Ref Adopt(CCamera* camera) { return Ref(camera); }
    // Adds a reference of its own.
    static Ref Share(CCamera* camera) {
        if (camera) camera->AddRef();
        return Ref(camera);
    }
    Ref(Ref&& o) noexcept : camera_(std::exchange(o.camera_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) {
            reset();
            camera_ = std::exchange(o.camera_, nullptr);
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { reset(); }

    void reset() {
        if (camera_) std::exchange(camera_, nullptr)->Release();
    }
    // Hands the reference to the caller.
    [[nodiscard]] CCamera* release() { return std::exchange(camera_, nullptr); }
    [[nodiscard]] CCamera* get() const { return camera_; }
    CCamera* operator->() const { return camera_; }
    explicit operator bool() const { return camera_ != nullptr; }

  private:
    explicit Ref(CCamera* camera) : camera_(camera) {}
    CCamera* camera_ = nullptr;
};

using CameraRef = CCamera::Ref;

}  // namespace vexa::engine
