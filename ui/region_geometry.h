// The geometry of region selection and of the region frame, without windows: normalising a region,
// the frame's hit-test map, where the size label and the magnifier go, how a drag moves or resizes
// the region, and which part of the selection overlay a change repaints.
//
// A region is a QRect built from its inclusive corners (QRect(QPoint(left, top), QPoint(right,
// bottom))), so that right() and bottom() are the last column and row that belong to it; the whole
// screen is QRect(QPoint(0, 0), QPoint(W - 1, H - 1)) and "nothing" is QRect(QPoint(0, 0),
// QPoint(-1, -1)). Boxes (labels, magnifiers, window areas) are ordinary QRects of a position and a
// size. Screen coordinates throughout. Thread-safety: pure functions.
#pragma once

#include <optional>

#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>

#include <functional>
#include <string>

#include "settings/settings_catalog.h"
#include "toolkit/window.h"

namespace vexa::ui::region {

inline constexpr int kMinSide = 100;                   // a frame's region is never narrower or lower
inline constexpr QSize kMagnifierSize{181, 213};       // box of the magnifier
inline constexpr int kZoom = 7;                        // one screen pixel becomes 7 x 7
inline constexpr int kZoomSource = 25;                 // screen pixels shown across
inline constexpr int kZoomArea = kZoom * kZoomSource;  // 175
inline constexpr int kMagnifierInset = 3;              // the zoomed picture starts at (3, 3)
inline constexpr int kMagnifierTextTop = 178;          // the text strip below the picture
inline constexpr int kLabelPadding = 12;               // label box = text + 12 each way
inline constexpr int kCloseButtonSpace = 26;           // the frame's label widens for its close button
inline constexpr int kCloseButtonSize = 20;
inline constexpr int kBand = 3;  // the frame's handles reach 3 pixels each way

// Callback codes of the selection overlay.
enum SelectionCode : int { kCandidateChanged = 0, kChosen = 1, kCancelled = 2 };
// Callback codes of the region frame.
enum FrameCode : int { kRegionChanged = 0, kDragBegins = 1, kDragEnded = 2 };

// How both windows report to their owner: (code, full screen, region with inclusive corners).
using RegionCallback = std::function<void(int code, bool full_screen, const settings::Rect& region)>;

[[nodiscard]] QRect FromRect(const settings::Rect& rect);
[[nodiscard]] settings::Rect ToRect(const QRect& region);
[[nodiscard]] QRect WholeScreen(QSize screen);
[[nodiscard]] QRect NoRegion();
[[nodiscard]] bool IsFullScreen(const QRect& region, QSize screen);
// What a press and release of the selection choose: the candidate, or the whole screen when it
// found no window (on Wayland, or when the X server could not say), never an empty rectangle that
// the region frame would turn into a corner of the screen.
[[nodiscard]] QRect ChosenRegion(const QRect& candidate, QSize screen);

// "%d × %d  [%d, %d, %d, %d]": width, height, left, top, right + 1, bottom + 1.
[[nodiscard]] std::string SizeLabelText(const QRect& region);
// "x = %d     y = %d".
[[nodiscard]] std::string MagnifierText(QPoint point);

// Whether a click on a window selects it: an X11 feature (on Wayland the selection is dragged).
[[nodiscard]] bool WindowsClickable();
// The region button's tooltip in region mode, naming what the selection offers here.
[[nodiscard]] const char* SelectRegionTip();

// --- the selection overlay ---

// The point clamped to 0..W and 0..H (both ends included).
[[nodiscard]] QPoint ClampToScreen(QPoint point, QSize screen);

// The one-pixel step of an arrow key (Qt::Key_Left/Right/Up/Down); none for other keys.
[[nodiscard]] std::optional<QPoint> ArrowKeyStep(int key);
// The region between two points, corners included.
[[nodiscard]] QRect SpannedRegion(QPoint a, QPoint b);
// A window's rectangle (right and bottom exclusive) as the region it offers: clipped to the screen,
// with right and bottom on its last pixel, none of them below 0.
[[nodiscard]] QRect WindowRegion(const QRect& window_box, QSize screen);
// The magnifier 20 pixels right of and below the point, flipped left of or above it where it would
// leave the screen.
[[nodiscard]] QRect OverlayMagnifierBox(QPoint point, QSize screen);
// The size label of a selection: above it, or inside its top when there is no room above; from 4
// pixels right of its left edge, or ending 4 pixels left of it when it would leave the screen.
[[nodiscard]] QRect OverlayLabelBox(const QRect& selection, QSize text, QSize screen);

// What the overlay shows besides the dimmed picture.
struct OverlayView {
    QRect selection;  // a region; empty when nothing is selected
    QRect label;      // box; empty when none
    QRect magnifier;  // box
    QPoint point;     // shown by the magnifier
    bool operator==(const OverlayView&) const = default;
};
// The pixels that can differ between two views (each drawn part grown by 2): the magnifiers when
// they moved, and for a changed selection both labels and only what tells the two selections apart
// (the pixels inside one but not the other, and both borders).
[[nodiscard]] QRegion OverlayChangedArea(const OverlayView& before, const OverlayView& after);

// --- the region frame ---

// The region moved inside the screen (keeping its size where it fits) and made at least 100 x 100.
[[nodiscard]] QRect NormalizeRegion(QRect region, QSize screen);
// The frame's handle under a point: corners (8 x 8 at the corners of the region grown by 3), sides
// (from 40 pixels after a corner to 40 before the next), Client elsewhere (inside the region shrunk
// by 3, outside the region grown by 3, and the rest of the 6-pixel band).
[[nodiscard]] toolkit::HitTest FrameHitTest(const QRect& region, QPoint point);
// Whether a hit-test code is one of the eight resize handles.
[[nodiscard]] bool IsResizeHandle(toolkit::HitTest code);
// The frame's size label with its close button (text size + 12, widened by 26): above the region,
// else inside its top-left corner, else left of, below or right of it; empty when none fits.
[[nodiscard]] QRect FrameLabelBox(const QRect& region, QSize text, QSize screen);
// The close button inside a frame label box.
[[nodiscard]] QRect CloseButtonBox(const QRect& label);

struct MagnifierRequest {
    QRect region;  // the region being dragged
    QPoint point;  // the dragged point
    QRect label;   // the label box, empty when there is none
    QSize screen;
    int thickness = 6;
};
// Where the frame's magnifier goes during a drag: the nearest of the outside candidates (right,
// left, below, above the region, each moved off the label), else inside the region with a 6-pixel
// margin (thickness 6 only); empty when there is no place.
[[nodiscard]] QRect FrameMagnifierBox(const MagnifierRequest& request);

// The region after a drag of `kind` (Client or Caption move it, edges and corners resize it) by
// `delta` from `start`, kept on the screen and at least 100 x 100.
[[nodiscard]] QRect DragRegion(toolkit::HitTest kind, const QRect& start, QPoint delta, QSize screen);
// The point the magnifier shows during such a drag: the moved corner, the moved edge at the
// mouse's height or width, or the top-left corner for a move.
[[nodiscard]] QPoint DraggedPoint(toolkit::HitTest kind, const QRect& region, QPoint mouse);

// The frame window's area outside a drag: 3 pixels left of and above the region to 4 right of and
// below it, united with the label and magnifier boxes (1 larger on the left and top, 2 on the right
// and bottom).
[[nodiscard]] QRect FrameWindowBox(const QRect& region, const QRect& label, const QRect& magnifier);

}  // namespace vexa::ui::region
