// The region frame's picture without its window: corner marks, the frame lines, the size label with
// its close button and the magnifier, drawn over a transparent picture of the frame's own box
// (outside a drag, with the per-pixel alpha and the shape that make the handles catch the mouse
// and everything else pass it on) or over the frozen screen (during a drag).
// Thread-safety: user-interface thread only (text drawing needs the Qt application).
#pragma once

#include <QImage>
#include <QRegion>

#include <array>

#include "ui/region_drawing.h"

namespace vexa::ui::region {

// What the frame shows, in screen coordinates.
struct FrameView {
    QRect region;
    int thickness = 6;  // 6 while adjusting (dotted lines, label), 3 while recording (red, no label)
    QRect label;        // the label box with its close button; empty when none
    QRect magnifier;    // empty when none
    QPoint point;       // what the magnifier shows
};

// Where DrawFrame can change pixels: the 6-pixel band around the region, the label with its
// border, the magnifier.
[[nodiscard]] QRegion FrameDrawnArea(const FrameView& view);

// The four sides of that band without label or magnifier (top and bottom across the whole band,
// left and right between them; screen coordinates): while recording the frame is drawn as these
// four thin windows, so that nothing of it lies over the region's inside.
[[nodiscard]] std::array<QRect, 4> FrameBandSides(const QRect& region);

struct FrameArt {
    const RegionPainter* painter = nullptr;
    const QImage* close_button = nullptr;  // "selclose.png"; not drawn when missing
    const QImage* screen = nullptr;        // what the magnifier enlarges; none outside a drag
};

// Draws the frame into `image`, whose top-left pixel lies at `origin` of the screen, inside `clip`
// (image coordinates).
void DrawFrame(QImage& image, QPoint origin, const FrameView& view, const FrameArt& art, const QRect& clip);

struct LayerStyle {
    bool interactive = true;  // handles catch the mouse (not while recording)
    bool compositor = true;   // per-pixel alpha is shown; without it the shape alone cuts the window
};

struct FrameLayer {
    QImage picture;  // premultiplied ARGB of `box`
    QRegion shape;   // the pixels that show or catch the mouse, in picture coordinates
};

// The picture of the frame window outside a drag, covering `box` of the screen. Drawn pixels get
// alpha 255 (200 in the label), undrawn handle pixels alpha 1 so that they still catch the mouse
// (with no compositor they are drawn faintly instead, as they show anyway), all else alpha 0.
[[nodiscard]] FrameLayer ComposeFrameLayer(const FrameView& view, const QRect& box, const FrameArt& art,
                                           LayerStyle style);

}  // namespace vexa::ui::region
