#include "ui/camera_wnd_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "platform/camera/camera_device.h"
#include "toolkit/translate.h"

namespace vexa::ui {
namespace {

using toolkit::HitTest;

constexpr int kCircleSideBand = 16;      // circular rim: this close to a side sizes from that side
constexpr int kCornerBox = 6;            // rectangle rim: corners that size diagonally
constexpr int kSideStrip = 3;            // rectangle rim: strips that size from one side
constexpr double kCrossedDistance = 10;  // a mouse past the centre counts as this close to it

QRect ToWindow(const settings::Rect& full, QPoint offset) {
    return QRect(-offset.x(), -offset.y(), static_cast<int>(Width(full)), static_cast<int>(Height(full)));
}

QRegion ShapeOf(const QRect& rect, bool circular) {
    if (rect.isEmpty()) return {};
    return circular ? QRegion(rect, QRegion::Ellipse) : QRegion(rect);
}

HitTest CircleRimCode(const QRect& full, QPoint p) {
    const int right = full.x() + full.width();
    const int bottom = full.y() + full.height();
    if (p.x() < full.x() + kCircleSideBand) return HitTest::Left;
    if (p.y() < full.y() + kCircleSideBand) return HitTest::Top;
    if (p.x() >= right - kCircleSideBand) return HitTest::Right;
    if (p.y() >= bottom - kCircleSideBand) return HitTest::Bottom;
    const bool left_half = p.x() < full.x() + full.width() / 2;
    const bool top_half = p.y() < full.y() + full.height() / 2;
    if (top_half) return left_half ? HitTest::TopLeft : HitTest::TopRight;
    return left_half ? HitTest::BottomLeft : HitTest::BottomRight;
}

HitTest RectangleRimCode(const QRect& full, QPoint p) {
    const int right = full.x() + full.width();
    const int bottom = full.y() + full.height();
    const bool near_left = p.x() < full.x() + kCornerBox, near_right = p.x() >= right - kCornerBox;
    const bool near_top = p.y() < full.y() + kCornerBox, near_bottom = p.y() >= bottom - kCornerBox;
    if (near_top && near_left) return HitTest::TopLeft;
    if (near_top && near_right) return HitTest::TopRight;
    if (near_bottom && near_left) return HitTest::BottomLeft;
    if (near_bottom && near_right) return HitTest::BottomRight;
    if (p.x() < full.x() + kSideStrip) return HitTest::Left;
    if (p.x() >= right - kSideStrip) return HitTest::Right;
    if (p.y() < full.y() + kSideStrip) return HitTest::Top;
    if (p.y() >= bottom - kSideStrip) return HitTest::Bottom;
    return HitTest::Client;
}

// Sides follow the mouse; a moving side stops kCameraMinSide from the opposite one.
settings::Rect SizeRectangle(HitTest code, const settings::Rect& r, QPoint delta) {
    settings::Rect out = r;
    const bool left = code == HitTest::Left || code == HitTest::TopLeft || code == HitTest::BottomLeft;
    const bool right = code == HitTest::Right || code == HitTest::TopRight || code == HitTest::BottomRight;
    const bool top = code == HitTest::Top || code == HitTest::TopLeft || code == HitTest::TopRight;
    const bool bottom =
        code == HitTest::Bottom || code == HitTest::BottomLeft || code == HitTest::BottomRight;
    if (left) out.left = std::min(r.left + delta.x(), r.right - kCameraMinSide);
    if (right) out.right = std::max(r.right + delta.x(), r.left + kCameraMinSide);
    if (top) out.top = std::min(r.top + delta.y(), r.bottom - kCameraMinSide);
    if (bottom) out.bottom = std::max(r.bottom + delta.y(), r.top + kCameraMinSide);
    return out;
}

// How far every side of the circular window moves inwards.
int CircleInset(HitTest code, const settings::Rect& r, QPoint start, QPoint now) {
    switch (code) {
        case HitTest::Left:
            return now.x() - start.x();
        case HitTest::Right:
            return start.x() - now.x();
        case HitTest::Top:
            return now.y() - start.y();
        case HitTest::Bottom:
            return start.y() - now.y();
        default:
            break;
    }
    const double cx = (static_cast<double>(r.left) + r.right) / 2;
    const double cy = (static_cast<double>(r.top) + r.bottom) / 2;
    const bool left_corner = code == HitTest::TopLeft || code == HitTest::BottomLeft;
    const bool top_corner = code == HitTest::TopLeft || code == HitTest::TopRight;
    const bool crossed =
        (left_corner ? now.x() > cx : now.x() < cx) || (top_corner ? now.y() > cy : now.y() < cy);
    const double from_start = std::hypot(start.x() - cx, start.y() - cy);
    const double from_now = crossed ? kCrossedDistance : std::hypot(now.x() - cx, now.y() - cy);
    return static_cast<int>(from_start - from_now);
}

}  // namespace

CameraButtonSlots CameraButtonsBySlot(bool has_style_button) {
    if (has_style_button)
        return {CameraButton::kClose, CameraButton::kStyle, CameraButton::kMirror, CameraButton::kSettings,
                CameraButton::kFormat};
    return {CameraButton::kClose, CameraButton::kMirror, CameraButton::kSettings, CameraButton::kFormat,
            CameraButton::kNone};
}

settings::Rect DefaultCameraRect(QSize screen) {
    const int third_w = screen.width() / 3;
    const int third_h = screen.height() / 3;
    const int side = std::min(third_w, third_h);
    const int left = screen.width() - third_w;
    const int top = (screen.height() - third_h) / 2;
    return {left, top, left + side, top + side};
}

settings::Rect PreviewFirstRect(const QRect& main, const QRect& work) {
    constexpr int kGap = 8;  // between the main window and the preview
    const int wanted = std::max(kCameraMinSide, std::min(work.width(), work.height()) / 3);
    // Room on each side of the main window inside the work area, less the gap.
    const int right_room = work.x() + work.width() - (main.x() + main.width()) - kGap;
    const int left_room = main.x() - work.x() - kGap;
    const int below_room = work.y() + work.height() - (main.y() + main.height()) - kGap;
    const int above_room = main.y() - work.y() - kGap;
    // Centred on the main window along the side, kept inside the work area.
    auto along = [](int centre, int side, int lo, int length) {
        return std::clamp(centre - side / 2, lo, std::max(lo, lo + length - side));
    };
    const int cross_h = std::min(wanted, work.height()), cross_w = std::min(wanted, work.width());
    struct Candidate {
        int room, cross;
        bool horizontal;
        bool before;
    };
    for (const Candidate c :
         {Candidate{right_room, cross_h, true, false}, Candidate{left_room, cross_h, true, true},
          Candidate{below_room, cross_w, false, false}, Candidate{above_room, cross_w, false, true}}) {
        const int side = std::min({wanted, c.room, c.cross});
        if (side < kCameraMinSide) continue;
        int left = 0, top = 0;
        if (c.horizontal) {
            left = c.before ? main.x() - kGap - side : main.x() + main.width() + kGap;
            top = along(main.y() + main.height() / 2, side, work.y(), work.height());
        } else {
            top = c.before ? main.y() - kGap - side : main.y() + main.height() + kGap;
            left = along(main.x() + main.width() / 2, side, work.x(), work.width());
        }
        return {left, top, left + side, top + side};
    }
    const settings::Rect r = DefaultCameraRect(work.size());
    return {r.left + work.x(), r.top + work.y(), r.right + work.x(), r.bottom + work.y()};
}

settings::Rect InitialCameraRect(const std::optional<settings::Rect>& stored, bool circular, QSize screen) {
    if (!stored) return DefaultCameraRect(screen);
    settings::Rect r = *stored;
    const int64_t w = Width(r), h = Height(r);
    if (w < 20 || h < 20 || w > kCameraMaxStoredSide || h > kCameraMaxStoredSide)
        return DefaultCameraRect(screen);
    if (circular) {
        const int side = static_cast<int>(std::min(w, h));
        r.right = r.left + side;
        r.bottom = r.top + side;
    }
    const bool meets_screen =
        r.right > 0 && r.left < screen.width() && r.bottom > 0 && r.top < screen.height();
    return meets_screen ? r : DefaultCameraRect(screen);
}

settings::Rect CentredSquare(const settings::Rect& rect) {
    const int w = static_cast<int>(Width(rect)), h = static_cast<int>(Height(rect));
    const int side = std::min(w, h);
    const int left = rect.left + (w - side) / 2;
    const int top = rect.top + (h - side) / 2;
    return {left, top, left + side, top + side};
}

ClippedCameraRect ClipAtScreenOrigin(const settings::Rect& full) {
    ClippedCameraRect out{full, QPoint(std::max(0, -full.left), std::max(0, -full.top))};
    out.visible.left = std::max(0, full.left);
    out.visible.top = std::max(0, full.top);
    return out;
}

std::array<QRect, kCameraButtonSlots> LayoutCameraButtons(const QRect& full, bool circular) {
    std::array<QRect, kCameraButtonSlots> out{};
    const int size = kCameraButtonSize;
    if (!circular) {
        const int step = std::clamp(full.height() / kCameraButtonSlots, 20, 50);
        const int left = full.x() + full.width() - size;
        for (int k = 0; k < kCameraButtonSlots; ++k) out[k] = QRect(left, full.y() + k * step, size, size);
        return out;
    }
    const int cx = full.x() + full.width() / 2;
    const int cy = full.y() + full.height() / 2;
    // A window smaller than two buttons has no real arc; keep the step finite.
    const double arc_radius = std::max(full.width() / 2.0 - size, 1.0);
    const double step = std::clamp(std::numbers::pi * arc_radius / 4, 20.0, 50.0);
    const double angle = step / arc_radius;
    const double cos_a = std::cos(angle), sin_a = std::sin(angle);
    QPoint centre(cx, full.y() + size / 2);
    for (int k = 0; k < kCameraButtonSlots; ++k) {
        out[k] = QRect(centre.x() - size / 2, centre.y() - size / 2, size, size);
        // Clockwise on the screen (y grows downwards), from the previous whole-pixel centre.
        const double dx = centre.x() - cx, dy = centre.y() - cy;
        centre = QPoint(cx + static_cast<int>(std::lround(dx * cos_a - dy * sin_a)),
                        cy + static_cast<int>(std::lround(dx * sin_a + dy * cos_a)));
    }
    return out;
}

CameraShape BuildCameraShape(const settings::Rect& full, bool circular) {
    const ClippedCameraRect clipped = ClipAtScreenOrigin(full);
    CameraShape shape;
    shape.full = ToWindow(full, clipped.offset);
    shape.circular = circular;
    const QRect visible(0, 0, static_cast<int>(Width(clipped.visible)),
                        static_cast<int>(Height(clipped.visible)));
    shape.window = ShapeOf(shape.full, circular).intersected(visible);
    const QRect inner =
        shape.full.adjusted(kCameraRimWidth, kCameraRimWidth, -kCameraRimWidth, -kCameraRimWidth);
    shape.rim = shape.window.subtracted(ShapeOf(inner, circular));
    shape.buttons = LayoutCameraButtons(shape.full, circular);
    for (int k = 0; k < kCameraButtonSlots; ++k)
        shape.button_regions[k] = QRegion(shape.buttons[k], QRegion::Ellipse);
    return shape;
}

CameraHit HitTestCamera(const CameraShape& shape, QPoint point) {
    for (int k = 0; k < kCameraButtonSlots; ++k) {
        if (shape.button_regions[k].contains(point)) return {HitTest::Client, k};
    }
    if (!shape.rim.contains(point)) return {HitTest::Client, -1};
    return {shape.circular ? CircleRimCode(shape.full, point) : RectangleRimCode(shape.full, point), -1};
}

settings::Rect DragCameraRect(HitTest code, bool circular, const settings::Rect& start_rect, QPoint start,
                              QPoint now) {
    const QPoint delta = now - start;
    if (code == HitTest::Client || code == HitTest::Caption) {
        return {start_rect.left + delta.x(), start_rect.top + delta.y(), start_rect.right + delta.x(),
                start_rect.bottom + delta.y()};
    }
    if (code < HitTest::Left || code > HitTest::BottomRight) return start_rect;
    if (!circular) return SizeRectangle(code, start_rect, delta);
    // Every side moves in by e; e is lowered until the width, rounded down to even, is at least the
    // minimum: for an even width w - 2e ≥ min, for an odd one w - 2e - 1 ≥ min.
    const int width = static_cast<int>(Width(start_rect));
    const int limit = static_cast<int>(std::floor((width - kCameraMinSide) / 2.0));
    const int e = std::min(CircleInset(code, start_rect, start, now), limit);
    return {start_rect.left + e, start_rect.top + e, start_rect.right - e, start_rect.bottom - e};
}

std::string CameraStatusText(bool open_finished, uint32_t open_result) {
    if (!open_finished) return toolkit::Tr("摄像头初始化中...");
    if (open_result == 0) return {};
    if (open_result == platform::kCameraBusy) return toolkit::Tr("摄像头被占用");
    char code[16];
    std::snprintf(code, sizeof code, "%08X", open_result);
    return toolkit::TrFormat("摄像头打开失败(0x%s", {code});
}

}  // namespace vexa::ui
