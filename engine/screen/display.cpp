#include "engine/screen/display.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/screen/damage_blocks.h"
#include "engine/screen/frame_compare.h"
#include "engine/screen/frame_pacer.h"
#include "engine/screen/rect_copy.h"
#include "engine/video_encoder.h"
#include "platform/log/log.h"

namespace vexa::engine {
namespace {

constexpr int64_t kHalfMs = 5'000;          // 0.5 ms in 100-ns units
constexpr int64_t kDamageWait = 3'000'000;  // 300 ms in 100-ns units
constexpr uint8_t kMaxCursorRecords = 31;   // per held frame, after which a full frame is taken
// Frames waiting for the encoder. When the encoder falls this far behind, a new picture replaces the
// held one instead of queueing behind it: memory stays bounded and the stop stays quick, and the
// packet before the gap simply lasts longer.
constexpr size_t kMaxQueuedFrames = 4;

bool IsBgra(int format) {
    return format == AV_PIX_FMT_BGRA || format == AV_PIX_FMT_BGR0;
}

// Down to the chroma grid, also for blocks left of or above the crop.
int Even(int v) {
    return v - (v & 1);
}

const char* MethodName(platform::CaptureMethod method) {
    switch (method) {
        case platform::CaptureMethod::kDamage:
            return "damage";
        case platform::CaptureMethod::kPolling:
            return "polling";
        case platform::CaptureMethod::kNone:
            break;
    }
    return "none";
}

// Appends a cursor record to a frame, numbering it after the frame's last one.
void AppendRecord(FrameBuffer& frame, CursorRecord* record) {
    record->sequence = frame.cursors.Empty() ? 1 : static_cast<uint8_t>(frame.cursors.Back()->sequence + 1);
    frame.cursors.PushBack(record);
}

}  // namespace

CDisplay::CDisplay(CCapture& session, std::unique_ptr<platform::ScreenBackend> backend)
    : session_(session), backend_(std::move(backend)), stats_(session.Stats()) {}

CDisplay::~CDisplay() {
    GiveFrame(held_);
    held_ = nullptr;
    FrameList queued;
    {
        platform::SpinGuard guard(queue_lock_);
        queued.Splice(encoder_queue_);
    }
    while (FrameBuffer* f = queued.PopFront()) GiveFrame(f);
    if (backend_) backend_->Close();
}

Error CDisplay::Init(bool show_cursor, const CaptureRect& rect) {
    show_cursor_ = show_cursor;
    requested_.left = std::max(0, rect.left);
    requested_.top = std::max(0, rect.top);
    requested_.right = std::max(requested_.left, rect.right);
    requested_.bottom = std::max(requested_.top, rect.bottom);
    if (!backend_) return Error(ErrorCode::kInvalidArgument, "no screen to capture");
    backend_->FollowPointer(show_cursor_);
    if (Error e = SelectMethod(); !e.ok()) return e;
    cursor_size_ = backend_->CursorSize();  // a scaled screen's is known once it is open
    display_changes_seen_ = session_.DisplayChanges();
    ComputeCrop();
    return {};
}

Error CDisplay::Attach(StreamEntry* entry) {
    entry_ = entry;
    const AVCodecContext* enc = entry->encoder.get();
    if (!ring_.Init(enc->pix_fmt, enc->width, enc->height))
        return Error::FromErrno(ENOMEM, "cannot allocate the encoder's frames");
    format_ = IsBgra(enc->pix_fmt) ? PictureFormat::kBgra : PictureFormat::kI420;
    encoder_pix_fmt_ = enc->pix_fmt;
    canvas_.SetFormat(format_);
    if (show_cursor_) {
        // The cursor's block starts on the chroma grid at or before the image: two more pixels a side.
        block_side_ = Even(cursor_size_ + 1) + 2;
        const size_t bytes = static_cast<size_t>(block_side_) * block_side_ * 4;
        cursor_save_.reset(new (std::nothrow) uint8_t[bytes]);
        cursor_block_.reset(new (std::nothrow) uint8_t[bytes]);
        if (!cursor_save_ || !cursor_block_)
            return Error::FromErrno(ENOMEM, "cannot allocate the cursor buffers");
    }
    if (session_.ConstantFrameRate()) SetUpConstantRate();
    return PrepareMemory();
}

// A page touched for the first time costs several microseconds: at 1080p the first grab after the
// start paid about 50 ms for the screen copy and its frame, and a scrolling screen's second picture
// was gone by the time it looked again. The screen copy and the first frames are touched here, before
// the start, and the frames wait in the pool.
Error CDisplay::PrepareMemory() {
    if (canvas_.Prepare(*backend_, crop_, method_ == platform::CaptureMethod::kPolling) !=
        ScreenCanvas::Outcome::kOk)
        return Error::FromErrno(ENOMEM, "cannot allocate the copy of the screen");
    std::array<FrameBuffer*, kFramesReadyAtStart> frames{};
    for (FrameBuffer*& frame : frames) {
        if (!(frame = TakeFrameBuffer())) break;  // memory short now is reported by the grab that needs it
        for (const AVBufferRef* memory : frame->av->buf)
            if (memory) std::memset(memory->data, 0, memory->size);
    }
    for (FrameBuffer* frame : frames) GiveFrame(frame);
    return {};
}

// Damage when the screen offers it, else polling; both reasons when neither works.
Error CDisplay::SelectMethod() {
    backend_->Close();
    method_ = platform::CaptureMethod::kNone;
    const Error damage = backend_->Open(platform::CaptureMethod::kDamage);
    if (damage.ok()) {
        method_ = platform::CaptureMethod::kDamage;
    } else if (const Error polling = backend_->Open(platform::CaptureMethod::kPolling); polling.ok()) {
        method_ = platform::CaptureMethod::kPolling;
    } else {
        return Error(polling.code(), "no screen capture method works (damage: " + damage.message() +
                                         "; polling: " + polling.message() + ")");
    }
    screen_width_ = backend_->Width();
    screen_height_ = backend_->Height();
    return {};
}

// An empty or off-screen side of the rectangle means the whole screen along that axis.
void CDisplay::ComputeCrop() {
    auto axis = [](int lo, int hi, int screen, int& out_lo, int& out_hi) {
        const int limit = std::min(screen, hi);
        if (lo < limit) {
            out_lo = lo;
            out_hi = limit;
        } else {
            out_lo = 0;
            out_hi = screen;
        }
    };
    // The request is in the desktop's coordinates; a scaled output's stream has more pixels.
    const platform::ScreenRect wanted =
        requested_.right > requested_.left && requested_.bottom > requested_.top
            ? backend_->FromDesktop({requested_.left, requested_.top, requested_.right, requested_.bottom})
            : platform::ScreenRect{requested_.left, requested_.top, requested_.right, requested_.bottom};
    axis(std::max(0, wanted.left), wanted.right, screen_width_, crop_.left, crop_.right);
    axis(std::max(0, wanted.top), wanted.bottom, screen_height_, crop_.top, crop_.bottom);
}

void CDisplay::CaptureLoop() {
    // The thread counts itself ready at the gate once the encoder is warm: the start then waits for
    // the warm-up instead of racing it for the processors, and the first picture is the screen at
    // the start (a warm-up running on would delay the first grab by a picture or two).
    encoder_warm_.wait(false);
    if (!session_.WaitForStartGate()) return;
    const int64_t freq = session_.Frequency();
    pts_per_tick_.store(PtsPerTick(entry_->encoder.get(), freq));
    ticks_per_frame_ = TicksPerFrame(entry_->encoder.get(), freq);
    FramePacer pacer(ticks_per_frame_);

    while (session_.CaptureRunning()) {
        const bool select = reinit_requested_ || method_ == platform::CaptureMethod::kNone ||
                            session_.DisplayChanges() != display_changes_seen_;
        if (select && !Reselect().ok()) {
            session_.SleepOnGate(kHalfMs);
            continue;
        }
        if (session_.Paused()) {
            session_.SleepOnGate(kHalfMs);
            continue;
        }
        if (method_ == platform::CaptureMethod::kPolling) {
            Poll(pacer);
        } else {
            CaptureDamage();
        }
    }
    PassHeldOn();
    // Capture has ended: the screen may stop producing (a screen-sharing stream pauses) while the
    // encoders and the file finish.
    backend_->Suspend();
    method_ = platform::CaptureMethod::kNone;
}

Error CDisplay::Reselect() {
    reinit_requested_ = false;
    const uint16_t changes = session_.DisplayChanges();
    if (Error e = SelectMethod(); !e.ok()) return e;
    display_changes_seen_ = changes;
    stats_.reselections.fetch_add(1);
    PassHeldOn();
    ComputeCrop();
    canvas_.Invalidate();
    log::Writef(log::Level::kInfo, "screen capture: %s method on a %dx%d screen, crop %dx%d at %d,%d",
                MethodName(method_), screen_width_, screen_height_, CropWidth(), CropHeight(), crop_.left,
                crop_.top);
    return {};
}

// The session's display-change counter is what makes every screen source choose its method and crop
// again; the desktop program bumps it on its own notifications too.
void CDisplay::ScreenConfigurationChanged() {
    log::Info("screen capture: the screen configuration changed");
    session_.NotifyDisplayChange();
}

int64_t CDisplay::Ticks100ns(int64_t ticks) const {
    const int64_t freq = session_.Frequency();
    return (ticks * 10'000'000 + freq - 1) / freq;  // rounded up: a wake-up never comes early
}

// One turn of the polling method: sleep until the next deadline, or grab now.
void CDisplay::Poll(FramePacer& pacer) {
    const int64_t now = session_.SessionTimeNow();
    if (const int64_t wait = pacer.WaitFrom(now); wait > 0) {
        session_.SleepOnGate(Ticks100ns(wait));
        return;
    }
    if (backend_->ScreenChanged()) return ScreenConfigurationChanged();
    CapturePolling(now);
    pacer.Grabbed(now);
}

FrameBuffer* CDisplay::TakeFrameBuffer() {
    const int w = CropWidth(), h = CropHeight();
    FrameBuffer* frame = frame_pool_.TakeFitting(
        [&](const FrameBuffer& f) { return f.format == format_ && f.Width() == w && f.Height() == h; });
    if (!frame) {
        frame = new (std::nothrow) FrameBuffer;
        if (!frame) return nullptr;
        frame->av.reset(av_frame_alloc());
        if (!frame->av) {
            delete frame;
            return nullptr;
        }
        frame->format = format_;
    }
    // A picture the encoder still holds is left to it: the frame gets new memory.
    AVFrame* av = frame->av.get();
    if (!av->buf[0] || !av_frame_is_writable(av)) {
        av_frame_unref(av);
        av->format = format_ == PictureFormat::kI420 ? AV_PIX_FMT_YUV420P : encoder_pix_fmt_;
        av->width = w;
        av->height = h;
        if (av_frame_get_buffer(av, 0) < 0) {
            delete frame;
            return nullptr;
        }
    }
    frame->time = 0;
    return frame;
}

bool CDisplay::Updated(ScreenCanvas::Outcome outcome) {
    if (outcome == ScreenCanvas::Outcome::kGrabFailed)
        reinit_requested_ = true;  // the screen changed under us
    return outcome == ScreenCanvas::Outcome::kOk;
}

FrameBuffer* CDisplay::RenderFrame() {
    if (!canvas_.Current()) return nullptr;
    FrameBuffer* frame = TakeFrameBuffer();
    if (frame && canvas_.Render(frame->View()) != ScreenCanvas::Outcome::kOk) {
        GiveFrame(frame);
        return nullptr;
    }
    stats_.pixels_converted.store(canvas_.PixelsConverted());
    return frame;
}

void CDisplay::GiveFrame(FrameBuffer* frame) {
    if (!frame) return;
    while (CursorRecord* r = frame->cursors.PopFront()) cursor_pool_.Give(r);
    frame_pool_.Give(frame);
}

bool CDisplay::EncoderBacklogged() {
    platform::SpinGuard guard(queue_lock_);
    return encoder_queue_.Size() >= kMaxQueuedFrames;
}

void CDisplay::ReplaceHeld(FrameBuffer* frame) {
    if (held_ && EncoderBacklogged()) {
        stats_.frames_dropped.fetch_add(1);
        GiveFrame(held_);
        held_ = nullptr;
    }
    PassHeldOn();
    held_ = frame;
}

void CDisplay::PassHeldOn() {
    if (!held_) return;
    {
        platform::SpinGuard guard(queue_lock_);
        encoder_queue_.PushBack(held_);
    }
    held_ = nullptr;
    stats_.frames_captured.fetch_add(1);
    entry_->encoder_event->Set();
}

// Hidden when the read fails, when there is no cursor, or when its rectangle misses the crop.
void CDisplay::ReadCursor() {
    cursor_read_failed_ = !backend_->ReadCursor(cursor_image_);
    platform::CursorImage& c = cursor_image_;
    const platform::ScreenRect cursor_rect{c.x, c.y, c.x + cursor_size_, c.y + cursor_size_};
    if (cursor_read_failed_ || !c.visible || c.handle == 0 || !cursor_rect.Intersects(crop_))
        c.visible = false;
}

bool CDisplay::CursorChanged() const {
    const platform::CursorImage& c = cursor_image_;
    if (c.visible != last_cursor_.visible) return true;
    return c.visible && (c.handle != last_cursor_.handle || c.x - crop_.left != last_cursor_.x ||
                         c.y - crop_.top != last_cursor_.y);
}

CursorRecord* CDisplay::MakeCursorRecord(int64_t time) {
    const int capacity = block_side_ * block_side_ * 4;
    CursorRecord* r = cursor_pool_.TakeFitting([&](const CursorRecord& c) { return c.capacity == capacity; });
    if (!r) {
        r = new (std::nothrow) CursorRecord;
        if (!r) return nullptr;
        r->capacity = capacity;
        r->pixels.reset(new (std::nothrow) uint8_t[static_cast<size_t>(capacity)]);
        if (!r->pixels) {
            delete r;
            return nullptr;
        }
    }
    const platform::CursorImage& c = cursor_image_;
    const int cx = c.x - crop_.left, cy = c.y - crop_.top;
    r->time = time;
    r->visible = c.visible && canvas_.Current();
    r->sequence = 1;
    if (r->visible) {
        // The block around the image on the chroma grid, clipped to the crop: its conversion equals
        // the same block of the whole picture with the cursor drawn in.
        const int x0 = std::max(0, Even(cx)), y0 = std::max(0, Even(cy));
        const int x1 = std::min(CropWidth(), Even(cx) + block_side_);
        const int y1 = std::min(CropHeight(), Even(cy) + block_side_);
        const int w = x1 - x0, h = y1 - y0;
        r->visible = w > 0 && h > 0;
        if (r->visible) {
            const ScreenCanvas::Copy& screen = canvas_.Screen();
            const PixelBuffer block{cursor_block_.get(), w, h, false};
            CopyRect(block, 0, 0, {screen.pixels, screen.width, screen.height, screen.bottom_up}, x0, y0, w,
                     h);
            BlendArgb(block, cx - x0, cy - y0, c.argb.data(), std::min(c.width, cursor_size_),
                      std::min(c.height, cursor_size_));
            r->block = LayOutPicture(format_, w, h, r->pixels.get());
            r->x = x0;
            r->y = y0;
            r->visible = ConvertBgraBlock(cursor_block_.get(), w * 4, r->block, 0, 0, w, h);
        }
    }
    last_cursor_ = {c.visible, c.handle, cx, cy};
    stats_.cursor_records.fetch_add(1);
    return r;
}

FrameBuffer* CDisplay::GrabFrame(const std::vector<platform::ScreenRect>& dirty) {
    if (!Updated(canvas_.Update(*backend_, crop_, dirty))) return nullptr;
    FrameBuffer* frame = RenderFrame();
    if (!frame) refresh_ = true;  // the canvas holds the change: a later turn passes it on
    return frame;
}

void CDisplay::CapturePolling(int64_t time) {
    bool changed = false;
    if (!Updated(canvas_.Poll(*backend_, crop_, !held_ || refresh_, changed))) return;
    if (changed) refresh_ = true;  // until a frame holds the change
    if (!show_cursor_) {
        if (!changed) return;
        FrameBuffer* frame = RenderFrame();
        if (!frame) return;
        refresh_ = false;
        frame->time = time;
        ReplaceHeld(frame);
        return;
    }
    ReadCursor();
    if (!changed && !CursorChanged()) return;
    // Without a record the frame is skipped; the next poll takes the change again.
    CursorRecord* record = MakeCursorRecord(time);
    if (!record) return;
    if (changed) {
        FrameBuffer* frame = RenderFrame();
        if (!frame) {
            cursor_pool_.Give(record);
            return;
        }
        refresh_ = false;
        frame->time = time;
        AppendRecord(*frame, record);
        ReplaceHeld(frame);
        return;
    }
    AppendRecord(*held_, record);
    if (record->sequence > kMaxCursorRecords) PassHeldOn();
}

void CDisplay::CaptureDamage() {
    using Kind = platform::DamageReport::Kind;
    platform::DamageReport report;
    bool first_at_start = false;
    if (held_) {
        // A picture skipped for want of a cursor record is taken again one frame period later.
        report = backend_->WaitForDamage(refresh_ ? Ticks100ns(ticks_per_frame_) : kDamageWait,
                                         session_.StartGate());
        if (report.kind == Kind::kFailed) {
            reinit_requested_ = true;
            return;
        }
        if (report.kind == Kind::kScreenChanged) return ScreenConfigurationChanged();
        if (refresh_ && report.kind != Kind::kInterrupted) {
            refresh_ = false;
            report.kind = Kind::kUpdate;
            if (report.present_time == 0) report.present_time = session_.Clock().Now();
            report.dirty.push_back(crop_);
        }
        if (report.kind != Kind::kUpdate) return;
    } else if (!backend_->PictureReady()) {
        // The stream has sent no picture yet (a still desktop): its first one, whenever it comes,
        // is the first frame. Until then the recording simply has no picture; the stop ends the wait.
        report = backend_->WaitForDamage(kDamageWait, session_.StartGate());
        if (report.kind == Kind::kFailed) {
            reinit_requested_ = true;
            return;
        }
        if (report.kind == Kind::kScreenChanged) return ScreenConfigurationChanged();
        if (report.kind != Kind::kUpdate || !backend_->PictureReady()) return;
        refresh_ = false;
        if (report.present_time == 0) report.present_time = session_.Clock().Now();
        report.dirty.push_back(crop_);
        // The recording's very first picture stands for the screen since the start: the desktop
        // sent nothing before because nothing changed, so the file lasts from start to stop.
        first_at_start = stats_.frames_captured.load() == 0;
        log::Info("screen capture: the first picture came");
    } else {
        // Nothing held yet (start, or a new method): the current picture is the first frame.
        refresh_ = false;
        report.present_time = session_.Clock().Now();
        report.dirty.push_back(crop_);
    }

    int64_t counter = 0;
    if (report.present_time == 0 && report.mouse_update_time == 0) {
        counter = session_.Clock().Now();
    } else if (report.present_time == 0 || report.mouse_update_time == 0) {
        counter = std::max(report.present_time, report.mouse_update_time);
    } else {
        counter = std::min(report.present_time, report.mouse_update_time);
    }
    int64_t time = first_at_start ? 0 : std::max<int64_t>(0, session_.SessionTime(counter));

    bool changed = false;
    if (report.present_time != 0) {
        changed = std::any_of(report.dirty.begin(), report.dirty.end(),
                              [&](const platform::ScreenRect& r) { return r.Intersects(crop_); });
    }
    if (held_ && !held_->cursors.Empty() && held_->cursors.Back()->sequence > kMaxCursorRecords)
        changed = true;

    bool cursor_changed = false;
    if (show_cursor_) {
        if (report.mouse_update_time != 0 || cursor_read_failed_ || !held_) ReadCursor();
        cursor_changed = CursorChanged();
    }
    if (!changed && !cursor_changed) return;

    FrameBuffer* frame = nullptr;
    if (changed && !(frame = GrabFrame(report.dirty))) return;

    // Records stay at least one frame period apart: content newer than the held frame's last time
    // but within its period replaces the pending content and keeps its time.
    if (held_) {
        const int64_t last = held_->LastTime();
        if (time <= last) {
            time = last;
            if (show_cursor_ && !held_->cursors.Empty()) {
                cursor_pool_.Give(held_->cursors.PopBack());
                if (held_->cursors.Empty()) {
                    GiveFrame(held_);
                    held_ = nullptr;
                    stats_.frames_replaced.fetch_add(1);
                }
            } else if (!show_cursor_ && frame) {
                GiveFrame(held_);
                held_ = nullptr;
                stats_.frames_replaced.fetch_add(1);
            }
        } else {
            time = std::max(time, last + ticks_per_frame_);
        }
    }
    if (!frame && !held_) {
        // The record that would have carried this move was the held frame's only one: take a full
        // frame instead so the move is not lost.
        if (!(frame = GrabFrame({}))) return;
    }

    if (frame) {
        frame->time = time;
        if (show_cursor_) {
            // With the cursor recorded, a held frame always carries a record: a frame that cannot
            // get one is skipped and taken again later.
            CursorRecord* record = MakeCursorRecord(time);
            if (!record) {
                GiveFrame(frame);
                refresh_ = true;
                return;
            }
            AppendRecord(*frame, record);
        }
        ReplaceHeld(frame);
        return;
    }
    CursorRecord* record = MakeCursorRecord(time);
    if (!record) return;
    AppendRecord(*held_, record);
}

}  // namespace vexa::engine
