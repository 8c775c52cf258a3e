// The encoding side of CDisplay: frames from the encoder queue become H.264 packets.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/screen/display.h"
#include "engine/screen/picture_convert.h"
#include "platform/log/log.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
}

namespace vexa::engine {
namespace {

bool IsBgra(int format) {
    return format == AV_PIX_FMT_BGRA || format == AV_PIX_FMT_BGR0;
}

// A 4:2:0 picture's luma becomes a texture (x XOR y) at `level` (255: full; lower: the same texture
// faded towards black); its chroma is left as it is.
void PaintTexture(AVFrame& picture, unsigned level) {
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* row = picture.data[0] + static_cast<ptrdiff_t>(y) * picture.linesize[0];
        for (int x = 0; x < picture.width; ++x)
            row[x] = static_cast<uint8_t>((static_cast<unsigned>(x ^ y) & 255u) * level / 255u);
    }
}

}  // namespace

void CDisplay::EncodeLoop() {
    AVCodecContext* enc = entry_->encoder.get();
    drain_ = std::make_unique<HeldPacketDrain>(session_, enc, entry_->stream);
    if (period_pts_ > 0) drain_->SetConstantRate(period_pts_, repeats_ ? &*repeats_ : nullptr);
    WarmUpEncoder();
    encoder_warm_.store(true);
    encoder_warm_.notify_all();
    // Frames are taken from the queue one at a time: a frame waits in the queue until the encoder
    // takes it, so the capture thread's limit on queued frames bounds every frame in flight (taking
    // the whole queue at once let as many again pile up behind a busy encoder, 8 MB each at 1080p).
    auto next = [this]() -> FrameBuffer* {
        platform::SpinGuard guard(queue_lock_);
        return encoder_queue_.PopFront();
    };
    for (;;) {
        (void)entry_->encoder_event->Wait();
        while (FrameBuffer* frame = next()) {
            (void)EncodeFrame(*frame);  // a frame that cannot be converted is dropped
            GiveFrame(frame);
        }
        if (!session_.EncodeRunning()) {
            platform::SpinGuard guard(queue_lock_);
            if (encoder_queue_.Empty()) break;
        }
    }
    if (period_pts_ > 0 && !repeats_ && last_place_ >= 0) {  // up to the last grid place before the stop
        const auto end =
            static_cast<int64_t>(static_cast<double>(session_.StopPosition()) * pts_per_tick_.load()) /
            period_pts_;
        EncodeRepeatsUpTo(end);
    }
    avcodec_send_frame(enc, nullptr);
    (void)drain_->Drain(true);
    drain_->FinishAtTime(session_.StopPosition());
    drain_.reset();
    scaler_.reset();
    last_sent_ = nullptr;
    last_ref_.reset();
}

// libx264 grows its picture pool over its first pictures: large allocations written for the first
// time, a burst of page faults with each of the first few pictures of a recording. It also writes a
// weighted copy of its reference plane the first time a picture looks like a fade (a clock's colour
// change can, seconds into the recording: 250 page faults then). Coding a flat picture, a textured
// one and the texture faded before the recording's first picture pays for both before the start;
// their packets are dropped (stamped before zero) and the first real picture is a key frame.
void CDisplay::WarmUpEncoder() {
    AVCodecContext* enc = entry_->encoder.get();
    if (std::strcmp(enc->codec->name, "libx264") != 0) return;
    FramePtr picture(av_frame_alloc());
    AVFrame* out = picture.get();
    if (!out) return;
    out->format = enc->pix_fmt;
    out->width = enc->width;
    out->height = enc->height;
    if (av_frame_get_buffer(out, 0) < 0) return;
    const ptrdiff_t lines[4] = {out->linesize[0], out->linesize[1], out->linesize[2], out->linesize[3]};
    if (av_image_fill_black(out->data, lines, enc->pix_fmt, enc->color_range, enc->width, enc->height) < 0)
        return;
    drain_->SkipBefore(0);
    for (int i = 0; i < kWarmUpPictures; ++i) {
        if (i == 1) PaintTexture(*out, 255);
        if (i == 2) PaintTexture(*out, 160);
        out->pts = i - kWarmUpPictures;
        if (avcodec_send_frame(enc, out) < 0) break;
        (void)drain_->Drain(true);
    }
    key_next_ = true;
}

namespace {

// Appends an Annex B NAL unit to a global header (FFmpeg's padding kept).
bool AppendToHeader(uint8_t*& data, int& size, const std::vector<uint8_t>& unit) {
    const size_t total = static_cast<size_t>(size) + unit.size();
    auto* grown = static_cast<uint8_t*>(av_mallocz(total + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!grown) return false;
    if (size > 0) std::memcpy(grown, data, static_cast<size_t>(size));
    std::memcpy(grown + size, unit.data(), unit.size());
    av_free(data);
    data = grown;
    size = static_cast<int>(total);
    return true;
}

bool AnnexB(const uint8_t* data, int size) {
    return size >= 4 && data[0] == 0 && data[1] == 0 && (data[2] == 1 || (data[2] == 0 && data[3] == 1));
}

}  // namespace

// A repeat written without the encoder when one fits the stream's parameter sets (the encoder then
// runs only when the screen changed); else the encoder codes the last picture again, which costs
// an encode per frame period but no grab, conversion or comparison. Runs before the header is
// written: a CABAC stream gets a CAVLC parameter set of its own for the repeats.
void CDisplay::SetUpConstantRate() {
    AVCodecContext* enc = entry_->encoder.get();
    period_pts_ = av_rescale_q(1, av_inv_q(enc->framerate), enc->time_base);
    Result<RepeatPicture> repeats = RepeatPicture::FromParameterSets(
        {enc->extradata, static_cast<size_t>(std::max(0, enc->extradata_size))});
    if (!repeats.ok()) {
        log::Writef(log::Level::kInfo, "constant frame rate: the encoder codes repeated pictures (%s)",
                    repeats.error().message().c_str());
        return;
    }
    repeats_ = std::move(repeats).value();
    AVCodecParameters* par = entry_->stream->codecpar;
    if (repeats_->Cabac() && AnnexB(enc->extradata, enc->extradata_size) &&
        AnnexB(par->extradata, par->extradata_size)) {
        RepeatPicture candidate = *repeats_;
        const std::vector<uint8_t> pps = candidate.UseOwnCavlcParameterSet();
        if (!pps.empty() && AppendToHeader(enc->extradata, enc->extradata_size, pps) &&
            AppendToHeader(par->extradata, par->extradata_size, pps))
            repeats_ = std::move(candidate);
    }
    log::Writef(log::Level::kInfo, "constant frame rate: repeated pictures written as skipped pictures (%s)",
                repeats_->Cabac() ? "CABAC" : "CAVLC");
}

int64_t CDisplay::GridPlace(int64_t time) const {
    if (last_place_ < 0) return 0;  // the first picture stands for the screen at the start
    const auto place =
        static_cast<int64_t>(std::llround(static_cast<double>(time) * pts_per_tick_.load() / period_pts_));
    return std::max(place, last_place_ + 1);
}

void CDisplay::EncodeRepeatsUpTo(int64_t place) {
    if (!last_sent_) return;
    AVCodecContext* enc = entry_->encoder.get();
    for (int64_t p = last_place_ + 1; p < place; ++p) {
        last_sent_->pts = p * period_pts_;
        avcodec_send_frame(enc, last_sent_);
        (void)drain_->Drain(false);
        last_place_ = p;
    }
}

// Frames come in the encoder's layout at the crop's size: a copy when the sizes agree, swscale where
// the picture must be scaled (an odd side rounded up, a screen that changed size) or for another
// format.
bool CDisplay::PrepareConversion(const FrameBuffer& frame) {
    const AVCodecContext* enc = entry_->encoder.get();
    const PictureFormat format = frame.format;
    const bool same_size = enc->width == frame.Width() && enc->height == frame.Height();
    // A BGRA frame is made only for an encoder that takes BGRA.
    const AVPixelFormat source = format == PictureFormat::kI420 ? AV_PIX_FMT_YUV420P : enc->pix_fmt;
    direct_ = same_size &&
              (format == PictureFormat::kI420 ? enc->pix_fmt == AV_PIX_FMT_YUV420P : IsBgra(enc->pix_fmt));
    if (direct_) {
        scaler_.reset();
        return true;
    }
    if (scaler_ && scaler_width_ == frame.Width() && scaler_height_ == frame.Height()) return true;
    scaler_.reset(sws_getContext(frame.Width(), frame.Height(), source, enc->width, enc->height, enc->pix_fmt,
                                 SWS_BICUBIC, nullptr, nullptr, nullptr));
    scaler_width_ = frame.Width();
    scaler_height_ = frame.Height();
    return scaler_ != nullptr;
}

bool CDisplay::EncodeFrame(FrameBuffer& frame) {
    if (!PrepareConversion(frame)) return false;
    bool stop = false;
    if (frame.cursors.Empty()) return EncodeAt(frame, frame.time, stop);

    save_valid_ = false;
    bool sent = false;
    for (CursorRecord* r = frame.cursors.Front(); r && !stop; r = static_cast<CursorRecord*>(r->next)) {
        // An encoder that still holds the picture sent before keeps it; the frame is drawn on in a copy.
        if (av_frame_make_writable(frame.av.get()) < 0) break;
        RestoreBackground(frame);
        const bool last = r->next == nullptr;
        if (r->visible) DrawCursor(frame, *r, !last);
        sent |= EncodeAt(frame, r->time, stop);
    }
    return sent;
}

void CDisplay::RestoreBackground(FrameBuffer& frame) {
    if (!save_valid_) return;
    (void)CopyPictureBlock(frame.View(), save_x_, save_y_, save_view_, 0, 0, save_view_.width,
                           save_view_.height);
    save_valid_ = false;
}

// Pastes the record's block into the frame, first saving what lies under it when a later record
// will need the frame without this cursor.
void CDisplay::DrawCursor(FrameBuffer& frame, const CursorRecord& record, bool save_background) {
    const PictureView target = frame.View();
    const int w = record.block.width, h = record.block.height;
    if (save_background) {
        save_view_ = LayOutPicture(target.format, w, h, cursor_save_.get());
        save_valid_ = CopyPictureBlock(save_view_, 0, 0, target, record.x, record.y, w, h);
        save_x_ = record.x;
        save_y_ = record.y;
    }
    (void)CopyPictureBlock(target, record.x, record.y, record.block, 0, 0, w, h);
}

bool CDisplay::EncodeAt(FrameBuffer& frame, int64_t time, bool& stop) {
    // A picture captured after the stop request is not part of the recording.
    if (session_.Stopped() && time > session_.StopPosition()) {
        stop = true;
        return false;
    }
    AVCodecContext* enc = entry_->encoder.get();
    int64_t place = 0;
    if (period_pts_ > 0) {
        place = GridPlace(time);
        if (!repeats_) EncodeRepeatsUpTo(place);  // before the ring slot holding the last picture is reused
    }

    // Same size and layout: the frame itself goes to the encoder. Else swscale into the ring's slot.
    AVFrame* out = frame.av.get();
    if (!direct_) {
        if (!scaler_ || !(out = ring_.Current())) return false;
        const PictureView picture = frame.View();
        const uint8_t* planes[4] = {picture.data[0], picture.data[1], picture.data[2], nullptr};
        const int lines[4] = {picture.stride[0], picture.stride[1], picture.stride[2], 0};
        sws_scale(scaler_.get(), planes, lines, 0, picture.height, out->data, out->linesize);
    }
    if (period_pts_ > 0) {  // constant rate: on its grid place
        out->pts = place * period_pts_;
        last_place_ = place;
    } else {
        // Two pictures must never share a time stamp (the encoder and the file refuse it): a record
        // that arrives within the same tick moves one unit later.
        out->pts = std::max(static_cast<int64_t>(static_cast<double>(time) * pts_per_tick_.load() + 0.5),
                            last_pts_ + 1);
    }
    last_pts_ = out->pts;
    out->pict_type = key_next_ ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;  // after a warm-up: a key frame
    key_next_ = false;
    avcodec_send_frame(enc, out);  // a refused picture is lost; the recording goes on
    out->pict_type = AV_PICTURE_TYPE_NONE;
    if (!direct_) {
        last_sent_ = out;
    } else if (period_pts_ > 0 && !repeats_) {
        // The encoder codes the last picture again for empty grid places: keep it past the frame's reuse.
        if (!last_ref_) last_ref_.reset(av_frame_alloc());
        if (last_ref_) {
            av_frame_unref(last_ref_.get());
            last_sent_ = av_frame_ref(last_ref_.get(), out) < 0 ? nullptr : last_ref_.get();
        }
    }
    stats_.frames_encoded.fetch_add(1);
    (void)drain_->Drain(false);  // an empty pool or an encoder error waits for the next picture
    if (!direct_) ring_.Advance();
    return true;
}

}  // namespace vexa::engine
