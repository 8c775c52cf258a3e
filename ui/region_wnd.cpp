#include "ui/region_wnd.h"

#include <QPainter>

#include <algorithm>
#include <utility>

#include "platform/log/log.h"
#include "toolkit/application.h"
#include "toolkit/window_input.h"

namespace vexa::ui {
namespace {

using toolkit::HitTest;

constexpr int kFreezeTimer = 1;
// The frame (and the main window the owner hides) leave the screen before it is copied: clients
// below repaint and a compositor shows a new frame within this time.
constexpr int kFreezeDelayMs = 60;
// A shape outside the window: nothing shows, yet the window stays mapped and keeps the mouse grab.
const QRect kNowhere(-2, -2, 1, 1);

}  // namespace

CRegionWnd::CRegionWnd(region::RegionCallback callback) : callback_(std::move(callback)) {}

CRegionWnd::~CRegionWnd() {
    if (dragging_) releaseCapture();
}

Error CRegionWnd::Create(toolkit::Window* owner, QSize screen) {
    if (screen.isEmpty()) return Error(ErrorCode::kUnavailable, "region frame: there is no screen");
    screen_ = screen;
    region_ = region::WholeScreen(screen);
    UpdateView();
    window_box_ = region::FrameWindowBox(region_, view_.label, view_.magnifier);
    if (!create(owner, "",
                toolkit::kStylePopup | toolkit::kStyleTopMost | toolkit::kStyleToolWindow |
                    toolkit::kStyleLayered | toolkit::kStyleUnmanaged,
                window_box_)) {
        return Error(ErrorCode::kInternal, "region frame: cannot create the frame window");
    }
    setCursor(toolkit::CursorShape::SizeAll);
    RedrawIdle();
    return {};
}

void CRegionWnd::Report(int code) {
    if (callback_) callback_(code, IsFullScreen(), Region());
}

void CRegionWnd::SetRegion(const settings::Rect& rect) {
    const QRect normal = region::NormalizeRegion(region::FromRect(rect), screen_);
    if (normal != region_) {
        region_ = normal;
        Report(region::kRegionChanged);
    }
    Redraw();
}

void CRegionWnd::SetRecordingStyle(bool recording) {
    if (recording) EndDrag();
    thickness_ = recording ? 3 : 6;
    const bool switched = recording != recording_;
    recording_ = recording;
    Redraw();
    if (switched && shown_) ShowTopMost();
}

void CRegionWnd::ShowTopMost() {
    shown_ = true;
    if (recording_) {
        hide();
        for (const auto& edge : edges_) {
            if (edge) edge->show(false);
        }
        return;
    }
    for (const auto& edge : edges_) {
        if (edge) edge->hide();
    }
    setTopMost(true);
    show(false);
}

void CRegionWnd::HideFrame() {
    shown_ = false;
    hide();
    for (const auto& edge : edges_) {
        if (edge) edge->hide();
    }
}

void CRegionWnd::OnDisplayChange(QSize screen) {
    EndDrag();
    if (screen.isEmpty()) return;
    screen_ = screen;
    SetRegion(Region());
}

region::FrameArt CRegionWnd::Art() {
    region::FrameArt art;
    art.painter = &painter_;
    art.close_button = paintManager().image("selclose.png");
    art.screen = frozen_ready_ && !frozen_.isNull() ? &frozen_ : nullptr;
    return art;
}

void CRegionWnd::UpdateView() {
    view_.region = region_;
    view_.thickness = thickness_;
    view_.label = thickness_ == 6 ? region::FrameLabelBox(
                                        region_, painter_.TextSize(region::SizeLabelText(region_)), screen_)
                                  : QRect();
    view_.point = dragged_point_;
    view_.magnifier =
        dragging_ && frozen_ready_
            ? region::FrameMagnifierBox({region_, dragged_point_, view_.label, screen_, thickness_})
            : QRect();
}

void CRegionWnd::onCompositorChanged(bool compositor) {
    toolkit::Window::onCompositorChanged(compositor);
    Redraw();
}

void CRegionWnd::Redraw() {
    if (!isCreated()) return;
    UpdateView();
    if (recording_)
        RedrawEdges();
    else if (dragging_)
        RedrawDrag();
    else
        RedrawIdle();
}

// While recording each side window shows its strip of the frame's picture; the inside of the
// region is covered by none of them.
void CRegionWnd::RedrawEdges() {
    const QRect box = region::FrameWindowBox(region_, view_.label, view_.magnifier);
    const region::FrameLayer layer =
        region::ComposeFrameLayer(view_, box, Art(), {.interactive = false, .compositor = hasCompositor()});
    const std::array<QRect, 4> sides = region::FrameBandSides(region_);
    for (size_t i = 0; i < sides.size(); ++i) {
        auto& edge = edges_[i];
        if (!edge) {
            edge = std::make_unique<CRegionEdgeWnd>();
            if (!edge->create(owner(), "",
                              toolkit::kStylePopup | toolkit::kStyleTopMost | toolkit::kStyleToolWindow |
                                  toolkit::kStyleLayered | toolkit::kStyleUnmanaged |
                                  toolkit::kStyleClickThrough,
                              sides[i])) {
                log::Warning("region frame: a side window cannot be created");
                edge.reset();
                continue;
            }
        }
        edge->setGeometry(sides[i]);
        edge->updateLayered(layer.picture.copy(sides[i].translated(-box.topLeft())));
    }
}

// Outside a drag the window covers only the frame and its label, with per-pixel alpha.
void CRegionWnd::RedrawIdle() {
    window_box_ = region::FrameWindowBox(region_, view_.label, view_.magnifier);
    region::FrameLayer layer = region::ComposeFrameLayer(
        view_, window_box_, Art(), {.interactive = thickness_ == 6, .compositor = hasCompositor()});
    picture_ = std::move(layer.picture);
    setShape(layer.shape);
    setGeometry(window_box_);
    invalidate(picture_.rect());
}

// During a drag the window covers the screen with its frozen picture; only where the frame was
// and is now is redrawn.
void CRegionWnd::RedrawDrag() {
    if (!frozen_ready_) return;
    const QRegion now = region::FrameDrawnArea(view_);
    const QRegion dirty = (drawn_ + now) & picture_.rect();
    for (const QRect& area : dirty) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            QRgb* out = reinterpret_cast<QRgb*>(picture_.scanLine(y)) + area.left();
            if (frozen_.isNull()) {
                std::fill_n(out, area.width(), 0xFF000000u);
            } else {
                const QRgb* in = reinterpret_cast<const QRgb*>(frozen_.constScanLine(y)) + area.left();
                std::copy_n(in, area.width(), out);
            }
        }
    }
    region::DrawFrame(picture_, QPoint(0, 0), view_, Art(), picture_.rect());
    drawn_ = now;
    for (const QRect& area : dirty) invalidate(area);
}

void CRegionWnd::BeginDrag(HitTest kind, QPoint screen_point) {
    Report(region::kDragBegins);
    dragging_ = true;
    drag_kind_ = kind == HitTest::Caption ? HitTest::Client : kind;
    press_ = screen_point;
    start_region_ = region_;
    dragged_point_ = region::DraggedPoint(drag_kind_, region_, screen_point);
    frozen_ready_ = false;
    // The frame leaves the screen first, so that the frozen picture never shows it.
    picture_ = QImage();
    window_box_ = QRect(QPoint(0, 0), screen_);
    setShape(QRegion(kNowhere));
    setGeometry(window_box_);
    bringToFront();  // the arrow keys nudge the drag
    setCapture();
    setTimer(kFreezeTimer, kFreezeDelayMs);
}

void CRegionWnd::onTimer(int id) {
    if (id != kFreezeTimer) return;
    killTimer(kFreezeTimer);
    if (dragging_) FreezeScreen();
}

void CRegionWnd::FreezeScreen() {
    Result<QImage> shot = region::GrabScreen(screen_);
    if (shot.ok()) {
        frozen_ = shot.value().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        picture_ = frozen_.copy();
    } else {
        log::Failure(shot.error(), "region frame");
        frozen_ = QImage();
        picture_ = QImage(screen_, QImage::Format_ARGB32_Premultiplied);
        picture_.fill(Qt::black);
    }
    frozen_ready_ = true;
    drawn_ = QRegion();
    UpdateView();
    RedrawDrag();
    clearShape();
    invalidate(picture_.rect());
}

void CRegionWnd::DragTo(QPoint screen_point) {
    const QRect moved = region::DragRegion(drag_kind_, start_region_, screen_point - press_, screen_);
    dragged_point_ = region::DraggedPoint(drag_kind_, moved, screen_point);
    if (moved != region_) {
        region_ = moved;
        Report(region::kRegionChanged);
    }
    Redraw();
}

void CRegionWnd::EndDrag() {
    if (!dragging_) return;
    Report(region::kDragEnded);
    dragging_ = false;
    releaseCapture();
    killTimer(kFreezeTimer);
    frozen_ = QImage();
    frozen_ready_ = false;
    drawn_ = QRegion();
    Redraw();
}

void CRegionWnd::UpdateCursor(QPoint screen_point) {
    toolkit::CursorShape shape = toolkit::CursorShape::SizeAll;
    if (!view_.label.isEmpty() && region::CloseButtonBox(view_.label).contains(screen_point)) {
        shape = toolkit::CursorShape::Hand;
    } else if (const HitTest code = region::FrameHitTest(region_, screen_point);
               region::IsResizeHandle(code)) {
        shape = toolkit::cursorForHitTest(code);
    }
    setCursor(shape);
}

bool CRegionWnd::onMouse(const toolkit::MouseInput& input) {
    using Kind = toolkit::MouseInput::Kind;
    const QPoint point = input.screenPos;
    switch (input.kind) {
        case Kind::Move:
            if (dragging_)
                DragTo(point);
            else
                UpdateCursor(point);
            return true;
        case Kind::Down:
        case Kind::DoubleClick:
            if (dragging_) return true;
            if (!view_.label.isEmpty() && region::CloseButtonBox(view_.label).contains(point)) {
                HideFrame();
                return true;
            }
            BeginDrag(region::FrameHitTest(region_, point), point);
            return true;
        case Kind::Up:
            EndDrag();
            return true;
        default:
            return false;
    }
}

bool CRegionWnd::onKey(int key, Qt::KeyboardModifiers /*modifiers*/) {
    if (!dragging_) return false;
    const std::optional<QPoint> step = region::ArrowKeyStep(key);
    if (!step) return false;
    // The pointer's move continues the drag.
    toolkit::setCursorPos(region::ClampToScreen(toolkit::cursorPos() + *step, screen_));
    return true;
}

void CRegionWnd::onPaint(QPainter& painter, const QRect& dirty) {
    if (picture_.isNull()) return;
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(dirty, picture_, dirty);
}

}  // namespace vexa::ui
