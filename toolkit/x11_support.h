// The few X11 calls Qt does not offer: per-window WM_CLASS and the compositing-manager test.
// They do nothing (or report false) on other platforms, e.g. the offscreen one.
// Thread-safety: user-interface thread only.
#pragma once

#include <string>

namespace vexa::toolkit::x11 {

void setWindowClass(unsigned long window, const std::string& className);
[[nodiscard]] bool hasCompositor();
// Asks the window manager to add or remove an EWMH state ("_NET_WM_STATE_ABOVE") of a mapped
// window; false when there is no X display.
bool setNetWmState(unsigned long window, const char* state, bool on);
// The WM_CLASS class part of `window` as the X server holds it (tests use it).
[[nodiscard]] std::string windowClass(unsigned long window);

}  // namespace vexa::toolkit::x11

namespace vexa::toolkit::x11 {

// Gives `window` an empty input shape (every click goes to what lies below) or its default one
// back (the bounding shape); false when there is no X display or no XFixes.
bool setInputTransparent(unsigned long window, bool transparent);

}  // namespace vexa::toolkit::x11
