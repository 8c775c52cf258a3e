// Input features a window switches while it is shown: passing every click through to what lies
// below (the frame around a recorded region while recording), its native window for queries that
// must pass over it, and moving the pointer (arrow keys nudging a selection by one pixel).
// Thread-safety: user-interface thread only.
#pragma once

#include <QPoint>

namespace vexa::toolkit {

class Window;

// Click-through on (the mouse reaches the windows below, wherever the window is drawn) or off.
// Lasts for the window's native window; nothing happens without an X display.
void setClickThrough(Window& window, bool clickThrough);
// The X window id of the window, 0 before it is created.
[[nodiscard]] unsigned long nativeWindowId(const Window& window);
// Whether the keyboard focus now rests with another program's window: false when it rests with
// no window (a desktop taking back a focus it did not give) or with one of this program's; true
// where that cannot be told (no X display).
[[nodiscard]] bool focusWithAnotherProgram();
// Moves the mouse pointer to a point of the screen.
void setCursorPos(const QPoint& screenPos);

}  // namespace vexa::toolkit
