#include "toolkit/image_string.h"

#include "toolkit/attributes.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

namespace vexa::toolkit {

namespace {

void applyKey(ImageSpec& spec, const std::string& key, const std::string& value) {
    if (key == "file" || key == "res") {
        spec.file = value;
    } else if (key == "source") {
        if (auto r = parseRect(value)) spec.source = r;
    } else if (key == "dest") {
        if (auto r = parseRect(value)) spec.dest = r;
    } else if (key == "corner") {
        if (auto m = parseMargins(value)) spec.corner = *m;
    } else if (key == "fade") {
        if (auto f = parseInt(value); f && *f >= 0 && *f <= 255) spec.fade = *f;
    } else if (key == "hole") {
        if (auto b = parseBool(value)) spec.hole = *b;
    } else if (key == "xtiled") {
        if (auto b = parseBool(value)) spec.xtiled = *b;
    } else if (key == "ytiled") {
        if (auto b = parseBool(value)) spec.ytiled = *b;
    }
}

void drawPart(QPainter& painter, const QImage& image, const QRect& to, const QRect& from, bool xtiled,
              bool ytiled) {
    if (to.isEmpty() || from.isEmpty()) return;
    if (!xtiled && !ytiled) {
        painter.drawImage(to, image, from);
        return;
    }
    const int stepX = xtiled ? from.width() : to.width();
    const int stepY = ytiled ? from.height() : to.height();
    painter.save();
    painter.setClipRect(to, Qt::IntersectClip);
    for (int y = to.top(); y <= to.bottom(); y += stepY) {
        for (int x = to.left(); x <= to.right(); x += stepX) {
            painter.drawImage(QRect(x, y, stepX, stepY), image, from);
        }
    }
    painter.restore();
}

}  // namespace

std::optional<ImageSpec> parseImageString(std::string_view text) {
    ImageSpec spec;
    if (text.find('=') == std::string_view::npos) {
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        spec.file = std::string(text);
    } else {
        for (const auto& [key, value] : parseAttributeList(text)) applyKey(spec, key, value);
    }
    if (spec.file.empty()) return std::nullopt;
    return spec;
}

void drawImage(QPainter& painter, const QImage& image, const ImageSpec& spec, const QRect& box,
               int extraFade) {
    QRect source = spec.source ? spec.source->intersected(image.rect()) : image.rect();
    QRect dest = spec.dest ? spec.dest->translated(box.topLeft()) : box;
    if (source.isEmpty() || dest.isEmpty()) return;
    const int fade = spec.fade * std::clamp(extraFade, 0, 255) / 255;
    if (fade == 0) return;
    const qreal oldOpacity = painter.opacity();
    painter.setOpacity(oldOpacity * fade / 255.0);

    const QMargins c = spec.corner;
    if (c.isNull()) {
        drawPart(painter, image, dest, source, spec.xtiled, spec.ytiled);
    } else {
        // Nine-slice: corners keep their size, edges stretch along one axis, the centre along both.
        const int xs[4] = {source.left(), source.left() + c.left(), source.right() + 1 - c.right(),
                           source.right() + 1};
        const int ys[4] = {source.top(), source.top() + c.top(), source.bottom() + 1 - c.bottom(),
                           source.bottom() + 1};
        const int xd[4] = {dest.left(), dest.left() + c.left(), dest.right() + 1 - c.right(),
                           dest.right() + 1};
        const int yd[4] = {dest.top(), dest.top() + c.top(), dest.bottom() + 1 - c.bottom(),
                           dest.bottom() + 1};
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 3; ++col) {
                if (spec.hole && row == 1 && col == 1) continue;
                const QRect from(QPoint(xs[col], ys[row]), QPoint(xs[col + 1] - 1, ys[row + 1] - 1));
                const QRect to(QPoint(xd[col], yd[row]), QPoint(xd[col + 1] - 1, yd[row + 1] - 1));
                const bool stretchedMiddle = row == 1 || col == 1;
                drawPart(painter, image, to, from, stretchedMiddle && spec.xtiled,
                         stretchedMiddle && spec.ytiled);
            }
        }
    }
    painter.setOpacity(oldOpacity);
}

}  // namespace vexa::toolkit
