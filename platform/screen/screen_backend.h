// The screen as the capture thread sees it: a primary screen of fixed size whose pixels can be
// copied, change notifications (dirty rectangles) for the damage method, and the mouse cursor.
//
// Two capture methods:
//  - kPolling: the image is copied at the frame period and compared with the previous one;
//  - kDamage:  the server reports changed rectangles, and only a change that meets the crop is copied.
//
// Both methods follow the screen's configuration: when its size or primary output changes, the
// backend says so (WaitForDamage's kScreenChanged, ScreenChanged() while polling) and the method must
// be set up again, which reads the new size.
//
// A backend is owned by one CDisplay and used only by its capture thread: no call is thread-safe
// except that WaitForDamage returns early when the interrupt object is signalled from elsewhere.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/sync/waitable.h"

namespace vexa::platform {

// Pixel rectangle; right and bottom are exclusive.
struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    [[nodiscard]] bool Intersects(const ScreenRect& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
};

enum class CaptureMethod : int { kNone = 0, kPolling = 1, kDamage = 2 };

// Memory the display server writes a grab into itself (a shared-memory segment), so that no copy of
// the picture is made. Made by a backend's CreateSharedPixels; owned by the caller, used and
// destroyed on the backend's thread, and never outliving the backend.
class SharedPixels {
  public:
    virtual ~SharedPixels() = default;
    [[nodiscard]] virtual uint8_t* Data() = 0;
    [[nodiscard]] virtual size_t Size() const = 0;
};

// The methods a backend offers: the recorder's own choice (on a Wayland session the desktop's
// screen-sharing portal, else damage where the X server allows it, else polling), or one the user
// forces (an X11 method for a server whose DAMAGE misbehaves, the portal, or either for tests).
enum class MethodChoice : uint8_t { kAuto, kDamage, kPolling, kPortal };

// Row order of the images a backend copies out.
enum class RowOrder : uint8_t { kBottomUp = 1, kTopDown = 2 };

// The cursor as it is now. The image is premultiplied ARGB (0xAARRGGBB), width × height pixels,
// to be drawn with its top-left corner at (x, y): the pointer position less the hot spot.
struct CursorImage {
    bool visible = false;
    int x = 0;
    int y = 0;
    uint64_t handle = 0;  // changes whenever the cursor's shape changes
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;
};

struct DamageReport {
    enum class Kind { kTimeout, kUpdate, kFailed, kInterrupted, kScreenChanged };
    Kind kind = Kind::kTimeout;
    int64_t present_time = 0;       // counter value of the image update; 0 when only the pointer moved
    int64_t mouse_update_time = 0;  // counter value of the pointer update; 0 when none
    std::vector<ScreenRect> dirty;  // rectangles changed since the previous report
};

class ScreenBackend {
  public:
    virtual ~ScreenBackend() = default;

    // Sets up the method, releasing whatever the previous one held. Fails with the reason when it
    // cannot be set up (for kDamage: "the X server lacks DAMAGE").
    [[nodiscard]] virtual Error Open(CaptureMethod method) = 0;
    virtual void Close() = 0;
    // Capture has ended (the recording stops): like Close, and a source that produces pictures on
    // its own (a screen-sharing stream) may stop producing until the next Open.
    virtual void Suspend() { Close(); }

    // Size of the primary screen as of the last successful Open.
    [[nodiscard]] virtual int Width() const = 0;
    [[nodiscard]] virtual int Height() const = 0;
    // Largest cursor image the backend delivers (both sides); cursor records are this size. Read
    // after the first successful Open; it stays the same for the backend's life.
    [[nodiscard]] virtual int CursorSize() const = 0;
    [[nodiscard]] virtual RowOrder Order() const = 0;

    // Copies the crop rectangle of the current screen into dst (rows in Order(), stride bytes apart,
    // 32-bit BGRA). False on failure (the method must then be set up again). When dst lies inside
    // one of this backend's SharedPixels and the rows are packed (stride = width × 4: whole rows of a
    // picture as wide as the crop), the server writes the picture straight into it: the same pixels,
    // without the copy.
    [[nodiscard]] virtual bool Grab(const ScreenRect& crop, uint8_t* dst, int stride) = 0;

    // Memory of at least size bytes for Grab to fill without a copy; null when the backend has none
    // (no shared memory with the server, a backend that copies anyway). Needs an opened method.
    [[nodiscard]] virtual std::unique_ptr<SharedPixels> CreateSharedPixels(size_t size) {
        (void)size;
        return nullptr;
    }

    // Damage method: waits up to timeout100ns for screen updates or pointer moves made since Open (the
    // picture at Open is the caller's to grab) or since the previous report. Returns kInterrupted
    // as soon as interrupt is signalled (its signal is consumed), kScreenChanged when the screen
    // configuration changed, kFailed when the connection broke.
    [[nodiscard]] virtual DamageReport WaitForDamage(int64_t timeout100ns, Waitable& interrupt) = 0;

    // Polling method: true when the screen configuration changed since Open (or since the previous
    // call said so), without blocking. False under the damage method, which reports it itself.
    [[nodiscard]] virtual bool ScreenChanged() = 0;

    // Whether pointer moves and cursor changes are wanted (the cursor is recorded); takes effect at
    // the next Open. Without them the damage method does no pointer work at all.
    virtual void FollowPointer(bool follow) { (void)follow; }

    // Reads the cursor; false when it cannot be read (treated as hidden).
    [[nodiscard]] virtual bool ReadCursor(CursorImage& out) = 0;

    // False while an opened damage method has no picture to grab yet (a screen-sharing stream that
    // sends its first picture only when the screen changes): the first update then brings it.
    [[nodiscard]] virtual bool PictureReady() { return true; }

    // A rectangle in the desktop's coordinates (X11; logical pixels on a scaled Wayland output) in
    // the backend's pixels, as of the last successful Open; rounded outwards.
    [[nodiscard]] virtual ScreenRect FromDesktop(const ScreenRect& desktop) const { return desktop; }
};

// The X11 backend (MIT-SHM + DAMAGE + XFixes + RandR) on the given display name (null: $DISPLAY),
// offering the chosen methods: Open refuses a method the choice rules out. Fails with "cannot open
// X display :59" when the display cannot be opened.
[[nodiscard]] Result<std::unique_ptr<ScreenBackend>> CreateX11ScreenBackend(
    const char* display = nullptr, MethodChoice choice = MethodChoice::kAuto);

// Where the screen-sharing portal's restore token is kept between recordings, so that the desktop
// asks which screen to share only once. Implementations are thread-safe.
class ScreenCastTokenStore {
  public:
    virtual ~ScreenCastTokenStore() = default;
    [[nodiscard]] virtual std::string Load() = 0;  // empty when none is kept
    virtual void Save(const std::string& token) = 0;
};

struct PortalOptions {
    bool cursor = true;                      // the pointer is wanted in the picture
    ScreenCastTokenStore* tokens = nullptr;  // null: the process's default store (may be none)
};

// The process's default token store (the desktop program sets its settings store at start-up).
void SetDefaultScreenCastTokens(std::shared_ptr<ScreenCastTokenStore> store);

// XDG_SESSION_TYPE is "wayland" and WAYLAND_DISPLAY is set: the X server (XWayland) sees none of the
// desktop's own windows, so the screen is recorded through the portal.
[[nodiscard]] bool IsWaylandSession();

// The Wayland backend: the desktop's ScreenCast portal grants one monitor (asking the user unless
// the stored restore token still holds), and its PipeWire stream carries the picture, its damage and
// the pointer. It offers the damage method only. Failures name what failed and are logged: no
// portal (kUnavailable), the user or the desktop refused (kCancelled, kPermission), PipeWire
// unreachable (kUnavailable); a stream whose format is not supported fails Open (kUnsupported).
[[nodiscard]] Result<std::unique_ptr<ScreenBackend>> CreatePortalScreenBackend(const PortalOptions& options);

// The backend for a choice: the portal for kPortal, and for kAuto on a Wayland session; else X11 on
// $DISPLAY.
[[nodiscard]] Result<std::unique_ptr<ScreenBackend>> CreateScreenBackend(MethodChoice choice,
                                                                         const PortalOptions& portal = {});

}  // namespace vexa::platform
