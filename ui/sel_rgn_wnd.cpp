#include "ui/sel_rgn_wnd.h"

#include <QPainter>

#include <optional>
#include <utility>

#include "platform/desktop/window_at_point.h"
#include "platform/log/log.h"
#include "toolkit/application.h"
#include "toolkit/window_input.h"

namespace vexa::ui {
namespace {

constexpr int kSettleTimer = 1;

QRect BoxOf(const platform::ScreenRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

}  // namespace

CSelRgnWnd::CSelRgnWnd() = default;

CSelRgnWnd::~CSelRgnWnd() {
    report_ = false;
    if (isCreated()) {
        releaseCapture();
        destroy();
    }
}

Error CSelRgnWnd::BeginSelection(toolkit::Window* owner, region::RegionCallback callback,
                                 std::chrono::milliseconds settle) {
    callback_ = std::move(callback);
    screen_ = toolkit::primaryScreenSize();
    if (screen_.isEmpty()) return Error(ErrorCode::kUnavailable, "region selection: there is no screen");
    // Unmanaged: the window manager may neither keep it off the panels nor move it.
    if (!create(owner, "",
                toolkit::kStylePopup | toolkit::kStyleTopMost | toolkit::kStyleToolWindow |
                    toolkit::kStyleUnmanaged,
                QRect(QPoint(0, 0), screen_))) {
        return Error(ErrorCode::kInternal, "region selection: cannot create the overlay window");
    }
    setCursor(toolkit::CursorShape::Cross);
    if (settle.count() > 0) {
        setTimer(kSettleTimer, static_cast<int>(settle.count()));
        return {};
    }
    Error started = Start();
    if (!started.ok()) {
        report_ = false;
        destroy();
    }
    return started;
}

Error CSelRgnWnd::Start() {
    Result<QImage> snapshot = region::GrabScreen(screen_);
    if (!snapshot.ok()) return snapshot.error().Within("region selection");
    canvas_ = std::make_unique<SelectionCanvas>(std::move(snapshot).value());
    MouseMoveStep(toolkit::cursorPos());
    show(true);
    bringToFront();
    return {};
}

void CSelRgnWnd::onTimer(int id) {
    if (id != kSettleTimer) return;
    killTimer(kSettleTimer);
    if (Error started = Start(); !started.ok()) {
        log::Failure(started);
        Cancel();
    }
}

void CSelRgnWnd::Cancel() {
    if (!isCreated()) return;
    releaseCapture();
    destroy();
}

void CSelRgnWnd::Finish(int code) {
    result_ = code;
    state_ = State::kCompleted;
    releaseCapture();
    destroy();
}

// The report comes last, when the overlay is gone, so the owner may delete this object in it.
void CSelRgnWnd::onFinalMessage() {
    if (!report_) return;
    report_ = false;
    const QRect chosen = result_ == region::kChosen ? candidate_ : region::NoRegion();
    if (callback_) callback_(result_, region::IsFullScreen(chosen, screen_), region::ToRect(chosen));
}

// Windows are found through the X server; on Wayland it knows none of the desktop's own, so the
// selection is by dragging only.
QRect CSelRgnWnd::WindowUnder(QPoint point) const {
    if (!region::WindowsClickable()) return region::NoRegion();
    const Result<std::optional<desktop::WindowHit>> hit =
        desktop::WindowAtPoint(point.x(), point.y(), static_cast<uint32_t>(toolkit::nativeWindowId(*this)));
    if (!hit.ok() || !hit.value()) return region::NoRegion();
    const desktop::WindowHit& window = *hit.value();
    return region::WindowRegion(BoxOf(window.child ? *window.child : window.frame), screen_);
}

void CSelRgnWnd::MouseMoveStep(QPoint screen_point) {
    if (!canvas_ || state_ == State::kCompleted) return;
    const QPoint point = region::ClampToScreen(screen_point, screen_);
    if (state_ == State::kPressed && point != press_) {
        state_ = State::kDragging;
        anchor_ = press_;
    }
    candidate_ = state_ == State::kDragging ? region::SpannedRegion(anchor_, point) : WindowUnder(point);
    if (callback_) {
        callback_(region::kCandidateChanged, region::IsFullScreen(candidate_, screen_),
                  region::ToRect(candidate_));
    }
    for (const QRect& area : canvas_->Show(canvas_->ViewFor(candidate_, point))) invalidate(area);
}

bool CSelRgnWnd::onMouse(const toolkit::MouseInput& input) {
    using Kind = toolkit::MouseInput::Kind;
    if (input.kind != Kind::Leave) used_ = true;
    switch (input.kind) {
        case Kind::Move:
            MouseMoveStep(input.screenPos);
            return true;
        case Kind::Down:
            if (state_ != State::kIdle || !canvas_) return true;
            press_ = region::ClampToScreen(input.screenPos, screen_);
            state_ = State::kPressed;
            setCapture();
            return true;
        case Kind::Up:
            if (state_ != State::kPressed && state_ != State::kDragging) return true;
            MouseMoveStep(input.screenPos);
            Finish(region::kChosen);
            return true;
        case Kind::RightDown:
            Cancel();
            return true;
        default:
            return true;
    }
}

bool CSelRgnWnd::onKey(int key, Qt::KeyboardModifiers /*modifiers*/) {
    used_ = true;
    if (key == Qt::Key_Escape) {
        Cancel();
        return true;
    }
    const std::optional<QPoint> step = region::ArrowKeyStep(key);
    if (!step) return false;
    const QPoint moved = region::ClampToScreen(toolkit::cursorPos() + *step, screen_);
    toolkit::setCursorPos(moved);
    MouseMoveStep(moved);
    return true;
}

// Only another program taking the focus from a selection the user works in ends it. While the
// overlay opens the desktop may give the focus elsewhere: sway focuses the next window when the
// main window hides and takes back a focus it did not give, to another program's window or to
// none. Such a loss, or one to this program's own windows, leaves the overlay open; it asks for
// the focus back, once.
void CSelRgnWnd::onFocusLost() {
    if (used_ && toolkit::focusWithAnotherProgram()) {
        log::Info("region selection: cancelled, another program took the focus");
        Cancel();
        return;
    }
    log::Info("region selection: the focus left while the overlay opened or for this program; it goes on");
    if (!focus_asked_again_) {
        focus_asked_again_ = true;
        bringToFront();
    }
}

void CSelRgnWnd::onPaint(QPainter& painter, const QRect& dirty) {
    if (!canvas_) return;
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(dirty, canvas_->Picture(), dirty);
}

}  // namespace vexa::ui
