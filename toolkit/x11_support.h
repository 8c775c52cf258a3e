// The few X11 calls Qt does not offer: per-window WM_CLASS and the compositing-manager test.
// They do nothing (or report false) on other platforms, e.g. the offscreen one.
// Thread-safety: user-interface thread only.
#pragma once

#include <string>

namespace vexa::toolkit::x11 {

void setWindowClass(unsigned long window, const std::string& className);
[[nodiscard]] bool hasCompositor();
// The WM_CLASS class part of `window` as the X server holds it (tests use it).
[[nodiscard]] std::string windowClass(unsigned long window);

}  // namespace vexa::toolkit::x11
