// CDisplay: the screen source of one recording. Its capture thread keeps a copy of the crop of the
// primary screen (BGRA, memory the server grabs into where it offers some) and the same picture in
// the encoder's layout (the canvas: 4:2:0, or BGRA for an encoder that takes it). When something
// changed it grabs and converts only the changed blocks (damage rectangles aligned to the chroma
// grid) and hands the encoder a copy of the canvas, or a picture that changed everywhere converted
// straight into the encoder's frame (a still picture is never passed on); when the cursor is
// recorded, cursor moves over an unchanged screen become small cursor records (the block around the
// cursor, already converted) attached to the previous frame. The polling method grabs the
// whole crop on deadlines one frame period apart (FramePacer) and compares. When the backend reports
// a new screen configuration, the source bumps the session's display-change counter, and every
// change of that counter makes it choose the method and the crop again. Its encoding thread turns
// frames into H.264 packets for the session's writer (a copy into the encoder's frame, or swscale
// where the size differs); with a constant frame rate it puts each picture on the frame-period grid
// and the empty places get repeats (RepeatPicture), so an unchanged screen is still neither grabbed
// nor compared again.
//
// Ownership: the session's StreamEntry owns the CDisplay; the CDisplay owns its screen backend, the
// screen copies and canvas, its pools, its queue, the held frame and the encoder's frame ring and
// scaler (not the encoder itself).
// Threads: Init and Attach run on the recording thread before the threads start; CaptureLoop runs on
// the capture thread, EncodeLoop on the encoding thread; the two meet only in the encoder queue and
// the pools, each under its own SpinLock. The screen copies and the canvas are the capture thread's.
#pragma once

#include <array>
#include <atomic>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "engine/capture.h"
#include "engine/held_packet.h"
#include "engine/recording_params.h"
#include "engine/screen/frame_buffer.h"
#include "engine/screen/frame_pacer.h"
#include "engine/screen/frame_ring.h"
#include "engine/screen/repeat_picture.h"
#include "engine/screen/screen_canvas.h"
#include "platform/screen/screen_backend.h"

namespace vexa::engine {

class CDisplay final : public StreamSource {
  public:
    CDisplay(CCapture& session, std::unique_ptr<platform::ScreenBackend> backend);
    ~CDisplay() override;

    // Clamps the rectangle, chooses the method and fixes the crop. Fails when no method works, with
    // the reason of each ("no screen capture method works (damage: ...; polling: ...)").
    [[nodiscard]] Error Init(bool show_cursor, const CaptureRect& rect);
    // Links the source to its stream entry and allocates the frame ring (and the cursor save
    // buffer). Fails when an allocation fails.
    [[nodiscard]] Error Attach(StreamEntry* entry);

    [[nodiscard]] int CropWidth() const { return crop_.right - crop_.left; }
    [[nodiscard]] int CropHeight() const { return crop_.bottom - crop_.top; }
    [[nodiscard]] platform::ScreenRect Crop() const { return crop_; }
    [[nodiscard]] platform::CaptureMethod Method() const { return method_; }

    SourceKind Kind() const override { return SourceKind::kScreen; }
    void CaptureLoop() override;
    void EncodeLoop() override;

  private:
    struct CursorState {
        bool visible = false;
        uint64_t handle = 0;
        int x = 0;
        int y = 0;
    };

    // Recording thread, from Attach: the screen copy and the first frames touched before the start.
    [[nodiscard]] Error PrepareMemory();

    // --- capture thread ---
    [[nodiscard]] Error SelectMethod();
    // Chooses the method and the crop again; the held frame is passed on. Fails when no method works.
    [[nodiscard]] Error Reselect();
    void ComputeCrop();
    void ScreenConfigurationChanged();
    [[nodiscard]] int64_t Ticks100ns(int64_t ticks) const;
    void Poll(FramePacer& pacer);
    void CapturePolling(int64_t time);
    void CaptureDamage();
    [[nodiscard]] FrameBuffer* TakeFrameBuffer();
    // Flags after a grab; false when it failed (a failed grab sets the method up
    // again next turn).
    [[nodiscard]] bool Updated(ScreenCanvas::Outcome outcome);
    // A frame buffer holding the canvas after the changed rectangles were brought in; null when the
    // grab fails (the method is set up again next turn) or memory runs out.
    [[nodiscard]] FrameBuffer* GrabFrame(const std::vector<platform::ScreenRect>& dirty);
    // A frame buffer holding the crop as last grabbed; null when memory runs out.
    [[nodiscard]] FrameBuffer* RenderFrame();
    [[nodiscard]] CursorRecord* MakeCursorRecord(int64_t time);
    [[nodiscard]] bool CursorChanged() const;
    void ReadCursor();
    void PassHeldOn();
    // Holds the new full frame, passing the held one on, or dropping it while the encoder is behind.
    void ReplaceHeld(FrameBuffer* frame);
    [[nodiscard]] bool EncoderBacklogged();
    void GiveFrame(FrameBuffer* frame);

    // --- encoding thread ---
    void WarmUpEncoder();
    [[nodiscard]] bool EncodeFrame(FrameBuffer& frame);
    [[nodiscard]] bool EncodeAt(FrameBuffer& frame, int64_t time, bool& stop);
    [[nodiscard]] bool PrepareConversion(const FrameBuffer& frame);
    void SetUpConstantRate();  // recording thread, from Attach
    // Constant rate: the grid place of a picture at a session time (after the last one), and the
    // encoder coding the last picture again up to a place when no prebuilt repeat fits the stream.
    [[nodiscard]] int64_t GridPlace(int64_t time) const;
    void EncodeRepeatsUpTo(int64_t place);
    void DrawCursor(FrameBuffer& frame, const CursorRecord& record, bool save_background);
    void RestoreBackground(FrameBuffer& frame);

    CCapture& session_;
    std::unique_ptr<platform::ScreenBackend> backend_;
    StreamEntry* entry_ = nullptr;

    // Set up before the threads start.
    CaptureRect requested_{};
    bool show_cursor_ = false;
    int cursor_size_ = 32;

    // Capture thread.
    platform::CaptureMethod method_ = platform::CaptureMethod::kNone;
    platform::ScreenRect crop_{};
    int screen_width_ = 0;
    int screen_height_ = 0;
    uint16_t display_changes_seen_ = 0;
    bool reinit_requested_ = false;
    bool refresh_ = false;  // damage method: take the whole crop again (a skipped picture)
    PictureFormat format_ = PictureFormat::kI420;  // of the canvas and the frames
    AVPixelFormat encoder_pix_fmt_ = AV_PIX_FMT_NONE;
    ScreenCanvas canvas_;
    int block_side_ = 0;                       // of a cursor record's block
    std::unique_ptr<uint8_t[]> cursor_block_;  // BGRA, the block being composed
    // With the cursor recorded, the held frame always carries at least one cursor record.
    FrameBuffer* held_ = nullptr;
    CursorState last_cursor_;
    platform::CursorImage cursor_image_;
    bool cursor_read_failed_ = true;
    int64_t ticks_per_frame_ = 0;

    // Shared between the threads (each under its own lock).
    RecordPool<FrameBuffer> frame_pool_;
    RecordPool<CursorRecord> cursor_pool_;
    platform::SpinLock queue_lock_;
    FrameList encoder_queue_ GUARDED_BY(queue_lock_);
    std::atomic<double> pts_per_tick_{0.0};
    std::atomic<bool> encoder_warm_{false};  // set by the encoding thread once WarmUpEncoder is done
    SessionStats& stats_;

    // Encoding thread.
    FrameRing ring_;
    int64_t last_pts_ = std::numeric_limits<int64_t>::min() / 2;
    int64_t period_pts_ = 0;  // constant rate: one frame period in the encoder's time base; 0 off
    int64_t last_place_ = -1;
    std::optional<RepeatPicture> repeats_;
    AVFrame* last_sent_ = nullptr;  // the last picture sent (encoder repeats)
    FramePtr last_ref_;             // a frame sent as it is, kept for the encoder's repeats
    std::unique_ptr<HeldPacketDrain> drain_;
    ScalerPtr scaler_;
    static constexpr int kWarmUpPictures = 4;
    static constexpr int kFramesReadyAtStart = 3;  // held, queued, being encoded
    bool key_next_ = false;  // the next picture is coded as a key frame (after the warm-up)
    bool direct_ = false;    // same size and layout: the frame is copied, no scaler
    int scaler_width_ = 0;
    int scaler_height_ = 0;
    std::unique_ptr<uint8_t[]> cursor_save_;
    PictureView save_view_;
    int save_x_ = 0;
    int save_y_ = 0;
    bool save_valid_ = false;
};

}  // namespace vexa::engine
