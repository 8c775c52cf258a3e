#include "ui/sel_rgn_canvas.h"

#include <cstring>
#include <utility>

namespace vexa::ui {

using region::OverlayView;

SelectionCanvas::SelectionCanvas(QImage snapshot)
    : snapshot_(std::move(snapshot)),
      dimmed_(region::Dim(snapshot_)),
      back_(snapshot_.size(), QImage::Format_RGB32) {}

OverlayView SelectionCanvas::ViewFor(const QRect& selection, QPoint point) const {
    OverlayView view;
    view.point = point;
    view.magnifier = region::OverlayMagnifierBox(point, ScreenSize());
    if (selection.isEmpty()) return view;
    view.selection = selection;
    view.label =
        region::OverlayLabelBox(selection, painter_.TextSize(region::SizeLabelText(selection)), ScreenSize());
    return view;
}

QRegion SelectionCanvas::Show(const OverlayView& view) {
    QRegion changed = composed_ ? region::OverlayChangedArea(view_, view) : QRegion(back_.rect());
    changed &= back_.rect();
    view_ = view;
    composed_ = true;
    if (changed.isEmpty()) return changed;
    for (const QRect& area : changed) ComposeBackground(area);
    // Drawn once for all the areas: outside them it draws again what is there already.
    DrawParts(changed.boundingRect());
    return changed;
}

// The dimmed picture, and the undimmed one inside the selection.
void SelectionCanvas::ComposeBackground(const QRect& area) {
    constexpr size_t kPixel = sizeof(QRgb);
    const size_t offset = static_cast<size_t>(area.left()) * kPixel;
    const size_t bytes = static_cast<size_t>(area.width()) * kPixel;
    const QRect bright = view_.selection & area;
    // Columns of the area, relative to its left edge, that show the undimmed picture.
    const size_t lit_from = bright.isEmpty() ? 0 : static_cast<size_t>(bright.left() - area.left()) * kPixel;
    const size_t lit_to =
        bright.isEmpty() ? 0 : static_cast<size_t>(bright.right() + 1 - area.left()) * kPixel;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        uchar* out = back_.scanLine(y) + offset;
        const uchar* dim = dimmed_.constScanLine(y) + offset;
        if (y < bright.top() || y > bright.bottom()) {
            std::memcpy(out, dim, bytes);
            continue;
        }
        const uchar* lit = snapshot_.constScanLine(y) + offset;
        std::memcpy(out, dim, lit_from);
        std::memcpy(out + lit_from, lit + lit_from, lit_to - lit_from);
        std::memcpy(out + lit_to, dim + lit_to, bytes - lit_to);
    }
}

// The selection's border, its label and the magnifier.
void SelectionCanvas::DrawParts(const QRect& area) {
    if (!view_.selection.isEmpty()) {
        painter_.Border3(back_, view_.selection, area);
        painter_.Label(back_, view_.label, region::SizeLabelText(view_.selection), area);
    }
    painter_.Magnifier(back_, view_.magnifier, snapshot_, view_.point, area);
}

}  // namespace vexa::ui
