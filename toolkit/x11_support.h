// The few X11 calls Qt does not offer: per-window WM_CLASS and the compositing manager (whether one
// runs, and word when one starts or stops). They do nothing (or report false) on other platforms,
// e.g. the offscreen one.
// Ownership: the compositor watch is one per process, made on first use and kept for its life.
// Thread-safety: user-interface thread only.
#pragma once

#include <QRegion>

#include <functional>
#include <string>
#include <vector>

namespace vexa::toolkit::x11 {

void setWindowClass(unsigned long window, const std::string& className);
// Whether a compositing manager runs: the selection _NET_WM_CM_S<screen> has an owner. Asked of
// the X server once, then kept up to date by XFixes selection-owner events on the application's
// own connection (so it follows a compositor that starts or stops while the program runs).
[[nodiscard]] bool hasCompositor();
// Calls `changed` (with the new answer of hasCompositor()) from the event loop each time a
// compositing manager starts or stops; returns an id for removeCompositorListener (0 without an
// X display: nothing will ever change).
[[nodiscard]] int addCompositorListener(std::function<void(bool)> changed);
void removeCompositorListener(int id);
// Asks the window manager to add or remove an EWMH state ("_NET_WM_STATE_ABOVE") of a mapped
// window; false when there is no X display.
bool setNetWmState(unsigned long window, const char* state, bool on);
// Sets (or replaces) a UTF8_STRING property of `window`; nothing without an X display.
void setTextProperty(unsigned long window, const char* property, const std::string& value);
// The WM_CLASS class part of `window` as the X server holds it (tests use it).
[[nodiscard]] std::string windowClass(unsigned long window);
// Whether `window` is override-redirect: no window manager places, moves or focuses it (tests use it).
[[nodiscard]] bool overrideRedirect(unsigned long window);

// Keeps `window` (an override-redirect window of this program that stays on top) above every
// managed top-level window in the X server's own stacking order while it is mapped (keep), or
// stops (!keep). The X server hands a click to the window on top of its own order; a window
// manager raises the window it focuses there, above override-redirect windows too. On an X11
// desktop that only hides them for a moment; under XWayland the compositor keeps drawing them on
// top while the X server gives their clicks to the window below (a floating bar that takes no
// click and cannot be dragged). Watches the root window's children on the application's
// connection and raises the kept windows again (their order among themselves unchanged) when a
// managed window came over one of them. Nothing without an X display.
void keepAboveManaged(unsigned long window, bool keep);

// One top-level window in the X server's stacking order (bottom first).
struct StackedWindow {
    unsigned long id = 0;
    bool viewable = false;
    bool overrideRedirect = false;
};
// The kept windows to raise, bottom first (their order among themselves kept), when a viewable
// managed window lies above a viewable kept one; empty when they all lie above every one.
[[nodiscard]] std::vector<unsigned long> windowsToRaise(const std::vector<StackedWindow>& stack,
                                                        const std::vector<unsigned long>& kept);

}  // namespace vexa::toolkit::x11

namespace vexa::toolkit::x11 {

// Gives `window` an empty input shape (every click goes to what lies below) or its default one
// back (the bounding shape); false when there is no X display or no XFixes.
bool setInputTransparent(unsigned long window, bool transparent);
// Gives `window` the input shape `region` (only there the mouse reaches it), or its default one
// back for nullptr; false when there is no X display or no XFixes.
bool setInputRegion(unsigned long window, const QRegion* region);

// Who holds the keyboard focus of the display now: no window (None or PointerRoot, as a window
// manager leaves it when it takes the focus back), a top-level window of this program, or a window
// of another program; kUnknown without an X display.
enum class FocusHolder { kUnknown, kNoWindow, kThisProgram, kOtherProgram };
[[nodiscard]] FocusHolder focusHolder();

}  // namespace vexa::toolkit::x11
