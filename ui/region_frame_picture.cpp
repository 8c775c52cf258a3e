#include "ui/region_frame_picture.h"

#include <QPainter>

#include <vector>

#include "toolkit/image_string.h"
#include "ui/region_geometry.h"

namespace vexa::ui::region {
namespace {

constexpr int kMarkOffset = 8;  // corner marks start this far from the corner of the band
constexpr int kMarkLength = 32;
constexpr int kCloseSpace = 24;  // the label's text leaves this much room on its right
constexpr QRgb kFaintHandle = 0xFF404040;
constexpr QRgb kInvisibleHandle = 0x01000000;  // alpha 1: unseen, but the window takes the click
constexpr int kLabelAlpha = 200;

// The band the frame draws in: the region grown by 3 (right and bottom as the window system's
// exclusive edges, so the last column is right + 2).
QRect Outer(const QRect& region) {
    return region.adjusted(-kBand, -kBand, kBand - 1, kBand - 1);
}

QRect Inner(const QRect& region) {
    return region.adjusted(kBand, kBand, -kBand - 1, -kBand - 1);
}

QRgb Premultiplied(QRgb c, int alpha) {
    return qRgba(qRed(c) * alpha / 255, qGreen(c) * alpha / 255, qBlue(c) * alpha / 255, alpha);
}

void DrawCornerMarks(QImage& image, const QRect& outer, int t, const RegionPainter& painter,
                     const QRect& clip) {
    const int x0 = outer.left();
    const int y0 = outer.top();
    const int x1 = outer.right() + 1;
    const int y1 = outer.bottom() + 1;
    const int near = kMarkOffset;
    const int far = kMarkOffset + kMarkLength;
    const QRect bars[] = {
        {x0 + near, y0, kMarkLength, t},     {x1 - far, y0, kMarkLength, t},      // top side
        {x0 + near, y1 - t, kMarkLength, t}, {x1 - far, y1 - t, kMarkLength, t},  // bottom side
        {x0, y0 + near, t, kMarkLength},     {x0, y1 - far, t, kMarkLength},      // left side
        {x1 - t, y0 + near, t, kMarkLength}, {x1 - t, y1 - far, t, kMarkLength},  // right side
    };
    for (const QRect& bar : bars) painter.Fill(image, bar, kDarkGrey, clip);
}

// The pixels of `image` inside `area` with any alpha, as a region.
QRegion Covered(const QImage& image, const QRect& area) {
    std::vector<QRect> runs;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = area.left();
        while (x <= area.right()) {
            while (x <= area.right() && qAlpha(row[x]) == 0) ++x;
            const int start = x;
            while (x <= area.right() && qAlpha(row[x]) != 0) ++x;
            if (x > start) runs.emplace_back(start, y, x - start, 1);
        }
    }
    QRegion region;
    if (!runs.empty()) region.setRects(runs.data(), static_cast<int>(runs.size()));
    return region;
}

}  // namespace

QRegion FrameDrawnArea(const FrameView& view) {
    QRegion area = QRegion(Outer(view.region)) - QRegion(Inner(view.region));
    if (!view.label.isEmpty()) area += view.label.adjusted(-1, -1, 1, 1);
    if (!view.magnifier.isEmpty()) area += view.magnifier.adjusted(-1, -1, 1, 1);
    return area;
}

std::array<QRect, 4> FrameBandSides(const QRect& region) {
    const QRect outer = Outer(region);
    const QRect inner = Inner(region);
    return {QRect(QPoint(outer.left(), outer.top()), QPoint(outer.right(), inner.top() - 1)),
            QRect(QPoint(outer.left(), inner.bottom() + 1), QPoint(outer.right(), outer.bottom())),
            QRect(QPoint(outer.left(), inner.top()), QPoint(inner.left() - 1, inner.bottom())),
            QRect(QPoint(inner.right() + 1, inner.top()), QPoint(outer.right(), inner.bottom()))};
}

void DrawFrame(QImage& image, QPoint origin, const FrameView& view, const FrameArt& art, const QRect& clip) {
    const RegionPainter& painter = *art.painter;
    const QRect region = view.region.translated(-origin);
    const bool adjusting = view.thickness >= 6;
    DrawCornerMarks(image, Outer(region), view.thickness, painter, clip);
    const Pen pen = adjusting ? Pen::kDotted : Pen::kDashedRed;
    painter.Outline(image, region.adjusted(-1, -1, 1, 1), pen, clip);
    if (adjusting) painter.Outline(image, region, pen, clip);
    if (adjusting && !view.label.isEmpty()) {
        const QRect label = view.label.translated(-origin);
        painter.Fill(image, label, kDarkGrey, clip);
        painter.Text(image, label.adjusted(0, 0, -kCloseSpace, 0), SizeLabelText(view.region), clip);
        painter.Border3(image, label, clip);
        if (art.close_button) {
            QPainter p(&image);
            p.setClipRect(clip);
            toolkit::ImageSpec spec;
            spec.file = "selclose.png";
            toolkit::drawImage(p, *art.close_button, spec, CloseButtonBox(label));
        }
    }
    if (!view.magnifier.isEmpty() && art.screen)
        painter.Magnifier(image, view.magnifier.translated(-origin), *art.screen, view.point, clip);
}

FrameLayer ComposeFrameLayer(const FrameView& view, const QRect& box, const FrameArt& art, LayerStyle style) {
    FrameLayer layer;
    layer.picture = QImage(box.size(), QImage::Format_ARGB32_Premultiplied);
    layer.picture.fill(0);
    DrawFrame(layer.picture, box.topLeft(), view, art, layer.picture.rect());
    const QRect label = view.label.translated(-box.topLeft());
    const QRegion area = FrameDrawnArea(view).translated(-box.topLeft()) & layer.picture.rect();
    for (const QRect& part : area) {
        for (int y = part.top(); y <= part.bottom(); ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(layer.picture.scanLine(y));
            for (int x = part.left(); x <= part.right(); ++x) {
                if ((row[x] & 0x00FFFFFFu) != 0) {
                    if (style.compositor && label.contains(x, y)) row[x] = Premultiplied(row[x], kLabelAlpha);
                } else if (style.interactive &&
                           IsResizeHandle(FrameHitTest(view.region, QPoint(x, y) + box.topLeft()))) {
                    row[x] = style.compositor ? kInvisibleHandle : kFaintHandle;
                } else {
                    row[x] = 0;
                }
            }
        }
    }
    for (const QRect& part : area) layer.shape += Covered(layer.picture, part);
    return layer;
}

}  // namespace vexa::ui::region
