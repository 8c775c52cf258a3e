#include "ui/region_geometry.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/screen/screen_backend.h"

namespace vexa::ui::region {
namespace {

using toolkit::HitTest;

constexpr int kMagW = kMagnifierSize.width();
constexpr int kMagH = kMagnifierSize.height();
constexpr int kMagnifierGap = 20;    // between the point and the magnifier
constexpr int kFrameGap = 6;         // between the frame and what is placed beside it
constexpr int kCornerSquare = 8;     // corner handles
constexpr int kSideZoneStart = 40;   // side handles begin this far from a corner
constexpr int kSideStripWide = 8;    // left and right handles are tested this wide
constexpr int kLabelMargin = 8;      // the label inside the region sits this far in
constexpr int kOverlayLabelGap = 4;  // the overlay's label keeps this far from the selection

// Exclusive right and bottom of a box.
int End(const QRect& box) {
    return box.x() + box.width();
}
int Bottom(const QRect& box) {
    return box.y() + box.height();
}

// A box [left, right) x [top, bottom), the window system's rectangle.
QRect Box(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

bool PointIn(const QRect& box, QPoint p) {
    return p.x() >= box.x() && p.x() < End(box) && p.y() >= box.y() && p.y() < Bottom(box);
}

int64_t Square(int64_t v) {
    return v * v;
}

// The smallest squared distance from the point to a corner of the box.
int64_t NearestCornerDistance(const QRect& box, QPoint p) {
    int64_t best = INT64_MAX;
    for (int x : {box.x(), End(box)}) {
        for (int y : {box.y(), Bottom(box)}) best = std::min(best, Square(x - p.x()) + Square(y - p.y()));
    }
    return best;
}

// Top of a box of `height` starting at `start` (not above 0), moved up to end at `limit`.
int StartWithin(int start, int height, int limit) {
    start = std::max(start, 0);
    return start + height > limit ? limit - height : start;
}

// Sideways beside the label: right of it when that fits and x is no nearer the label's left edge
// than its right edge, else left of it when that fits; nothing when neither fits.
std::optional<int> BesideLabel(const QRect& label, int x, int screen_width) {
    const int right_of = End(label) + kFrameGap;
    if (right_of + kMagW <= screen_width && std::abs(x - label.x()) >= std::abs(x - End(label)))
        return right_of;
    const int left_of = label.x() - kFrameGap - kMagW;
    if (left_of >= 0) return left_of;
    return std::nullopt;
}

enum class Side { kRight, kLeft, kBelow, kAbove };

// Moves an outside candidate off the label.
QRect AvoidLabel(QRect box, Side side, const QRect& label, int x, QSize screen) {
    if (label.isEmpty() || !box.intersects(label)) return box;
    switch (side) {
        case Side::kRight:
        case Side::kLeft:
            if (Bottom(label) + kFrameGap + kMagH <= screen.height())
                box.moveTop(Bottom(label) + kFrameGap);
            else
                box.moveTop(label.y() - kFrameGap - kMagH);
            return box;
        case Side::kBelow:
            if (Bottom(label) + kFrameGap + kMagH <= screen.height()) {
                box.moveTop(Bottom(label) + kFrameGap);
                return box;
            }
            break;
        case Side::kAbove:
            if (label.y() - kFrameGap - kMagH >= 0) {
                box.moveTop(label.y() - kFrameGap - kMagH);
                return box;
            }
            break;
    }
    // No room below or above the label: keep the height and go beside it.
    if (const std::optional<int> left = BesideLabel(label, x, screen.width())) box.moveLeft(*left);
    return box;
}

// The outside candidates in the order right, left, below, above (absent ones empty).
std::array<QRect, 4> OutsideCandidates(const MagnifierRequest& r) {
    const QRect& g = r.region;
    const int x = r.point.x();
    const int y = r.point.y();
    const int w = r.screen.width();
    const int h = r.screen.height();
    std::array<QRect, 4> out{};
    const int beside_top = StartWithin(y, kMagH, h);
    if (x + kMagnifierGap - g.right() >= kFrameGap && x + kMagnifierGap + kMagW <= w)
        out[0] = QRect(x + kMagnifierGap, beside_top, kMagW, kMagH);
    else if (g.right() + kMagnifierGap + kMagW <= w)
        out[0] = QRect(g.right() + kMagnifierGap, beside_top, kMagW, kMagH);
    if (x - kMagnifierGap - kMagW >= 0 && g.left() - (x - kMagnifierGap) >= kFrameGap)
        out[1] = QRect(x - kMagnifierGap - kMagW, beside_top, kMagW, kMagH);
    else if (g.left() - kMagnifierGap - kMagW >= 0)
        out[1] = QRect(g.left() - kMagnifierGap - kMagW, beside_top, kMagW, kMagH);
    const int across_left = StartWithin(x, kMagW, w);
    if (y + kMagnifierGap - g.bottom() >= kFrameGap && y + kMagnifierGap + kMagH <= h)
        out[2] = QRect(across_left, y + kMagnifierGap, kMagW, kMagH);
    else if (g.bottom() + kMagnifierGap + kMagH <= h)
        out[2] = QRect(across_left, g.bottom() + kMagnifierGap, kMagW, kMagH);
    if (y - kMagnifierGap - kMagH >= 0 && g.top() - (y - kMagnifierGap) >= kFrameGap)
        out[3] = QRect(across_left, y - kMagnifierGap - kMagH, kMagW, kMagH);
    else if (g.top() - kMagnifierGap - kMagH >= 0)
        out[3] = QRect(across_left, g.top() - kMagnifierGap - kMagH, kMagW, kMagH);
    constexpr std::array<Side, 4> sides = {Side::kRight, Side::kLeft, Side::kBelow, Side::kAbove};
    for (size_t i = 0; i < out.size(); ++i) {
        if (!out[i].isEmpty()) out[i] = AvoidLabel(out[i], sides[i], r.label, x, r.screen);
    }
    return out;
}

// Inside the region, 6 pixels from its edges: beside the point, then off the label (below it,
// above it, or beside it, whichever stays inside).
QRect InsideMagnifier(const MagnifierRequest& r) {
    const QRect inner = r.region.adjusted(kFrameGap, kFrameGap, -kFrameGap, -kFrameGap);
    const int x = r.point.x();
    const int y = r.point.y();
    const int right_of = x + kMagnifierGap;
    const int below = y + kMagnifierGap;
    const int left = right_of >= inner.left() && right_of + kMagW - 1 <= inner.right()
                         ? right_of
                         : x - kMagnifierGap - kMagW;
    const int top =
        below >= inner.top() && below + kMagH - 1 <= inner.bottom() ? below : y - kMagnifierGap - kMagH;
    QRect box(left, top, kMagW, kMagH);
    if (!r.label.isEmpty() && box.intersects(r.label)) {
        const QRect moves[] = {AvoidLabel(box, Side::kBelow, r.label, x, r.screen),
                               AvoidLabel(box, Side::kAbove, r.label, x, r.screen)};
        for (const QRect& moved : moves) {
            if (inner.contains(moved) && !moved.intersects(r.label)) {
                box = moved;
                break;
            }
        }
    }
    return inner.contains(box) ? box : QRect();
}

}  // namespace

QRect FromRect(const settings::Rect& rect) {
    return QRect(QPoint(rect.left, rect.top), QPoint(rect.right, rect.bottom));
}

settings::Rect ToRect(const QRect& region) {
    return settings::Rect{region.left(), region.top(), region.right(), region.bottom()};
}

QRect WholeScreen(QSize screen) {
    return QRect(QPoint(0, 0), QPoint(screen.width() - 1, screen.height() - 1));
}

QRect NoRegion() {
    return QRect(QPoint(0, 0), QPoint(-1, -1));
}

QRect ChosenRegion(const QRect& candidate, QSize screen) {
    return candidate.isValid() ? candidate : WholeScreen(screen);
}

bool IsFullScreen(const QRect& region, QSize screen) {
    return region.width() == screen.width() && region.height() == screen.height();
}

std::string SizeLabelText(const QRect& region) {
    char text[96];
    std::snprintf(text, sizeof text, "%d \u00d7 %d  [%d, %d, %d, %d]", region.width(), region.height(),
                  region.left(), region.top(), region.right() + 1, region.bottom() + 1);
    return text;
}

std::string MagnifierText(QPoint point) {
    char text[48];
    std::snprintf(text, sizeof text, "x = %d     y = %d", point.x(), point.y());
    return text;
}

bool WindowsClickable() {
    return !platform::IsWaylandSession();
}

const char* SelectRegionTip() {
    return WindowsClickable() ? "点击选择需要录制的屏幕区域"
                              : "拖动鼠标选择需要录制的屏幕区域（点击窗口选取仅在 X11 桌面上可用）";
}

QPoint ClampToScreen(QPoint point, QSize screen) {
    return QPoint(std::clamp(point.x(), 0, screen.width()), std::clamp(point.y(), 0, screen.height()));
}

std::optional<QPoint> ArrowKeyStep(int key) {
    switch (key) {
        case Qt::Key_Left:
            return QPoint(-1, 0);
        case Qt::Key_Right:
            return QPoint(1, 0);
        case Qt::Key_Up:
            return QPoint(0, -1);
        case Qt::Key_Down:
            return QPoint(0, 1);
        default:
            return std::nullopt;
    }
}

QRect SpannedRegion(QPoint a, QPoint b) {
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

QRect WindowRegion(const QRect& window_box, QSize screen) {
    const int left = std::max(window_box.x(), 0);
    const int top = std::max(window_box.y(), 0);
    const int right = std::max(std::min(End(window_box), screen.width()) - 1, 0);
    const int bottom = std::max(std::min(Bottom(window_box), screen.height()) - 1, 0);
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QRect OverlayMagnifierBox(QPoint point, QSize screen) {
    int left = point.x() + kMagnifierGap;
    if (left + kMagW > screen.width()) left = point.x() - kMagnifierGap - kMagW;
    int top = point.y() + kMagnifierGap;
    if (top + kMagH > screen.height()) top = point.y() - kMagnifierGap - kMagH;
    return QRect(left, top, kMagW, kMagH);
}

QRect OverlayLabelBox(const QRect& selection, QSize text, QSize screen) {
    const int width = text.width() + kLabelPadding;
    const int height = text.height() + kLabelPadding;
    const int top = selection.top() < text.height() + 16 ? selection.top() + kOverlayLabelGap
                                                         : selection.top() - kOverlayLabelGap - height;
    int left = selection.left() + kOverlayLabelGap;
    if (left + width > screen.width()) left = selection.left() - kOverlayLabelGap - width;
    return QRect(left, top, width, height);
}

QRegion OverlayChangedArea(const OverlayView& before, const OverlayView& after) {
    constexpr int kGrow = 2;
    auto grown = [](const QRect& box) {
        return box.isEmpty() ? QRect() : box.adjusted(-kGrow, -kGrow, kGrow, kGrow);
    };
    // The selection's border lies on its edge, one pixel inside and one outside.
    auto border = [&](const QRect& selection) {
        if (selection.isEmpty()) return QRegion();
        return QRegion(grown(selection)) - QRegion(selection.adjusted(kGrow, kGrow, -kGrow, -kGrow));
    };
    QRegion changed;
    if (before.magnifier != after.magnifier || before.point != after.point)
        changed += QRegion(grown(before.magnifier)) + grown(after.magnifier);
    if (before.selection == after.selection) return changed;
    // The label's text follows the selection.
    changed += QRegion(grown(before.label)) + grown(after.label);
    changed += QRegion(before.selection) ^ QRegion(after.selection);
    changed += border(before.selection) + border(after.selection);
    return changed;
}

// In 64 bits: a stored region may span the whole int range, whose size does not fit in an int.
QRect NormalizeRegion(QRect region, QSize screen) {
    int64_t left = region.left();
    int64_t top = region.top();
    int64_t right = region.right();
    int64_t bottom = region.bottom();
    auto fit = [](int64_t& low, int64_t& high, int64_t limit) {
        if (low < 0) {
            high = std::min(high - low, limit - 1);
            low = 0;
        } else if (high >= limit) {
            low = std::max<int64_t>(low - (high - (limit - 1)), 0);
            high = limit - 1;
        }
        if (high - low < kMinSide - 1) {
            high = low + kMinSide - 1;
            if (high >= limit) {
                high = limit - 1;
                low = std::max<int64_t>(limit - kMinSide, 0);
            }
        }
    };
    fit(left, right, screen.width());
    fit(top, bottom, screen.height());
    return QRect(QPoint(static_cast<int>(left), static_cast<int>(top)),
                 QPoint(static_cast<int>(right), static_cast<int>(bottom)));
}

HitTest FrameHitTest(const QRect& region, QPoint p) {
    // As the window system's rectangles: the edges' values, right and bottom excluded.
    const int l = region.left() - kBand;
    const int t = region.top() - kBand;
    const int r = region.right() + kBand;
    const int b = region.bottom() + kBand;
    const QRect outer = Box(l, t, r, b);
    const QRect inner =
        Box(region.left() + kBand, region.top() + kBand, region.right() - kBand, region.bottom() - kBand);
    if (PointIn(inner, p) || !PointIn(outer, p)) return HitTest::Client;
    const int c = kCornerSquare;
    const int z = kSideZoneStart;
    const int band = 2 * kBand;
    const struct {
        QRect box;
        HitTest code;
    } zones[] = {
        {Box(l, t, l + c, t + c), HitTest::TopLeft},
        {Box(r - c, t, r, t + c), HitTest::TopRight},
        {Box(l, b - c, l + c, b), HitTest::BottomLeft},
        {Box(r - c, b - c, r, b), HitTest::BottomRight},
        {Box(l + z, t, r - z, t + band), HitTest::Top},
        {Box(l + z, b - band, r - z, b), HitTest::Bottom},
        {Box(l, t + z, l + kSideStripWide, b - z), HitTest::Left},
        {Box(r - kSideStripWide, t + z, r, b - z), HitTest::Right},
    };
    for (const auto& zone : zones) {
        if (PointIn(zone.box, p)) return zone.code;
    }
    return HitTest::Client;
}

bool IsResizeHandle(HitTest code) {
    const int value = static_cast<int>(code);
    return value >= static_cast<int>(HitTest::Left) && value <= static_cast<int>(HitTest::BottomRight);
}

QRect FrameLabelBox(const QRect& region, QSize text, QSize screen) {
    // The close button is part of the label wherever it goes, so that it never leaves the screen.
    const int width = text.width() + kLabelPadding + kCloseButtonSpace;
    const int height = text.height() + kLabelPadding;
    const int w = screen.width();
    const int h = screen.height();
    if (region.top() >= height + kFrameGap) {
        const int left = region.left() + width > w ? w - width : region.left();
        return QRect(left, region.top() - kFrameGap - height, width, height);
    }
    if (region.width() >= width + 2 * kLabelMargin && region.height() >= height + 2 * kLabelMargin)
        return QRect(region.left() + kLabelMargin, region.top() + kLabelMargin, width, height);
    if (region.left() - kFrameGap - width >= 0) {
        return QRect(region.left() - kFrameGap - width, StartWithin(region.top(), height, h), width, height);
    }
    if (region.bottom() + 1 + kFrameGap + height <= h) {
        const int left = region.left() + width > w ? w - width : region.left();
        return QRect(left, region.bottom() + 1 + kFrameGap, width, height);
    }
    if (region.right() + 1 + kFrameGap + width <= w) {
        return QRect(region.right() + 1 + kFrameGap, StartWithin(region.top(), height, h), width, height);
    }
    return QRect();
}

QRect CloseButtonBox(const QRect& label) {
    return QRect(End(label) - 24, label.y() + (label.height() - kCloseButtonSize) / 2, kCloseButtonSize,
                 kCloseButtonSize);
}

QRect FrameMagnifierBox(const MagnifierRequest& request) {
    const std::array<QRect, 4> candidates = OutsideCandidates(request);
    const QRect* best = nullptr;
    int64_t best_distance = INT64_MAX;
    for (const QRect& candidate : candidates) {
        if (candidate.isEmpty()) continue;
        const int64_t distance = NearestCornerDistance(candidate, request.point);
        if (distance < best_distance) {
            best = &candidate;
            best_distance = distance;
        }
    }
    if (best) return *best;
    if (request.thickness != 6) return QRect();
    return InsideMagnifier(request);
}

QRect DragRegion(HitTest kind, const QRect& start, QPoint delta, QSize screen) {
    int left = start.left();
    int top = start.top();
    int right = start.right();
    int bottom = start.bottom();
    const int w = screen.width();
    const int h = screen.height();
    if (kind == HitTest::Client || kind == HitTest::Caption) {
        auto slide = [](int& low, int& high, int low0, int high0, int d, int limit) {
            low = std::max(0, low0 + d);
            high = high0 + (low - low0);
            if (high >= limit) {
                high = limit - 1;
                low = high - (high0 - low0);
            }
        };
        slide(left, right, start.left(), start.right(), delta.x(), w);
        slide(top, bottom, start.top(), start.bottom(), delta.y(), h);
        return QRect(QPoint(left, top), QPoint(right, bottom));
    }
    const bool moves_left = kind == HitTest::Left || kind == HitTest::TopLeft || kind == HitTest::BottomLeft;
    const bool moves_right =
        kind == HitTest::Right || kind == HitTest::TopRight || kind == HitTest::BottomRight;
    const bool moves_top = kind == HitTest::Top || kind == HitTest::TopLeft || kind == HitTest::TopRight;
    const bool moves_bottom =
        kind == HitTest::Bottom || kind == HitTest::BottomLeft || kind == HitTest::BottomRight;
    if (moves_left) left = std::max(std::min(start.left() + delta.x(), right - (kMinSide - 1)), 0);
    if (moves_right) right = std::min(std::max(start.right() + delta.x(), left + kMinSide - 1), w - 1);
    if (moves_top) top = std::max(std::min(start.top() + delta.y(), bottom - (kMinSide - 1)), 0);
    if (moves_bottom) bottom = std::min(std::max(start.bottom() + delta.y(), top + kMinSide - 1), h - 1);
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QPoint DraggedPoint(HitTest kind, const QRect& region, QPoint mouse) {
    const int along_x = std::clamp(mouse.x(), region.left(), region.right());
    const int along_y = std::clamp(mouse.y(), region.top(), region.bottom());
    switch (kind) {
        case HitTest::TopLeft:
            return region.topLeft();
        case HitTest::TopRight:
            return region.topRight();
        case HitTest::BottomLeft:
            return region.bottomLeft();
        case HitTest::BottomRight:
            return region.bottomRight();
        case HitTest::Left:
            return QPoint(region.left(), along_y);
        case HitTest::Right:
            return QPoint(region.right(), along_y);
        case HitTest::Top:
            return QPoint(along_x, region.top());
        case HitTest::Bottom:
            return QPoint(along_x, region.bottom());
        default:
            return region.topLeft();
    }
}

QRect FrameWindowBox(const QRect& region, const QRect& label, const QRect& magnifier) {
    QRect box = Box(region.left() - kBand, region.top() - kBand, region.right() + 4, region.bottom() + 4);
    for (const QRect& part : {label, magnifier}) {
        if (!part.isEmpty()) box = box.united(part.adjusted(-1, -1, 2, 2));
    }
    return box;
}

}  // namespace vexa::ui::region
