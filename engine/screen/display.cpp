#include "engine/screen/display.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

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

bool BottomUp(platform::RowOrder order) {
    return order == platform::RowOrder::kBottomUp;
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
    if (show_cursor_) {
        cursor_save_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(cursor_size_) * cursor_size_ * 4]);
        if (!cursor_save_) return Error::FromErrno(ENOMEM, "cannot allocate the cursor save buffer");
    }
    if (session_.ConstantFrameRate()) SetUpConstantRate();
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
    FrameBuffer* frame =
        frame_pool_.TakeFitting([&](const FrameBuffer& f) { return f.width == w && f.height == h; });
    if (!frame) {
        frame = new (std::nothrow) FrameBuffer;
        if (!frame) return nullptr;
        frame->width = w;
        frame->height = h;
        frame->line_size = w * 4;
        frame->byte_size = static_cast<size_t>(frame->line_size) * h;
        // Memory the server grabs into where it offers some: the picture is not copied again.
        if ((frame->shared = backend_->CreateSharedPixels(frame->byte_size))) {
            frame->pixels = {frame->shared->Data(), FramePixelsDeleter{false}};
        } else {
            frame->pixels.reset(new (std::nothrow) uint8_t[frame->byte_size]);
        }
        if (!frame->pixels) {
            delete frame;
            return nullptr;
        }
    }
    frame->order = backend_->Order();
    frame->time = 0;
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

CursorRecord* CDisplay::MakeCursorRecord(int64_t time, const FrameBuffer& source) {
    const int size = cursor_size_;
    CursorRecord* r = cursor_pool_.TakeFitting([&](const CursorRecord& c) { return c.size == size; });
    if (!r) {
        r = new (std::nothrow) CursorRecord;
        if (!r) return nullptr;
        r->size = size;
        r->pixels.reset(new (std::nothrow) uint8_t[static_cast<size_t>(size) * size * 4]);
        if (!r->pixels) {
            delete r;
            return nullptr;
        }
    }
    const platform::CursorImage& c = cursor_image_;
    r->time = time;
    r->order = source.order;
    r->visible = c.visible;
    r->sequence = 1;
    r->x = c.x - crop_.left;
    r->y = c.y - crop_.top;
    if (r->visible) {
        const PixelBuffer image{r->pixels.get(), size, size, false};
        CopyRect(image, 0, 0, {source.pixels.get(), source.width, source.height, BottomUp(source.order)},
                 r->x, r->y, size, size);
        BlendArgb(image, 0, 0, c.argb.data(), std::min(c.width, size), std::min(c.height, size));
    }
    last_cursor_ = {c.visible, c.handle, r->x, r->y};
    stats_.cursor_records.fetch_add(1);
    return r;
}

FrameBuffer* CDisplay::GrabFrame() {
    FrameBuffer* frame = TakeFrameBuffer();
    if (!frame) return nullptr;
    if (!backend_->Grab(crop_, frame->pixels.get(), frame->line_size)) {
        GiveFrame(frame);
        reinit_requested_ = true;  // the screen changed under us: set the method up again
        return nullptr;
    }
    return frame;
}

void CDisplay::CapturePolling(int64_t time) {
    FrameBuffer* frame = GrabFrame();
    if (!frame) return;
    const bool changed = !held_ || held_->byte_size != frame->byte_size ||
                         FrameCompare()(held_->pixels.get(), frame->pixels.get(), frame->byte_size);
    frame->time = time;
    if (!show_cursor_) {
        if (!changed) return GiveFrame(frame);
        ReplaceHeld(frame);
        return;
    }
    ReadCursor();
    if (!changed && !CursorChanged()) return GiveFrame(frame);
    // Without a record the frame is skipped; the next poll finds the change again.
    CursorRecord* record = MakeCursorRecord(time, *frame);
    if (!record) return GiveFrame(frame);
    if (changed) {
        AppendRecord(*frame, record);
        ReplaceHeld(frame);
        return;
    }
    GiveFrame(frame);
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
    if (changed && !(frame = GrabFrame())) return;

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
        if (!(frame = GrabFrame())) return;
    }

    if (frame) {
        frame->time = time;
        if (show_cursor_) {
            // With the cursor recorded, a held frame always carries a record: a frame that cannot
            // get one is skipped and taken again later.
            CursorRecord* record = MakeCursorRecord(time, *frame);
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
    CursorRecord* record = MakeCursorRecord(time, *held_);
    if (!record) return;
    AppendRecord(*held_, record);
}

}  // namespace vexa::engine
