// The rules of the camera overlay window that need no window: where it first appears, how it is
// clipped at the screen's left and top edge, where its five round buttons sit, its shape and rim,
// which part of it moves or sizes it, how a drag changes it, and what it says while it has no
// picture.
//
// Screen rectangles are settings::Rect (right and bottom exclusive, as the position value stores them).
// Window coordinates start at the visible window's top-left corner; the full rectangle starts at
// minus the off-screen offsets there when the window reaches beyond the screen's left or top edge.
// Pure functions and values; thread-compatible.
#pragma once

#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "settings/settings_catalog.h"
#include "toolkit/window.h"

namespace vexa::ui {

inline constexpr int kCameraButtonSize = 24;
inline constexpr int kCameraButtonSlots = 5;
inline constexpr int kCameraMinSide = 150;          // no drag makes the window narrower or lower
inline constexpr int kCameraRimWidth = 4;           // the outer ring that sizes the window
inline constexpr int kCameraMaxStoredSide = 16384;  // a stored rectangle beyond this is not a window

enum class CameraButton : int { kNone = -1, kClose = 0, kStyle = 1, kMirror = 2, kSettings = 3, kFormat = 4 };

// The button of each layout slot. The camera panel's window has no style button: its mirror,
// settings and format buttons take slots 1 to 3 and the last slot holds none.
using CameraButtonSlots = std::array<CameraButton, kCameraButtonSlots>;
[[nodiscard]] CameraButtonSlots CameraButtonsBySlot(bool has_style_button);

[[nodiscard]] constexpr int64_t Width(const settings::Rect& r) {
    return int64_t{r.right} - r.left;
}
[[nodiscard]] constexpr int64_t Height(const settings::Rect& r) {
    return int64_t{r.bottom} - r.top;
}

// The default place: a square a third of the screen, at the right edge, centred vertically.
[[nodiscard]] settings::Rect DefaultCameraRect(QSize screen);
// The camera mode's preview where no place is stored: a square a third of the work area's smaller
// side beside the main window, inside the work area and never over the main window's controls: to
// its right, else its left, else below, else above (centred on the main window along that side),
// made smaller down to kCameraMinSide where the room beside is narrower. Where no side has room
// for that, the default square of the work area.
[[nodiscard]] settings::Rect PreviewFirstRect(const QRect& main_window, const QRect& work_area);
// The stored rectangle (made a square of its smaller side at the same corner for the circular
// style) when it is at least 20 pixels each way, not absurdly large and meets the screen; else the
// default square.
[[nodiscard]] settings::Rect InitialCameraRect(const std::optional<settings::Rect>& stored, bool circular,
                                               QSize screen);
// The largest square centred in the rectangle.
[[nodiscard]] settings::Rect CentredSquare(const settings::Rect& rect);

// The full rectangle clipped at the screen's left and top edge, and how far it reached beyond them.
struct ClippedCameraRect {
    settings::Rect visible;
    QPoint offset;  // both ≥ 0
};
[[nodiscard]] ClippedCameraRect ClipAtScreenOrigin(const settings::Rect& full);

// The button rectangles of the five slots for the full rectangle in window coordinates: a column
// at the right edge for the rectangle style, a clockwise arc from the top for the circular style.
[[nodiscard]] std::array<QRect, kCameraButtonSlots> LayoutCameraButtons(const QRect& full, bool circular);

// The window's shape in window coordinates: the ellipse or rectangle of the full rectangle cut to
// the visible part, its 4-pixel rim, and the round regions of the slots that hold a button.
struct CameraShape {
    QRect full;
    bool circular = false;
    QRegion window;
    QRegion rim;
    std::array<QRect, kCameraButtonSlots> buttons{};
    std::array<QRegion, kCameraButtonSlots> button_regions{};
};
[[nodiscard]] CameraShape BuildCameraShape(const settings::Rect& full, bool circular);

// What a point of the window does: a button slot (client area), a side or corner that sizes the
// window, or client area that moves it.
struct CameraHit {
    toolkit::HitTest code = toolkit::HitTest::Client;
    int slot = -1;  // the button slot under the point, -1 for none
};
[[nodiscard]] CameraHit HitTestCamera(const CameraShape& shape, QPoint point);

// The rectangle after the mouse moved from `start` to `now` (screen points) during a drag that
// began on `code` with the window at `start_rect`. Client area moves the window; a side or corner
// sizes it, never below 150 pixels; the circular style stays a square with the same centre.
[[nodiscard]] settings::Rect DragCameraRect(toolkit::HitTest code, bool circular,
                                            const settings::Rect& start_rect, QPoint start, QPoint now);

// The text shown instead of a picture: while opening, a busy camera, another failure; empty once
// the camera is open.
[[nodiscard]] std::string CameraStatusText(bool open_finished, uint32_t open_result);

}  // namespace vexa::ui
