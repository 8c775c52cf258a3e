// What the X server offers for screen capture: its extensions, the primary screen's rectangle,
// the pixel layout of screen images and the cursor size the desktop asks for. Plain queries on a
// connection; called by the thread that owns it.
#pragma once

#include <X11/Xlib.h>

#include <optional>

#include "platform/screen/screen_backend.h"
#include "platform/screen/x11_pixel_format.h"

namespace vexa::platform {

struct Extensions {
    bool damage = false;
    bool fixes = false;
    bool randr = false;  // 1.3 or later: primary output
    int damage_event_base = 0;
    int fixes_event_base = 0;
    int randr_event_base = 0;
    bool xi2 = false;  // XInput 2.0 or later: raw pointer motion
    int xi_opcode = 0;
};

// Queries the extensions and announces our versions (DAMAGE and XFixes need that before use).
[[nodiscard]] Extensions QueryExtensions(Display* d);

// The common part of two rectangles; all zero when they do not meet.
[[nodiscard]] ScreenRect Intersection(const ScreenRect& a, const ScreenRect& b);

// The rectangle of the RandR primary output in root coordinates, if there is one that is lit.
[[nodiscard]] std::optional<ScreenRect> PrimaryOutputRect(Display* d, Window root);

// The layout of the root window's pixels; none for visuals the capture cannot copy.
[[nodiscard]] std::optional<PixelLayout> ScreenPixelLayout(Display* d, const XWindowAttributes& root);

// The cursor size the desktop asks for: $XCURSOR_SIZE, else the Xcursor.size resource; 0 if neither.
[[nodiscard]] int ConfiguredCursorSize(Display* d);

}  // namespace vexa::platform
