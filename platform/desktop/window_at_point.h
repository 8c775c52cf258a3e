// The window under a point of the screen, as region selection outlines it: the top-level window and
// its rectangle, followed down to the deepest visible child window.
//
// The top-level windows are taken in the X server's stacking order (the root's children, top-most
// first), which holds window-manager frames, windows of a server without a window manager and
// override-redirect windows (menus, pop-ups) alike. Unmapped and input-only windows, the excluded
// window and the frame around it are passed over. Inside a frame the application's window is the
// one with WM_STATE; what the user sees of it is its rectangle grown by the window manager's
// _NET_FRAME_EXTENTS, or the frame's own rectangle when the window manager does not say. A point
// over an invisible part of a frame (a shadow or resize margin outside those extents) goes on to
// the windows below. Rectangles are in root (screen) coordinates, borders included.
//
// Thread-safe; runs on the process's shared desktop connection to $DISPLAY, a few round trips per
// call (requests for many windows go out together).
#pragma once

#include <cstdint>
#include <optional>

#include "platform/error.h"
#include "platform/screen/screen_backend.h"

namespace vexa::desktop {

struct WindowHit {
    uint32_t window = 0;         // the application's top-level window (the client, not the frame)
    platform::ScreenRect frame;  // the window as the user sees it, decorations included
    uint32_t child_window = 0;   // the deepest visible child window under the point, or 0
    std::optional<platform::ScreenRect> child;  // its rectangle, when there is one
};

// The window at (x, y) in root coordinates; nothing over the bare root; kUnavailable when the
// display cannot be reached. exclude_window (0: none) is the caller's own overlay.
[[nodiscard]] Result<std::optional<WindowHit>> WindowAtPoint(int x, int y, uint32_t exclude_window);

}  // namespace vexa::desktop
