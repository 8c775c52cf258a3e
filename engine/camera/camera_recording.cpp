// The recording side of CCamera: taking pictures for an attached camera stream, stamping them on
// the session clock, and the stream's two threads.

#include "engine/camera/camera.h"
#include "engine/camera/frame_stamps.h"
#include "engine/capture.h"
#include "engine/held_packet.h"
#include "engine/video_encoder.h"
#include "platform/log/log.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace vexa::engine {
namespace {

// How long the record thread sleeps between looks at capture running; the stop sequence's gate
// releases wake it at once.
constexpr int64_t kIdleWait100ns = 1'000'000;
// A streaming camera delivers many pictures a second; none for this long means it is gone.
constexpr int64_t kCameraLostSeconds = 3;

bool TakesBgraAsIs(int format) {
    return format == AV_PIX_FMT_BGRA || format == AV_PIX_FMT_BGR0;
}

}  // namespace

Error CCamera::AttachToStream(StreamEntry* entry, CCapture* session) {
    if (!device_) return platform::CameraFailure(ErrorCode::kNotFound, What() + " is closed");
    if (!entry || !session)
        return platform::CameraFailure(ErrorCode::kInvalidArgument, "no stream for " + What());
    CameraFrameList stale;  // frames a previous recording never encoded
    {
        platform::SpinGuard guard(record_lock_);
        if (entry_) return platform::CameraFailure(ErrorCode::kBusy, What() + " is already being recorded");
        entry_ = entry;
        session_ = session;
        platform::SpinGuard queue_guard(queue_lock_);
        stale.Splice(queue_);
    }
    frames_.GiveAll(stale);
    return {};
}

bool CCamera::IsAttached() {
    platform::SpinGuard guard(record_lock_);
    return entry_ != nullptr;
}

bool CCamera::IsRecording() {
    platform::SpinGuard guard(record_lock_);
    return recording_;
}

// Frames already queued stay for the encode thread, and a frame held while recording joins them, so
// a camera stopped in the middle of a recording loses nothing it has taken.
void CCamera::DetachFromStream() {
    platform::SpinGuard guard(record_lock_);
    if (recording_) QueueHeldFrame();
    frames_.Give(std::exchange(held_frame_, nullptr));
    recording_ = false;
    entry_ = nullptr;
    session_ = nullptr;
    record_converter_.reset();
    record_source_width_ = record_source_height_ = 0;
}

void CCamera::RecordPicture(const uint8_t* bgra) {
    platform::SpinGuard guard(record_lock_);
    if (!recording_ || !entry_ || !session_ || session_->Paused()) return;
    const int64_t now = session_->SessionTimeNow();
    const AVCodecContext* encoder = entry_->encoder.get();
    CameraFrame* frame = frames_.Take(encoder->pix_fmt, encoder->width, encoder->height);
    if (!frame) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (!FillEncoderFrame(bgra, frame->frame.get())) {
        frames_.Give(frame);
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const StampDecision d =
        StampNewFrame(held_frame_ != nullptr, held_frame_ ? held_frame_->stamp : 0, now, frame_interval_);
    frame->stamp = d.stamp;
    last_picture_ = now;
    last_stamp_ = d.stamp;
    if (d.queue_held) {
        QueueHeldFrame();
    } else if (held_frame_) {
        frames_.Give(std::exchange(held_frame_, nullptr));
        collapsed_.fetch_add(1, std::memory_order_relaxed);
    }
    held_frame_ = frame;
}

// The BGRA picture is bottom-up; reading it from its last row upwards gives the encoder an upright
// frame.
bool CCamera::FillEncoderFrame(const uint8_t* bgra, AVFrame* frame) {
    const uint8_t* last_row = bgra + static_cast<size_t>(height_ - 1) * width_ * 4;
    const int up = -width_ * 4;
    if (TakesBgraAsIs(frame->format) && frame->width == width_ && frame->height == height_) {
        av_image_copy_plane(frame->data[0], frame->linesize[0], last_row, up, width_ * 4, height_);
        return true;
    }
    if (!record_converter_ || record_source_width_ != width_ || record_source_height_ != height_) {
        record_converter_.reset(sws_getContext(width_, height_, AV_PIX_FMT_BGRA, frame->width, frame->height,
                                               static_cast<AVPixelFormat>(frame->format), SWS_BICUBIC,
                                               nullptr, nullptr, nullptr));
        record_source_width_ = width_;
        record_source_height_ = height_;
        if (!record_converter_) return false;
    }
    const uint8_t* src[4] = {last_row, nullptr, nullptr, nullptr};
    const int src_stride[4] = {up, 0, 0, 0};
    return sws_scale(record_converter_.get(), src, src_stride, 0, height_, frame->data, frame->linesize) > 0;
}

void CCamera::QueueHeldFrame() {
    CameraFrame* held = std::exchange(held_frame_, nullptr);
    if (!held) return;
    {
        platform::SpinGuard guard(queue_lock_);
        queue_.PushBack(held);
    }
    queued_.fetch_add(1, std::memory_order_relaxed);
    if (entry_ && entry_->encoder_event) entry_->encoder_event->Set();
}

void CCamera::RecordThread(CCapture& session, StreamEntry& entry) {
    if (!session.WaitForStartGate()) return;  // torn down before start
    // Frames carry their session times in the encoder's time base; the drain moves packets to the
    // stream's.
    pts_per_tick_.store(PtsPerTick(entry.encoder.get(), session.Frequency()));
    {
        platform::SpinGuard guard(record_lock_);
        frame_interval_ = TicksPerFrame(entry.encoder.get(), session.Frequency());
        last_picture_ = last_stamp_ = 0;
        recording_ = entry_ == &entry;  // not when the camera was detached meanwhile
    }
    stream_end_.store(-1);
    while (session.CaptureRunning()) {
        session.SleepOnGate(kIdleWait100ns);
        if (EndStreamIfLost(session)) entry.encoder_event->Set();
    }
    {
        platform::SpinGuard guard(record_lock_);
        recording_ = false;
        QueueHeldFrame();
    }
    entry.encoder_event->Set();
}

bool CCamera::EndStreamIfLost(CCapture& session) {
    int64_t end = 0;
    {
        platform::SpinGuard guard(record_lock_);
        // The session time stands still while paused: a pause never looks like a lost camera.
        if (!recording_ ||
            session.SessionTimeNow() - last_picture_ < kCameraLostSeconds * session.Frequency())
            return false;
        end = last_stamp_ + frame_interval_;
        QueueHeldFrame();
        recording_ = false;
        stream_end_.store(end);
    }
    log::Writef(log::Level::kWarning,
                "%s has delivered no picture for %lld s: its video ends at %.3f s, the recording goes on",
                What().c_str(), static_cast<long long>(kCameraLostSeconds),
                static_cast<double>(end) / static_cast<double>(session.Frequency()));
    return true;
}

void CCamera::EncodeThread(CCapture& session, StreamEntry& entry) {
    AVCodecContext* encoder = entry.encoder.get();
    HeldPacketDrain drain(session, encoder, entry.stream);
    bool flushed = false;
    for (;;) {
        (void)entry.encoder_event->Wait();
        // Read before the queue is taken: the lost camera's last frame was queued before its end was
        // set, so it is in this batch.
        const int64_t end = flushed ? -1 : stream_end_.load();
        CameraFrameList frames;
        {
            platform::SpinGuard guard(queue_lock_);
            frames.Splice(queue_);
        }
        if (frames.Empty() && end < 0) {
            if (!session.EncodeRunning()) break;
            continue;
        }
        while (CameraFrame* frame = frames.PopFront()) {
            if (!flushed) EncodeFrame(session, encoder, drain, frame);
            frames_.Give(frame);
        }
        // A lost camera's stream is finished now, so the file has all of it whatever follows.
        if (end >= 0) {
            (void)avcodec_send_frame(encoder, nullptr);
            (void)DrainEncoder(drain, false);
            drain.FinishAtTime(end);
            flushed = true;
        }
    }
    if (flushed) return;
    (void)avcodec_send_frame(encoder, nullptr);
    (void)DrainEncoder(drain, false);
    drain.FinishAtTime(session.StopPosition());
}

void CCamera::EncodeFrame(CCapture& session, AVCodecContext* encoder, HeldPacketDrain& drain,
                          CameraFrame* frame) {
    // Pictures taken between the stop request and the end of capture lie past the stop position.
    if (session.Stopped() && frame->stamp > session.StopPosition()) return;
    frame->frame->pts = static_cast<int64_t>(static_cast<double>(frame->stamp) * pts_per_tick_.load() + 0.5);
    if (avcodec_send_frame(encoder, frame->frame.get()) < 0) dropped_.fetch_add(1, std::memory_order_relaxed);
    (void)DrainEncoder(drain, true);
}

bool CCamera::DrainEncoder(HeldPacketDrain& drain, bool single) {
    return drain.Drain(!single);
}

}  // namespace vexa::engine
