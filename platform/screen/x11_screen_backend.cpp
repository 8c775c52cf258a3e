// The screen backend on an X server: MIT-SHM (or XGetImage) for the pixels, DAMAGE for change
// notifications, XFixes for the cursor and RandR for the primary screen and its changes.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/screen/screen_backend.h"
#include "platform/screen/x11_connection.h"
#include "platform/screen/x11_handles.h"
#include "platform/screen/x11_pixel_format.h"
#include "platform/screen/x11_screen_info.h"
#include "platform/screen/x11_shm_image.h"
#include "platform/time/clock.h"

namespace vexa::platform {
namespace {

// Cursor records are square; themes rarely go beyond 64 even on dense screens.
constexpr int kMinCursorSize = 32;
constexpr int kMaxCursorSize = 256;
// Without XInput 2 no event announces the pointer's moves, so its position is asked for this often
// while waiting for damage. With it, raw motion events say when to ask, and a still pointer costs
// nothing.
constexpr int64_t kPointerPollPeriod = kCounterFrequency / 60;

// Start of the size-long window of a cursor side of length extent that keeps the hot spot inside.
int CursorWindowStart(int hot, int extent, int size) {
    if (extent <= size || hot < size) return 0;
    return std::min(hot - size / 2, extent - size);
}

// Whether the user's choice leaves the method on offer.
bool Offered(MethodChoice choice, CaptureMethod method) {
    switch (choice) {
        case MethodChoice::kAuto:
            return true;
        case MethodChoice::kDamage:
            return method == CaptureMethod::kDamage;
        case MethodChoice::kPolling:
            return method == CaptureMethod::kPolling;
        case MethodChoice::kPortal:
            return false;
    }
    return false;
}

// A segment the server grabs into for the caller; listed in its backend while it lives.
class X11SharedPixels final : public SharedPixels {
  public:
    X11SharedPixels(std::unique_ptr<X11ShmImage> image, std::vector<X11ShmImage*>& list)
        : image_(std::move(image)), list_(list) {
        list_.push_back(image_.get());
    }
    ~X11SharedPixels() override { std::erase(list_, image_.get()); }
    X11SharedPixels(const X11SharedPixels&) = delete;
    X11SharedPixels& operator=(const X11SharedPixels&) = delete;

    uint8_t* Data() override { return image_->Data(); }
    size_t Size() const override { return image_->Capacity(); }

  private:
    std::unique_ptr<X11ShmImage> image_;
    std::vector<X11ShmImage*>& list_;
};

class X11ScreenBackend final : public ScreenBackend {
  public:
    X11ScreenBackend(std::unique_ptr<X11Connection> connection, MethodChoice choice)
        : connection_(std::move(connection)),
          choice_(choice),
          display_(connection_->get()),
          name_(DisplayString(display_)),
          root_(DefaultRootWindow(display_)),
          extensions_(QueryExtensions(display_)),
          cursor_size_(ChooseCursorSize()) {}

    ~X11ScreenBackend() override { Close(); }

    Error Open(CaptureMethod method) override {
        Close();
        if (!Offered(choice_, method))
            return Error(ErrorCode::kUnsupported,
                         std::string("the ") + (method == CaptureMethod::kDamage ? "damage" : "polling") +
                             " method was not chosen");
        if (connection_->Broken())
            return Error(ErrorCode::kUnavailable, "the connection to X display " + name_ + " broke");
        // Screen changes are asked for before the geometry is read, so that none falls between the
        // two. RandR answers the request at once with a notification when the screen changed since
        // this client last asked for its configuration: that one describes what is read next, and
        // is dropped.
        SelectScreenChanges();
        XSync(display_, True);
        Error opened = ReadGeometry();
        if (opened.ok()) {
            opened = method == CaptureMethod::kDamage ? OpenDamage()
                     : method == CaptureMethod::kPolling
                         ? OpenPolling()
                         : Error(ErrorCode::kInvalidArgument, "no capture method");
        }
        if (!opened.ok()) {
            Close();
            return opened;
        }
        method_ = method;
        return {};
    }

    void FollowPointer(bool follow) override { follow_pointer_ = follow; }

    void Close() override {
        if (!connection_->Broken()) {
            if (extensions_.fixes) XFixesSelectCursorInput(display_, root_, 0);
            if (raw_motion_) SelectRawMotion(false);
            if (extensions_.randr) XRRSelectInput(display_, root_, 0);
        }
        raw_motion_ = false;
        damage_.Reset();
        region_.Reset();
        shm_.reset();
        method_ = CaptureMethod::kNone;
        if (!connection_->Broken()) XSync(display_, True);  // drops events of the old method
    }

    int Width() const override { return screen_.right - screen_.left; }
    int Height() const override { return screen_.bottom - screen_.top; }
    int CursorSize() const override { return cursor_size_; }
    RowOrder Order() const override { return RowOrder::kTopDown; }

    bool Grab(const ScreenRect& crop, uint8_t* dst, int stride) override {
        const int width = crop.right - crop.left;
        const int height = crop.bottom - crop.top;
        if (method_ == CaptureMethod::kNone || width <= 0 || height <= 0 || crop.left < 0 || crop.top < 0 ||
            crop.right > Width() || crop.bottom > Height() || stride < width * 4) {
            return false;
        }
        const int x = screen_.left + crop.left;
        const int y = screen_.top + crop.top;
        if (stride == width * 4) {
            // Packed rows inside one of the caller's segments: the server writes the picture where it
            // is wanted, and only a layout other than BGRA is turned in place.
            for (X11ShmImage* target : shared_) {
                const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
                const auto base = reinterpret_cast<uintptr_t>(target->Data());
                const auto at = reinterpret_cast<uintptr_t>(dst);
                if (at < base || target->Capacity() < bytes || at - base > target->Capacity() - bytes)
                    continue;
                const XImage* image = target->Get(root_, x, y, width, height, at - base);
                if (!image || image->bits_per_pixel != 32 || image->bytes_per_line != stride) return false;
                if (!layout_.IsBgra()) CopyRowsToBgra(layout_, dst, stride, dst, stride, width, height);
                return true;
            }
        }
        if (shm_) {
            const XImage* image = shm_->Get(root_, x, y, width, height);
            return image && CopyImage(*image, dst, stride);
        }
        ImagePtr image(XGetImage(display_, root_, x, y, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), AllPlanes, ZPixmap));
        return image && CopyImage(*image, dst, stride);
    }

    std::unique_ptr<SharedPixels> CreateSharedPixels(size_t size) override {
        // Only where the method already shares memory with the server, in the screen's pixel format.
        if (!shm_ || !visual_ || connection_->Broken()) return nullptr;
        Result<std::unique_ptr<X11ShmImage>> image = X11ShmImage::Create(*connection_, visual_, depth_, size);
        if (!image.ok()) return nullptr;
        WriteFromServer(**image);
        return std::make_unique<X11SharedPixels>(std::move(image).value(), shared_);
    }

    DamageReport WaitForDamage(int64_t timeout100ns, Waitable& interrupt) override {
        if (method_ != CaptureMethod::kDamage) return Failed();
        const int64_t deadline = timeout100ns < 0 ? INT64_MAX : PerformanceCounter() + timeout100ns * 100;
        DamageReport report;
        for (;;) {
            switch (CollectEvents(report)) {
                case Events::kBroken:
                    return Failed();
                case Events::kScreenChanged:
                    return DamageReport{DamageReport::Kind::kScreenChanged, 0, 0, {}};
                case Events::kHandled:
                    break;
            }
            PollPointer(report);
            if (report.present_time || report.mouse_update_time) {
                report.kind = DamageReport::Kind::kUpdate;
                return report;
            }
            const int64_t now = PerformanceCounter();
            if (now >= deadline) return report;  // kTimeout
            switch (WaitForInput(std::min(deadline, next_pointer_poll_) - now, interrupt)) {
                case Input::kInterrupt:
                    return DamageReport{DamageReport::Kind::kInterrupted, 0, 0, {}};
                case Input::kBroken:
                    return Failed();
                case Input::kServerOrTimeout:
                    break;
            }
        }
    }

    bool ScreenChanged() override {
        if (method_ != CaptureMethod::kPolling) return false;
        DamageReport ignored;  // polling selects no damage or cursor events
        return CollectEvents(ignored) == Events::kScreenChanged;
    }

    bool ReadCursor(CursorImage& out) override {
        if (!extensions_.fixes || connection_->Broken()) return false;
        CursorImagePtr image(XFixesGetCursorImage(display_));
        if (!image) return false;
        out.handle = image->cursor_serial;
        out.visible = image->width > 0 && image->height > 0;
        const int x0 = CursorWindowStart(image->xhot, image->width, cursor_size_);
        const int y0 = CursorWindowStart(image->yhot, image->height, cursor_size_);
        out.width = std::min<int>(image->width, cursor_size_);
        out.height = std::min<int>(image->height, cursor_size_);
        out.x = image->x - image->xhot + x0 - screen_.left;
        out.y = image->y - image->yhot + y0 - screen_.top;
        out.argb.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
        // XFixes hands each 32-bit pixel over in an unsigned long.
        for (int row = 0; row < out.height; ++row) {
            const unsigned long* src = image->pixels + static_cast<size_t>(row + y0) * image->width + x0;
            uint32_t* dst = &out.argb[static_cast<size_t>(row) * static_cast<size_t>(out.width)];
            for (int col = 0; col < out.width; ++col) dst[col] = static_cast<uint32_t>(src[col]);
        }
        return true;
    }

  private:
    // The server writes into the new segment's pages once, here rather than in the first grab after
    // the start: at 1080p, pages it touched for the first time cost that grab about 20 ms.
    void WriteFromServer(X11ShmImage& image) {
        const size_t width = std::min<size_t>(static_cast<size_t>(Width()), image.Capacity() / 4);
        if (width == 0) return;
        const size_t rows = std::min<size_t>(static_cast<size_t>(Height()), image.Capacity() / (width * 4));
        (void)image.Get(root_, screen_.left, screen_.top, static_cast<int>(width), static_cast<int>(rows));
    }

    enum class Input { kServerOrTimeout, kInterrupt, kBroken };
    enum class Events { kHandled, kScreenChanged, kBroken };

    static DamageReport Failed() { return DamageReport{DamageReport::Kind::kFailed, 0, 0, {}}; }

    int ChooseCursorSize() {
        int size = std::max(kMinCursorSize, ConfiguredCursorSize(display_));
        if (extensions_.fixes) {
            CursorImagePtr image(XFixesGetCursorImage(display_));
            if (image)
                size = std::max({size, static_cast<int>(image->width), static_cast<int>(image->height)});
        }
        return std::min(size, kMaxCursorSize);
    }

    // Reads the primary screen's rectangle, the visual and its pixel layout.
    Error ReadGeometry() {
        XWindowAttributes root{};
        if (!XGetWindowAttributes(display_, root_, &root))
            return Error(ErrorCode::kUnavailable, "cannot read the root window of X display " + name_);
        const std::optional<PixelLayout> layout = ScreenPixelLayout(display_, root);
        if (!layout) {
            return Error(ErrorCode::kUnsupported, "the pixels of X display " + name_ + " (depth " +
                                                      std::to_string(root.depth) + ") cannot be captured");
        }
        const ScreenRect whole{0, 0, root.width, root.height};
        std::optional<ScreenRect> primary;
        if (extensions_.randr) primary = PrimaryOutputRect(display_, root_);
        screen_ = primary ? Intersection(*primary, whole) : whole;
        if (screen_.right <= screen_.left) screen_ = whole;
        layout_ = *layout;
        visual_ = root.visual;
        depth_ = root.depth;
        return {};
    }

    [[nodiscard]] size_t ScreenBytes() const {
        return static_cast<size_t>(Width()) * static_cast<size_t>(Height()) * 4;
    }

    Error OpenPolling() {
        Result<std::unique_ptr<X11ShmImage>> shm =
            X11ShmImage::Create(*connection_, visual_, depth_, ScreenBytes());
        if (shm.ok()) shm_ = std::move(shm).value();  // without MIT-SHM, XGetImage serves
        return {};
    }

    // Asks for RandR's notifications: the screen's size, its outputs and their placement.
    void SelectScreenChanges() {
        if (!extensions_.randr) return;
        XRRSelectInput(display_, root_,
                       RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    }

    Error OpenDamage() {
        if (!extensions_.damage)
            return Error(ErrorCode::kUnsupported, "X display " + name_ + " lacks DAMAGE");
        if (!extensions_.fixes)
            return Error(ErrorCode::kUnsupported, "X display " + name_ + " lacks XFixes 2");
        Result<std::unique_ptr<X11ShmImage>> shm =
            X11ShmImage::Create(*connection_, visual_, depth_, ScreenBytes());
        if (!shm.ok()) return shm.error();
        shm_ = std::move(shm).value();
        const uint64_t errors = connection_->ErrorCount();
        damage_ = DamageObject(display_, XDamageCreate(display_, root_, XDamageReportNonEmpty));
        region_ = RegionObject(display_, XFixesCreateRegion(display_, nullptr, 0));
        if (follow_pointer_) {
            XFixesSelectCursorInput(display_, root_, XFixesDisplayCursorNotifyMask);
            if (extensions_.xi2) SelectRawMotion(true);
        }
        if (!connection_->SyncWithoutErrors(errors))
            return Error(ErrorCode::kInternal, "X display " + name_ + " refused to report damage");
        // A new damage object starts out with the whole window damaged. The caller grabs the first
        // picture after Open anyway, so that damage and its event are dropped.
        XDamageSubtract(display_, damage_.get(), None, None);
        XSync(display_, True);
        raw_motion_ = follow_pointer_ && extensions_.xi2;
        pointer_known_ = follow_pointer_ && QueryPointer(pointer_x_, pointer_y_);
        // Polled only without raw motion events, and not at all when the pointer is not recorded.
        next_pointer_poll_ =
            follow_pointer_ && !raw_motion_ ? PerformanceCounter() + kPointerPollPeriod : INT64_MAX;
        return {};
    }

    [[nodiscard]] bool CopyImage(const XImage& image, uint8_t* dst, int stride) const {
        if (image.bits_per_pixel != 32) return false;
        CopyRowsToBgra(layout_, reinterpret_cast<const uint8_t*>(image.data), image.bytes_per_line, dst,
                       stride, image.width, image.height);
        return true;
    }

    // Raw pointer motion of every master device, wherever the pointer is (or none).
    void SelectRawMotion(bool on) {
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        if (on) XISetMask(bits, XI_RawMotion);
        XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
        XISelectEvents(display_, root_, &mask, 1);
    }

    // Handles every event that has arrived, without blocking: damage, pointer moves and cursor
    // changes go into the report; a screen configuration change or a broken connection is said
    // instead.
    Events CollectEvents(DamageReport& report) {
        if (connection_->Broken()) return Events::kBroken;
        bool damaged = false;
        bool changed = false;
        bool moved = false;
        while (XEventsQueued(display_, QueuedAfterReading) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            const int type = event.type;
            if (type == extensions_.damage_event_base + XDamageNotify) {
                damaged = true;
            } else if (type == GenericEvent && event.xcookie.extension == extensions_.xi_opcode &&
                       event.xcookie.evtype == XI_RawMotion) {
                moved = raw_motion_;
            } else if (type == extensions_.fixes_event_base + XFixesCursorNotify) {
                if (!report.mouse_update_time) report.mouse_update_time = PerformanceCounter();
            } else if (extensions_.randr && (type == extensions_.randr_event_base + RRScreenChangeNotify ||
                                             type == extensions_.randr_event_base + RRNotify)) {
                XRRUpdateConfiguration(&event);  // Xlib's own idea of the screen size
                changed = true;
            }
        }
        if (connection_->Broken()) return Events::kBroken;
        if (changed) return Events::kScreenChanged;
        if (damaged && !FetchDamage(report)) return Events::kBroken;
        if (moved) ReadPointer(report, PerformanceCounter());
        if (!report.dirty.empty() && !report.present_time) report.present_time = PerformanceCounter();
        return Events::kHandled;
    }

    // Takes the damaged region off the damage object and adds its rectangles, in screen coordinates,
    // to the report.
    bool FetchDamage(DamageReport& report) {
        XDamageSubtract(display_, damage_.get(), None, region_.get());
        int count = 0;
        std::unique_ptr<XRectangle, XFreePtr> rects(XFixesFetchRegion(display_, region_.get(), &count));
        if (connection_->Broken()) return false;
        for (int i = 0; rects && i < count; ++i) {
            const XRectangle& r = rects.get()[i];
            const ScreenRect root_rect{r.x, r.y, r.x + r.width, r.y + r.height};
            const ScreenRect on_screen = Intersection(root_rect, screen_);
            if (on_screen.right <= on_screen.left) continue;
            report.dirty.push_back(ScreenRect{on_screen.left - screen_.left, on_screen.top - screen_.top,
                                              on_screen.right - screen_.left,
                                              on_screen.bottom - screen_.top});
        }
        return true;
    }

    bool QueryPointer(int& x, int& y) {
        Window root_return = 0;
        Window child = 0;
        int wx = 0;
        int wy = 0;
        unsigned mask = 0;
        return XQueryPointer(display_, root_, &root_return, &child, &x, &y, &wx, &wy, &mask);
    }

    // Asks for the pointer position once per poll period and notes a move in the report.
    void PollPointer(DamageReport& report) {
        const int64_t now = PerformanceCounter();
        if (now < next_pointer_poll_) return;
        next_pointer_poll_ = now + kPointerPollPeriod;
        ReadPointer(report, now);
    }

    // Asks where the pointer is and notes a move in the report.
    void ReadPointer(DamageReport& report, int64_t now) {
        int x = 0;
        int y = 0;
        const bool known = QueryPointer(x, y);
        if (known != pointer_known_ || x != pointer_x_ || y != pointer_y_) {
            if (!report.mouse_update_time) report.mouse_update_time = now;
        }
        pointer_known_ = known;
        pointer_x_ = x;
        pointer_y_ = y;
    }

    // Sleeps until the server sends something, the interrupt is signalled, or ns pass.
    Input WaitForInput(int64_t ns, Waitable& interrupt) {
        XFlush(display_);
        ns = std::max<int64_t>(ns, 0);
        std::array<pollfd, 2> fds{pollfd{interrupt.NativeHandle(), POLLIN, 0},
                                  pollfd{ConnectionNumber(display_), POLLIN, 0}};
        const timespec ts{static_cast<time_t>(ns / kCounterFrequency),
                          static_cast<long>(ns % kCounterFrequency)};
        const int ready = ppoll(fds.data(), fds.size(), &ts, nullptr);
        if (ready <= 0) return Input::kServerOrTimeout;  // a signal or the time-out: the caller checks
        if ((fds[0].revents & POLLIN) && interrupt.TryConsume()) return Input::kInterrupt;
        if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) return Input::kBroken;
        return Input::kServerOrTimeout;
    }

    std::unique_ptr<X11Connection> connection_;
    MethodChoice choice_;
    Display* display_;
    std::string name_;  // as in messages: ":0"
    Window root_;
    Extensions extensions_;
    int cursor_size_;

    CaptureMethod method_ = CaptureMethod::kNone;
    ScreenRect screen_;  // the primary screen in root coordinates
    PixelLayout layout_;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    std::unique_ptr<X11ShmImage> shm_;
    std::vector<X11ShmImage*> shared_;  // the callers' SharedPixels that are alive
    DamageObject damage_;
    RegionObject region_;
    bool pointer_known_ = false;
    int pointer_x_ = 0;
    int pointer_y_ = 0;
    int64_t next_pointer_poll_ = 0;
    bool follow_pointer_ = true;  // cursor recorded: pointer moves and shape changes are reported
    bool raw_motion_ = false;     // XInput 2 raw motion selected (no pointer polling)
};

}  // namespace

Result<std::unique_ptr<ScreenBackend>> CreateX11ScreenBackend(const char* display, MethodChoice choice) {
    Result<std::unique_ptr<X11Connection>> connection = X11Connection::Open(display);
    if (!connection.ok()) return connection.error();
    return std::unique_ptr<ScreenBackend>(
        std::make_unique<X11ScreenBackend>(std::move(connection).value(), choice));
}

}  // namespace vexa::platform
