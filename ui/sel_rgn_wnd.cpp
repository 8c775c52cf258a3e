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
constexpr int kOpeningTimer = 2;
// How long the overlay counts as opening once shown: the focus moves the desktop makes as its
// windows come and go (sway focuses the next window when the main window hides, and takes back a
// focus it did not give) arrive within it.
constexpr int kOpeningMs = 1500;

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
    opening_ = true;
    setTimer(kOpeningTimer, kOpeningMs);
    show(true);
    bringToFront();
    // Esc and the arrow keys come here even where the focus stays elsewhere: sway gives an
    // unmanaged window no focus, and takes back one it did not give.
    setKeyboardCapture(true);
    return {};
}

void CSelRgnWnd::onTimer(int id) {
    if (id == kOpeningTimer) {
        killTimer(kOpeningTimer);
        opening_ = false;
        return;
    }
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
// selection is by dragging only. Where the X server finds no window the pointer is on the desktop
// itself, which covers the screen.
QRect CSelRgnWnd::WindowUnder(QPoint point) const {
    if (!region::WindowsClickable()) return region::NoRegion();
    const Result<std::optional<desktop::WindowHit>> hit =
        desktop::WindowAtPoint(point.x(), point.y(), static_cast<uint32_t>(toolkit::nativeWindowId(*this)));
    if (!hit.ok()) return region::NoRegion();
    if (!hit.value()) return region::WholeScreen(screen_);
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
            candidate_ = region::ChosenRegion(candidate_, screen_);
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

// Only another program taking the focus once the overlay has opened ends the selection. A loss
// while it opens, or to one of this program's windows or to no window, leaves it open.
void CSelRgnWnd::onFocusLost() {
    const bool elsewhere = toolkit::focusWithAnotherProgram();
    if (elsewhere && !opening_) {
        log::Info("region selection: cancelled, another program took the focus");
        Cancel();
        return;
    }
    log::Info(elsewhere ? "region selection: the focus moved while the overlay opened; it stays open"
                        : "region selection: the focus went to no other program; the overlay stays open");
}

void CSelRgnWnd::onPaint(QPainter& painter, const QRect& dirty) {
    if (!canvas_) return;
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(dirty, canvas_->Picture(), dirty);
}

}  // namespace vexa::ui
