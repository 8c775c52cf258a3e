// The screen backend on a Wayland desktop: the ScreenCast portal grants one monitor, and its picture
// arrives as a PipeWire video stream. The stream sends a picture only when the screen changed, so
// the backend offers the damage method only: a picture that arrives is the change, its video damage
// metadata (where the desktop sends it) says where, and the pointer comes either as cursor
// metadata or drawn into the picture. A new stream format is a new screen configuration.
//
// The PipeWire loop is not a thread of its own: it runs inside the backend's calls, on the thread
// that makes them (the capture thread while recording). Each buffer goes back to the stream as soon
// as its changed pixels are copied into the backend's own picture, so the desktop never runs out of
// buffers while the recorder encodes.
//
// A stream that agreed on a format may still send no picture for a while: a desktop such as the
// wlroots portal sends one only when the screen changes. Open then succeeds without a picture
// (PictureReady() is false) and the first picture arrives as the first update, however late.
//
// On a scaled output the desktop's (X11, XWayland) coordinates are logical pixels and the stream's
// are physical ones: FromDesktop converts with the ratio of the stream's size to the monitor's size
// in desktop pixels. That size is the one the portal announced when it differs from the stream's
// (KDE, GNOME announce logical sizes); else (the wlroots portal announces the mode) the X screen's
// when it is smaller than the stream with the same shape: XWayland's screen on one scaled output.
#include <pipewire/pipewire.h>
#include <poll.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "platform/log/log.h"
#include "platform/screen/portal_screencast.h"
#include "platform/screen/x11_connection.h"
#include "platform/screen/screen_backend.h"
#include "platform/time/clock.h"

namespace vexa::platform {
namespace {

// Cursor records are square; pointer images beyond their size are cut to it. The size is this many
// pixels times the output's scale rounded up (a 48-pixel pointer on a scale-2 output is 96 pixels).
constexpr int kCursorSize = 64;
// The largest pointer bitmap whose room in the cursor metadata the stream may ask for: GNOME's
// mutter reserves room for 384x384 and sends no cursor metadata to a consumer that takes less.
constexpr int kMaxCursorBitmap = 384;
constexpr int kMaxDamageRegions = 16;
// How long Open waits for the stream to agree on a format (its first picture may come much later).
constexpr int64_t kFormatWait = 10 * kCounterFrequency;

struct LoopDestroy {
    void operator()(pw_loop* l) const { pw_loop_destroy(l); }
};
struct ContextDestroy {
    void operator()(pw_context* c) const { pw_context_destroy(c); }
};
struct CoreDisconnect {
    void operator()(pw_core* c) const { pw_core_disconnect(c); }
};
struct StreamDestroy {
    void operator()(pw_stream* s) const { pw_stream_destroy(s); }
};

// The X screen's size (XWayland's on a Wayland desktop); 0x0 without one.
std::pair<int, int> XScreenSize() {
    if (!std::getenv("DISPLAY")) return {0, 0};
    Result<std::unique_ptr<X11Connection>> x = X11Connection::Open(nullptr);
    if (!x.ok()) return {0, 0};
    Display* d = (*x)->get();
    return {DisplayWidth(d, DefaultScreen(d)), DisplayHeight(d, DefaultScreen(d))};
}

void InitPipeWire() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

bool Supported(uint32_t format) {
    return format == SPA_VIDEO_FORMAT_BGRx || format == SPA_VIDEO_FORMAT_BGRA;
}

// A cursor bitmap pixel as premultiplied 0xAARRGGBB; false for a bitmap format we do not read. The
// desktops that send the cursor as metadata (GNOME, KDE) send it premultiplied already.
bool ArgbOf(uint32_t format, const uint8_t* p, uint32_t& out) {
    uint32_t a = 0, r = 0, g = 0, b = 0;
    switch (format) {
        case SPA_VIDEO_FORMAT_BGRA:
            b = p[0], g = p[1], r = p[2], a = p[3];
            break;
        case SPA_VIDEO_FORMAT_RGBA:
            r = p[0], g = p[1], b = p[2], a = p[3];
            break;
        case SPA_VIDEO_FORMAT_ARGB:
            a = p[0], r = p[1], g = p[2], b = p[3];
            break;
        case SPA_VIDEO_FORMAT_ABGR:
            a = p[0], b = p[1], g = p[2], r = p[3];
            break;
        default:
            return false;
    }
    out = a << 24 | r << 16 | g << 8 | b;
    return true;
}

// The stream's parameters for a negotiated format: buffers we can map, and the metadata we read.
void UpdateParams(pw_stream* stream) {
    std::array<uint8_t, 1024> storage{};
    spa_pod_builder b{};
    spa_pod_builder_init(&b, storage.data(), static_cast<uint32_t>(storage.size()));
    const int data_types = 1 << SPA_DATA_MemPtr | 1 << SPA_DATA_MemFd | 1 << SPA_DATA_DmaBuf;
    const int damage_size = static_cast<int>(sizeof(spa_meta_region)) * kMaxDamageRegions;
    const int cursor_size = static_cast<int>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) +
                            kMaxCursorBitmap * kMaxCursorBitmap * 4;
    const int small_cursor = static_cast<int>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + 4;
    std::array<const spa_pod*, 4> params = {
        static_cast<const spa_pod*>(
            spa_pod_builder_add_object(&b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers,
                                       SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(4, 2, 16),
                                       SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int(data_types))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
            SPA_PARAM_META_size, SPA_POD_Int(static_cast<int>(sizeof(spa_meta_header))))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_VideoDamage), SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(damage_size, static_cast<int>(sizeof(spa_meta_region)), damage_size))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
            SPA_PARAM_META_size, SPA_POD_CHOICE_RANGE_Int(cursor_size, small_cursor, cursor_size))),
    };
    pw_stream_update_params(stream, params.data(), static_cast<uint32_t>(params.size()));
}

class PortalScreenBackend final : public ScreenBackend {
  public:
    explicit PortalScreenBackend(std::unique_ptr<ScreenCastSession> session) : session_(std::move(session)) {}
    ~PortalScreenBackend() override {
        if (stream_) spa_hook_remove(&stream_listener_);  // the stream's end is no failure now
        log::Writef(log::Level::kInfo, "screen capture: %llu pictures came through the stream",
                    static_cast<unsigned long long>(pictures_));
        if (core_) spa_hook_remove(&core_listener_);
        stream_.reset();  // before the core, the context and the loop it runs on
        core_.reset();
        context_.reset();
        if (loop_ && entered_) pw_loop_leave(loop_.get());
        loop_.reset();
    }

    Error Connect() {
        InitPipeWire();
        ScreenCastGrant& grant = session_->Grant();
        announced_width_ = grant.width;
        announced_height_ = grant.height;
        loop_.reset(pw_loop_new(nullptr));
        // The loop counts as entered for the backend's whole life: PipeWire's data thread then
        // queues the stream's callbacks for Dispatch instead of running them itself.
        if (loop_) {
            pw_loop_enter(loop_.get());
            entered_ = true;
            context_.reset(pw_context_new(loop_.get(), nullptr, 0));
        }
        if (!context_) return Error::FromErrno(errno, "cannot set up PipeWire");
        core_.reset(pw_context_connect_fd(context_.get(), grant.remote.Get(), nullptr, 0));
        if (!core_)
            return Error::FromErrno(errno, "PipeWire is unreachable through the screen-sharing portal");
        [[maybe_unused]] const int given_away = grant.remote.Release();  // the core owns it now
        static const pw_core_events core_events = [] {
            pw_core_events e{};
            e.version = PW_VERSION_CORE_EVENTS;
            e.error = &PortalScreenBackend::OnCoreError;
            return e;
        }();
        pw_core_add_listener(core_.get(), &core_listener_, &core_events, this);

        stream_.reset(pw_stream_new(core_.get(), "vexa-screen",
                                    pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                      "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr)));
        if (!stream_) return Error::FromErrno(errno, "cannot create the screen-sharing stream");
        static const pw_stream_events stream_events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = &PortalScreenBackend::OnStateChanged;
            e.param_changed = &PortalScreenBackend::OnParamChanged;
            e.process = &PortalScreenBackend::OnProcess;
            return e;
        }();
        pw_stream_add_listener(stream_.get(), &stream_listener_, &stream_events, this);

        std::array<uint8_t, 1024> storage{};
        spa_pod_builder b{};
        spa_pod_builder_init(&b, storage.data(), static_cast<uint32_t>(storage.size()));
        spa_rectangle size_def{1920, 1080}, size_min{1, 1}, size_max{16384, 16384};
        spa_fraction rate_def{30, 1}, rate_min{0, 1}, rate_max{1000, 1};
        const spa_pod* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
            SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(3, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA),
            SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size_def, &size_min, &size_max),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate_def, &rate_min, &rate_max)));
        const int r = pw_stream_connect(
            stream_.get(), PW_DIRECTION_INPUT, grant.node,
            static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), &format,
            1);
        if (r < 0) return Error::FromErrno(-r, "cannot connect to the screen-sharing stream");
        log::Writef(log::Level::kInfo, "screen capture: portal stream, PipeWire node %u, cursor %s",
                    grant.node,
                    grant.cursor_mode == PortalCursorMode::kMetadata   ? "as metadata"
                    : grant.cursor_mode == PortalCursorMode::kEmbedded ? "drawn in by the desktop"
                                                                       : "hidden");
        return {};
    }

    Error Open(CaptureMethod method) override {
        method_ = CaptureMethod::kNone;
        if (method != CaptureMethod::kDamage)
            return Error(ErrorCode::kUnsupported, "the screen-sharing stream reports its own changes");
        if (!active_) {
            pw_stream_set_active(stream_.get(), true);
            active_ = true;
        }
        // The newest picture of the current format is the caller's to grab once it came.
        const int64_t deadline = PerformanceCounter() + kFormatWait;
        Dispatch();
        while (broken_.ok() && !format_known_) {
            const int64_t now = PerformanceCounter();
            if (now >= deadline)
                return Error(ErrorCode::kTimeout, "the screen-sharing stream agreed on no format");
            (void)WaitForLoop(deadline - now, nullptr);
            Dispatch();
        }
        if (!broken_.ok()) return broken_;
        width_ = format_width_;
        height_ = format_height_;
        FindDesktopSize();
        if (cursor_size_ == 0) {  // fixed at the first Open: the recording's cursor records have it
            const int scale = std::max((width_ + desktop_width_ - 1) / std::max(desktop_width_, 1),
                                       (height_ + desktop_height_ - 1) / std::max(desktop_height_, 1));
            cursor_size_ = std::clamp(kCursorSize * scale, kCursorSize, kMaxCursorBitmap);
        }
        format_changed_ = false;
        pending_ = {};
        method_ = CaptureMethod::kDamage;
        if (!PictureFits() && !waiting_logged_) {
            log::Writef(log::Level::kInfo,
                        "screen capture: the stream is %dx%d and has sent no picture yet; the "
                        "recording waits for the first one",
                        width_, height_);
            waiting_logged_ = true;
        }
        return {};
    }

    // The monitor's size in desktop pixels (see the file's head); the stream's when nothing says
    // otherwise.
    void FindDesktopSize() {
        desktop_width_ = width_, desktop_height_ = height_;
        if (announced_width_ > 0 && announced_height_ > 0 &&
            (announced_width_ != width_ || announced_height_ != height_)) {
            desktop_width_ = announced_width_, desktop_height_ = announced_height_;
        } else if (const auto [xw, xh] = XScreenSize();
                   xw > 0 && xh > 0 && xw < width_ &&
                   static_cast<int64_t>(xw) * height_ == static_cast<int64_t>(xh) * width_) {
            desktop_width_ = xw, desktop_height_ = xh;
        }
        if (desktop_width_ != width_ || desktop_height_ != height_)
            log::Writef(log::Level::kInfo,
                        "screen capture: the desktop's %dx%d are the stream's %dx%d pixels", desktop_width_,
                        desktop_height_, width_, height_);
    }

    bool PictureReady() override {
        Dispatch();
        return PictureFits();
    }

    ScreenRect FromDesktop(const ScreenRect& r) const override {
        if (desktop_width_ <= 0 || desktop_height_ <= 0 || width_ <= 0 || height_ <= 0 ||
            (desktop_width_ == width_ && desktop_height_ == height_))
            return r;
        const auto scale = [](int v, int to, int from, bool up) {
            const int64_t n = static_cast<int64_t>(v) * to;
            const int64_t q = n / from - ((n % from != 0 && n < 0) ? 1 : 0);  // floor
            return static_cast<int>(
                std::clamp<int64_t>(up && n % from != 0 ? q + 1 : q, INT32_MIN, INT32_MAX));
        };
        return {scale(r.left, width_, desktop_width_, false), scale(r.top, height_, desktop_height_, false),
                scale(r.right, width_, desktop_width_, true),
                scale(r.bottom, height_, desktop_height_, true)};
    }

    // The stream stays connected: a new method selection reads the newest picture again.
    void Close() override { method_ = CaptureMethod::kNone; }

    // The stream pauses, so that the desktop stops producing pictures nobody takes (while nobody
    // dispatches the loop, during the stop, it would run out of buffers in a tight loop); the next
    // Open resumes it.
    void Suspend() override {
        method_ = CaptureMethod::kNone;
        if (!stream_ || !active_) return;
        pw_stream_set_active(stream_.get(), false);
        active_ = false;
        Dispatch();
    }

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    int CursorSize() const override { return cursor_size_ > 0 ? cursor_size_ : kCursorSize; }
    RowOrder Order() const override { return RowOrder::kTopDown; }

    bool Grab(const ScreenRect& crop, uint8_t* dst, int stride) override {
        const int width = crop.right - crop.left;
        const int height = crop.bottom - crop.top;
        if (method_ == CaptureMethod::kNone || !PictureFits() || width <= 0 || height <= 0 || crop.left < 0 ||
            crop.top < 0 || crop.right > width_ || crop.bottom > height_ || stride < width * 4) {
            return false;
        }
        const size_t picture_stride = static_cast<size_t>(picture_width_) * 4;
        for (int row = 0; row < height; ++row) {
            const uint8_t* src =
                picture_.data() + static_cast<size_t>(crop.top + row) * picture_stride + crop.left * 4;
            std::memcpy(dst + static_cast<ptrdiff_t>(row) * stride, src, static_cast<size_t>(width) * 4);
        }
        return true;
    }

    DamageReport WaitForDamage(int64_t timeout100ns, Waitable& interrupt) override {
        if (method_ != CaptureMethod::kDamage) return {DamageReport::Kind::kFailed, 0, 0, {}};
        const int64_t deadline = timeout100ns < 0 ? INT64_MAX : PerformanceCounter() + timeout100ns * 100;
        for (;;) {
            Dispatch();
            if (!broken_.ok()) return {DamageReport::Kind::kFailed, 0, 0, {}};
            if (format_changed_) return {DamageReport::Kind::kScreenChanged, 0, 0, {}};
            if (pending_.present_time || pending_.mouse_update_time) {
                DamageReport report = std::move(pending_);
                pending_ = {};
                report.kind = DamageReport::Kind::kUpdate;
                return report;
            }
            const int64_t now = PerformanceCounter();
            if (now >= deadline) return {};
            if (WaitForLoop(deadline - now, &interrupt)) return {DamageReport::Kind::kInterrupted, 0, 0, {}};
        }
    }

    bool ScreenChanged() override { return false; }

    // The pointer with its image cut to CursorSize() (right and bottom go; its place stays).
    bool ReadCursor(CursorImage& out) override {
        if (!cursor_known_) return false;
        const int side = CursorSize();
        if (cursor_.width <= side && cursor_.height <= side) {
            out = cursor_;
            return true;
        }
        const int w = std::min(cursor_.width, side), h = std::min(cursor_.height, side);
        out.visible = cursor_.visible, out.x = cursor_.x, out.y = cursor_.y, out.handle = cursor_.handle;
        out.width = w, out.height = h;
        out.argb.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (int row = 0; row < h; ++row)
            std::copy_n(cursor_.argb.begin() + static_cast<ptrdiff_t>(row) * cursor_.width, w,
                        out.argb.begin() + static_cast<ptrdiff_t>(row) * w);
        return true;
    }

  private:
    static PortalScreenBackend* Self(void* data) { return static_cast<PortalScreenBackend*>(data); }

    // The copied picture has the negotiated format's size.
    [[nodiscard]] bool PictureFits() const {
        return format_known_ && picture_width_ == format_width_ && picture_height_ == format_height_;
    }

    void Break(Error e) {
        if (!broken_.ok()) return;
        log::Failure(e, "screen capture");
        broken_ = std::move(e);
    }

    // Runs whatever the PipeWire loop has ready, without blocking.
    void Dispatch() {
        for (int turns = 0; turns < 64 && pw_loop_iterate(loop_.get(), 0) > 0; ++turns) {
        }
    }

    // Sleeps until the loop has work, the interrupt is signalled (true, its signal consumed) or ns pass.
    bool WaitForLoop(int64_t ns, Waitable* interrupt) {
        std::array<pollfd, 2> fds{pollfd{pw_loop_get_fd(loop_.get()), POLLIN, 0},
                                  pollfd{interrupt ? interrupt->NativeHandle() : -1, POLLIN, 0}};
        ns = std::clamp<int64_t>(ns, 0, 3600 * kCounterFrequency);
        const timespec ts{static_cast<time_t>(ns / kCounterFrequency),
                          static_cast<long>(ns % kCounterFrequency)};
        if (ppoll(fds.data(), interrupt ? 2 : 1, &ts, nullptr) <= 0) return false;
        return interrupt && (fds[1].revents & POLLIN) && interrupt->TryConsume();
    }

    static void OnCoreError(void* data, uint32_t id, int /*seq*/, int res, const char* message) {
        if (id != PW_ID_CORE) return;
        Self(data)->Break(
            Error(res == -EPIPE ? ErrorCode::kUnavailable : Error::CodeForErrno(-res),
                  std::string("the connection to PipeWire was lost: ") + (message ? message : "")));
    }

    static void OnStateChanged(void* data, pw_stream_state /*old*/, pw_stream_state state,
                               const char* error) {
        PortalScreenBackend* self = Self(data);
        if (state == PW_STREAM_STATE_ERROR) {
            const std::string reason = error ? error : "unknown error";
            self->Break(self->format_known_
                            ? Error(ErrorCode::kUnavailable, "the screen-sharing stream failed: " + reason)
                            : Error(ErrorCode::kUnsupported,
                                    "the screen-sharing stream's format is not supported (BGRx or BGRA "
                                    "wanted): " +
                                        reason));
        } else if (state == PW_STREAM_STATE_UNCONNECTED && self->streaming_) {
            self->Break(Error(ErrorCode::kUnavailable, "the screen-sharing stream ended"));
        } else if (state == PW_STREAM_STATE_STREAMING) {
            self->streaming_ = true;
        }
    }

    static void OnParamChanged(void* data, uint32_t id, const spa_pod* param) {
        PortalScreenBackend* self = Self(data);
        if (id != SPA_PARAM_Format || !param) return;
        spa_video_info_raw info{};
        if (spa_format_video_raw_parse(param, &info) < 0 || !Supported(info.format)) {
            self->Break(Error(ErrorCode::kUnsupported, "the screen-sharing stream's format " +
                                                           std::to_string(info.format) +
                                                           " is not supported (BGRx or BGRA wanted)"));
            return;
        }
        const int w = static_cast<int>(info.size.width);
        const int h = static_cast<int>(info.size.height);
        if (self->format_known_ && (w != self->format_width_ || h != self->format_height_)) {
            log::Writef(log::Level::kInfo, "screen capture: the shared screen is now %dx%d", w, h);
            self->format_changed_ = true;
        }
        self->format_known_ = true;
        self->format_width_ = w;
        self->format_height_ = h;
        UpdateParams(self->stream_.get());
    }

    static void OnProcess(void* data) {
        PortalScreenBackend* self = Self(data);
        while (pw_buffer* b = pw_stream_dequeue_buffer(self->stream_.get())) self->Take(b);
    }

    // One buffer from the stream: its cursor metadata, and its picture when it carries one.
    void Take(pw_buffer* b) {
        spa_buffer* sb = b->buffer;
        const int64_t now = PerformanceCounter();
        ReadCursorMeta(sb, now);
        bool picture = sb->n_datas > 0 && sb->datas[0].chunk && sb->datas[0].chunk->size > 0 &&
                       !(sb->datas[0].chunk->flags & SPA_CHUNK_FLAG_CORRUPTED);
        const auto* header = static_cast<const spa_meta_header*>(
            spa_buffer_find_meta_data(sb, SPA_META_Header, sizeof(spa_meta_header)));
        if (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED)) picture = false;
        if (picture && !sb->datas[0].data) {
            if (!unmapped_logged_) log::Warning("screen capture: a stream buffer cannot be mapped; skipped");
            unmapped_logged_ = true;
            picture = false;
        }
        if (picture) picture = CopyPicture(sb);
        pw_stream_queue_buffer(stream_.get(), b);  // its pixels are ours now: the stream may reuse it
        if (picture && !pending_.present_time) pending_.present_time = now;
    }

    // Copies the picture into the backend's own (all of it: a desktop's damage metadata is a hint
    // for the recorder's crop, not a promise about every pixel) and adds its change to the pending
    // report. False for a buffer too small for its format.
    bool CopyPicture(spa_buffer* sb) {
        const spa_data& d = sb->datas[0];
        const int w = format_width_, h = format_height_;
        const int src_stride = d.chunk->stride != 0 ? d.chunk->stride : w * 4;
        if (w <= 0 || h <= 0 || src_stride < w * 4 ||
            static_cast<int64_t>(d.chunk->offset) + static_cast<int64_t>(src_stride) * (h - 1) + w * 4 >
                static_cast<int64_t>(d.maxsize)) {
            if (!short_buffer_logged_) log::Warning("screen capture: a stream buffer is too small; skipped");
            short_buffer_logged_ = true;
            return false;
        }
        const size_t row_bytes = static_cast<size_t>(w) * 4;
        picture_.resize(row_bytes * static_cast<size_t>(h));
        picture_width_ = w;
        picture_height_ = h;
        const auto* base = static_cast<const uint8_t*>(d.data) + d.chunk->offset;
        if (src_stride == w * 4) {
            std::memcpy(picture_.data(), base, picture_.size());
        } else {
            for (int row = 0; row < h; ++row)
                std::memcpy(picture_.data() + static_cast<size_t>(row) * row_bytes,
                            base + static_cast<ptrdiff_t>(row) * src_stride, row_bytes);
        }
        AddDamage(sb);
        ++pictures_;
        return true;
    }

    void AddDamage(spa_buffer* sb) {
        const ScreenRect whole{0, 0, format_width_, format_height_};
        spa_meta* meta = spa_buffer_find_meta(sb, SPA_META_VideoDamage);
        size_t added = 0;
        if (meta) {
            spa_meta_region* r = nullptr;
            spa_meta_for_each(r, meta) {
                if (!spa_meta_region_is_valid(r)) break;
                const ScreenRect rect{r->region.position.x, r->region.position.y,
                                      r->region.position.x + static_cast<int>(r->region.size.width),
                                      r->region.position.y + static_cast<int>(r->region.size.height)};
                if (!rect.Intersects(whole)) continue;
                pending_.dirty.push_back(rect);
                ++added;
            }
        }
        // Without damage metadata the picture as a whole is the change.
        if (added == 0) pending_.dirty.push_back(whole);
    }

    // The pointer of a buffer's cursor metadata; a move, a new shape or a change of visibility counts
    // as a pointer update (a desktop may repeat the same metadata with every picture). The position
    // and the bitmap are in stream pixels (on a scaled output GNOME and KDE scale both, and the hot
    // spot with them); the bitmap and its hot spot come only when the shape changes. An invalid id
    // (0) is what GNOME and KDE send while the pointer is hidden or over another monitor: nothing is
    // drawn until a valid id comes again, with or without a new bitmap.
    void ReadCursorMeta(spa_buffer* sb, int64_t now) {
        const spa_meta* meta = spa_buffer_find_meta(sb, SPA_META_Cursor);
        if (!meta || !meta->data || meta->size < sizeof(spa_meta_cursor)) return;
        const auto* c = static_cast<const spa_meta_cursor*>(meta->data);
        const CursorImage before = cursor_;
        if (!spa_meta_cursor_is_valid(c)) {
            cursor_.visible = false;
        } else {
            if (c->bitmap_offset >= sizeof(spa_meta_cursor) &&
                static_cast<size_t>(c->bitmap_offset) + sizeof(spa_meta_bitmap) <= meta->size) {
                const auto* bm = SPA_PTROFF(c, c->bitmap_offset, const spa_meta_bitmap);
                if (bm->offset >= sizeof(spa_meta_bitmap) && bm->size.width > 0 && bm->size.height > 0) {
                    ReadBitmap(*bm, c->hotspot, meta->size - c->bitmap_offset);
                } else {
                    bitmap_visible_ = false;
                }
            }
            cursor_.visible = bitmap_visible_;
            cursor_.x = c->position.x - hot_x_;
            cursor_.y = c->position.y - hot_y_;
        }
        const bool changed = !cursor_known_ || before.visible != cursor_.visible ||
                             (cursor_.visible && (before.x != cursor_.x || before.y != cursor_.y ||
                                                  before.handle != cursor_.handle));
        cursor_known_ = true;
        if (changed && !pending_.mouse_update_time) pending_.mouse_update_time = now;
    }

    // Takes the bitmap as the pointer's shape (whole: ReadCursor cuts it to CursorSize(), which the
    // first Open fixes); the shape's handle changes only when it differs.
    // A bitmap that does not fit in the metadata's bytes (available from its header on) is no shape.
    void ReadBitmap(const spa_meta_bitmap& bm, spa_point hotspot, size_t available) {
        const int w = static_cast<int>(std::min<uint32_t>(bm.size.width, kMaxCursorBitmap));
        const int h = static_cast<int>(std::min<uint32_t>(bm.size.height, kMaxCursorBitmap));
        const auto* pixels = SPA_PTROFF(&bm, bm.offset, const uint8_t);
        const int64_t stride = bm.stride > 0 ? bm.stride : static_cast<int64_t>(bm.size.width) * 4;
        if (stride < static_cast<int64_t>(w) * 4 ||
            static_cast<int64_t>(bm.offset) + stride * (h - 1) + static_cast<int64_t>(w) * 4 >
                static_cast<int64_t>(available)) {
            bitmap_visible_ = false;
            return;
        }
        std::vector<uint32_t> argb(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                if (!ArgbOf(bm.format, pixels + y * stride + x * 4,
                            argb[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)])) {
                    bitmap_visible_ = false;
                    return;
                }
            }
        }
        bitmap_visible_ = true;
        if (argb == cursor_.argb && w == cursor_.width && h == cursor_.height && hotspot.x == hot_x_ &&
            hotspot.y == hot_y_)
            return;
        cursor_.argb = std::move(argb);
        cursor_.width = w;
        cursor_.height = h;
        cursor_.handle = ++cursor_serial_;
        hot_x_ = hotspot.x;
        hot_y_ = hotspot.y;
    }

    std::unique_ptr<ScreenCastSession> session_;
    std::unique_ptr<pw_loop, LoopDestroy> loop_;
    std::unique_ptr<pw_context, ContextDestroy> context_;
    std::unique_ptr<pw_core, CoreDisconnect> core_;
    std::unique_ptr<pw_stream, StreamDestroy> stream_;
    bool entered_ = false;
    bool active_ = true;  // the stream is active; Suspend pauses it, Open resumes it
    spa_hook core_listener_{};
    spa_hook stream_listener_{};

    // Written by the stream's callbacks, which run inside Dispatch on the caller's thread.
    Error broken_;  // set once: the stream or the connection is gone
    bool streaming_ = false;
    bool format_known_ = false;
    bool format_changed_ = false;  // since Open
    int format_width_ = 0;
    int format_height_ = 0;
    std::vector<uint8_t> picture_;  // the newest picture, BGRx rows of picture_width_ pixels
    int picture_width_ = 0;
    int picture_height_ = 0;
    uint64_t pictures_ = 0;
    DamageReport pending_;  // changes since Open or the previous report
    CursorImage cursor_;
    bool cursor_known_ = false;
    bool bitmap_visible_ = false;
    int hot_x_ = 0;
    int hot_y_ = 0;
    uint64_t cursor_serial_ = 0;
    int cursor_size_ = 0;  // CursorSize(), fixed at the first successful Open
    bool unmapped_logged_ = false;
    bool short_buffer_logged_ = false;
    bool waiting_logged_ = false;
    int announced_width_ = 0;  // the monitor's size as the portal announced it
    int announced_height_ = 0;
    int desktop_width_ = 0;  // the monitor's size in desktop coordinates, as of the last Open
    int desktop_height_ = 0;

    // As of the last successful Open.
    CaptureMethod method_ = CaptureMethod::kNone;
    int width_ = 0;
    int height_ = 0;
};

// The process-wide place for the portal's restore token, used when the caller names none.
std::mutex default_tokens_lock;
std::shared_ptr<ScreenCastTokenStore> default_tokens;

std::shared_ptr<ScreenCastTokenStore> DefaultTokens() {
    std::lock_guard<std::mutex> guard(default_tokens_lock);
    return default_tokens;
}

}  // namespace

void SetDefaultScreenCastTokens(std::shared_ptr<ScreenCastTokenStore> store) {
    std::lock_guard<std::mutex> guard(default_tokens_lock);
    default_tokens = std::move(store);
}

bool IsWaylandSession() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return type && std::string_view(type) == "wayland" && display && *display;
}

Result<std::unique_ptr<ScreenBackend>> CreatePortalScreenBackend(const PortalOptions& options) {
    std::shared_ptr<ScreenCastTokenStore> fallback;
    ScreenCastTokenStore* tokens = options.tokens;
    if (!tokens && (fallback = DefaultTokens())) tokens = fallback.get();
    ScreenCastRequest request;
    request.cursor = options.cursor;
    if (tokens) request.restore_token = tokens->Load();
    Result<std::unique_ptr<ScreenCastSession>> session = ScreenCastSession::Start(request);
    if (!session.ok()) return session.error().Within("cannot record the screen");
    if (tokens && !(*session)->Grant().restore_token.empty()) tokens->Save((*session)->Grant().restore_token);
    auto backend = std::make_unique<PortalScreenBackend>(std::move(session).value());
    if (Error e = backend->Connect(); !e.ok()) return e.Within("cannot record the screen");
    return std::unique_ptr<ScreenBackend>(std::move(backend));
}

Result<std::unique_ptr<ScreenBackend>> CreateScreenBackend(MethodChoice choice, const PortalOptions& portal) {
    if (choice == MethodChoice::kPortal || (choice == MethodChoice::kAuto && IsWaylandSession()))
        return CreatePortalScreenBackend(portal);
    return CreateX11ScreenBackend(nullptr, choice);
}

}  // namespace vexa::platform
