// SelectionCanvas: the picture of the selection overlay without its window. It keeps the frozen
// screen picture, its dimmed copy and a back buffer of screen size, and composes into the back
// buffer only the pixels a change of view can touch: the dimmed picture, the undimmed one inside
// the selection, the selection's 3-pixel dotted border, the size label and the magnifier.
// Ownership: owned by CSelRgnWnd (or a benchmark). Thread-safety: user-interface thread only.
#pragma once

#include <QImage>
#include <QRegion>

#include "ui/region_drawing.h"
#include "ui/region_geometry.h"

namespace vexa::ui {

class SelectionCanvas {
  public:
    // `snapshot` is the screen as it was when the selection began (RGB32).
    explicit SelectionCanvas(QImage snapshot);

    [[nodiscard]] QSize ScreenSize() const { return snapshot_.size(); }
    // The view for a selection (a region, empty for none) with the magnifier at `point`.
    [[nodiscard]] region::OverlayView ViewFor(const QRect& selection, QPoint point) const;
    // Composes `view`; returns the area of the back buffer that changed (everything the first time).
    QRegion Show(const region::OverlayView& view);

    [[nodiscard]] const QImage& Picture() const { return back_; }
    [[nodiscard]] const QImage& Snapshot() const { return snapshot_; }
    [[nodiscard]] const region::OverlayView& View() const { return view_; }

  private:
    void ComposeBackground(const QRect& area);
    void DrawParts(const QRect& area);

    region::RegionPainter painter_;
    QImage snapshot_;
    QImage dimmed_;
    QImage back_;
    region::OverlayView view_;
    bool composed_ = false;
};

}  // namespace vexa::ui
