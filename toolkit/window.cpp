#include "toolkit/window.h"

#include "toolkit/container.h"
#include "toolkit/x11_support.h"

#include <QBitmap>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QToolTip>
#include <QWidget>
#include <QWindow>

#include <atomic>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <unordered_map>

namespace vexa::toolkit {

namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::User + 17);

// Handles of living windows; posting looks a window up here so a stale handle is just not found.
struct Registry {
    std::mutex mutex;
    std::unordered_map<WindowHandle, Window*> windows;
    std::atomic<WindowHandle> next{1};
};

Registry& registry() {
    static Registry instance;
    return instance;
}

Qt::CursorShape qtCursor(CursorShape shape) {
    switch (shape) {
        case CursorShape::Hand:
            return Qt::PointingHandCursor;
        case CursorShape::Cross:
            return Qt::CrossCursor;
        case CursorShape::SizeAll:
            return Qt::SizeAllCursor;
        case CursorShape::SizeWE:
            return Qt::SizeHorCursor;
        case CursorShape::SizeNS:
            return Qt::SizeVerCursor;
        case CursorShape::SizeNWSE:
            return Qt::SizeFDiagCursor;
        case CursorShape::SizeNESW:
            return Qt::SizeBDiagCursor;
        case CursorShape::IBeam:
            return Qt::IBeamCursor;
        case CursorShape::Arrow:
            break;
    }
    return Qt::ArrowCursor;
}

std::optional<Qt::Edges> resizeEdges(HitTest code) {
    switch (code) {
        case HitTest::Left:
            return Qt::LeftEdge;
        case HitTest::Right:
            return Qt::RightEdge;
        case HitTest::Top:
            return Qt::TopEdge;
        case HitTest::Bottom:
            return Qt::BottomEdge;
        case HitTest::TopLeft:
            return Qt::TopEdge | Qt::LeftEdge;
        case HitTest::TopRight:
            return Qt::TopEdge | Qt::RightEdge;
        case HitTest::BottomLeft:
            return Qt::BottomEdge | Qt::LeftEdge;
        case HitTest::BottomRight:
            return Qt::BottomEdge | Qt::RightEdge;
        default:
            return std::nullopt;
    }
}

CursorShape resizeCursor(HitTest code) {
    switch (code) {
        case HitTest::Left:
        case HitTest::Right:
            return CursorShape::SizeWE;
        case HitTest::Top:
        case HitTest::Bottom:
            return CursorShape::SizeNS;
        case HitTest::TopLeft:
        case HitTest::BottomRight:
            return CursorShape::SizeNWSE;
        case HitTest::TopRight:
        case HitTest::BottomLeft:
            return CursorShape::SizeNESW;
        default:
            return CursorShape::Arrow;
    }
}

// Pixels with any opacity, as a region (the shape of a layered window without a compositor).
QRegion opaqueRegion(const QImage& picture) {
    if (picture.isNull()) return {};
    return QRegion(QBitmap::fromImage(picture.createAlphaMask(Qt::ThresholdAlphaDither)));
}

}  // namespace

// Reply slot of a blocking send, shared by the waiting thread and the message event.
class Window::SendState {
  public:
    enum class Stage { Pending, Running, Done, Dropped };
    std::mutex mutex;
    std::condition_variable changed;
    Stage stage = Stage::Pending;
    std::intptr_t result = 0;

    void finish(Stage to, std::intptr_t value = 0) {
        {
            std::lock_guard lock(mutex);
            stage = to;
            result = value;
        }
        changed.notify_all();
    }
};

namespace {

class MessageEvent : public QEvent {
  public:
    MessageEvent(const Message& sent, std::shared_ptr<Window::SendState> replySlot)
        : QEvent(kMessageEvent), message(sent), reply(std::move(replySlot)) {}
    // A message dropped undelivered (window gone) releases its waiting sender.
    ~MessageEvent() override {
        if (!reply) return;
        std::unique_lock lock(reply->mutex);
        if (reply->stage != Window::SendState::Stage::Pending) return;
        lock.unlock();
        reply->finish(Window::SendState::Stage::Dropped);
    }
    Message message;
    std::shared_ptr<Window::SendState> reply;
};

}  // namespace

// Watches the owner window for minimise and restore.
class OwnerWatcher : public QObject {
  public:
    OwnerWatcher(Window& window, QWidget* owner) : window_(window), owner_(owner) {
        owner->installEventFilter(this);
    }
    ~OwnerWatcher() override {
        if (owner_) owner_->removeEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == owner_ && event->type() == QEvent::WindowStateChange) {
            window_.onOwnerMinimized(owner_->isMinimized());
        }
        return false;
    }

  private:
    Window& window_;
    QPointer<QWidget> owner_;
};

// The native widget: forwards Qt's events to its Window.
class SkinWidget : public QWidget {
  public:
    SkinWidget(Window* window, Qt::WindowFlags flags) : QWidget(nullptr, flags), window_(window) {
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
    }
    void detach() { window_ = nullptr; }

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    bool routeMouse(MouseInput::Kind kind, const QPoint& pos, Qt::KeyboardModifiers modifiers, int wheel = 0,
                    std::optional<QPoint> screenPos = std::nullopt) {
        return window_ && window_->onMouse(
                              MouseInput{kind, pos, wheel, modifiers, screenPos.value_or(mapToGlobal(pos))});
    }
    bool routeMouse(MouseInput::Kind kind, const QSinglePointEvent& event, int wheel = 0) {
        return routeMouse(kind, event.position().toPoint(), event.modifiers(), wheel,
                          event.globalPosition().toPoint());
    }
    void updateCursor(const QPoint& pos);
    [[nodiscard]] bool unmanaged() const { return window_ && (window_->style_ & kStyleUnmanaged); }

    Window* window_;
    // A window the window manager does not manage is moved by its caption here: where the press
    // grabbed it, in screen and window coordinates.
    std::optional<QPoint> moveGrab_;
    QPoint moveStart_;
};

bool SkinWidget::event(QEvent* event) {
    if (!window_) return QWidget::event(event);
    if (event->type() == kMessageEvent) {
        auto* message = static_cast<MessageEvent*>(event);
        window_->deliver(message->message, message->reply);
        return true;
    }
    switch (event->type()) {
        case QEvent::ToolTip: {
            auto* help = static_cast<QHelpEvent*>(event);
            const std::string text = window_->paintManager().toolTipAt(help->pos());
            if (text.empty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), QString::fromStdString(text), this);
            return true;
        }
        case QEvent::WinIdChange:
        case QEvent::Show:
            // A new native window (flags changed) must carry the class name too.
            if (internalWinId()) x11::setWindowClass(internalWinId(), window_->windowClassName());
            break;
        case QEvent::WindowDeactivate:
            window_->paintManager().focusLost();
            window_->onFocusLost();
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

void SkinWidget::paintEvent(QPaintEvent* event) {
    if (!window_) return;
    QPainter painter(this);
    if (testAttribute(Qt::WA_TranslucentBackground)) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(event->rect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    if (window_->softShape_ && window_->shape_) painter.setClipRegion(*window_->shape_);
    window_->onPaint(painter, event->rect());
}

void SkinWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const bool right = event->button() == Qt::RightButton;
    if (!window_ || routeMouse(right ? MouseInput::Kind::RightDown : MouseInput::Kind::Down, *event)) {
        return;
    }
    if (event->button() == Qt::LeftButton) {
        const HitTest code = window_->hitTest(pos);
        // An unmanaged window has no window manager to move it: it follows the pointer itself.
        if (code == HitTest::Caption && unmanaged()) {
            moveGrab_ = event->globalPosition().toPoint();
            moveStart_ = QWidget::pos();
            grabMouse();
            return;
        }
        // Moving and sizing are left to the window system, as its own title bar would do.
        if (code == HitTest::Caption && windowHandle() && windowHandle()->startSystemMove()) return;
        if (const auto edges = resizeEdges(code);
            edges && windowHandle() && windowHandle()->startSystemResize(*edges)) {
            return;
        }
    }
    if (event->button() == Qt::LeftButton || right) window_->paintManager().buttonDown(pos, right);
}

void SkinWidget::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (moveGrab_ && event->button() == Qt::LeftButton) {
        move(moveStart_ + event->globalPosition().toPoint() - *moveGrab_);
        moveGrab_.reset();
        releaseMouse();
        return;
    }
    if (!window_ || routeMouse(MouseInput::Kind::Up, *event)) return;
    if (event->button() == Qt::LeftButton) window_->paintManager().buttonUp(pos);
}

void SkinWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (!window_ || routeMouse(MouseInput::Kind::DoubleClick, *event)) return;
    if (event->button() == Qt::LeftButton) window_->paintManager().doubleClick(pos);
}

void SkinWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (moveGrab_) {
        move(moveStart_ + event->globalPosition().toPoint() - *moveGrab_);
        return;
    }
    if (!window_ || routeMouse(MouseInput::Kind::Move, *event)) return;
    window_->paintManager().mouseMove(pos);
    updateCursor(pos);
}

void SkinWidget::updateCursor(const QPoint& pos) {
    if (!window_ || !window_->paintManager().root()) return;
    const HitTest code = window_->hitTest(pos);
    const CursorShape shape = resizeEdges(code) ? resizeCursor(code) : window_->paintManager().cursorAt(pos);
    setCursor(qtCursor(shape));
}

void SkinWidget::wheelEvent(QWheelEvent* event) {
    const QPoint pos = event->position().toPoint();
    const int delta = event->angleDelta().y();
    if (!window_ || routeMouse(MouseInput::Kind::Wheel, *event, delta)) return;
    window_->paintManager().wheel(pos, delta);
}

void SkinWidget::leaveEvent(QEvent* /*event*/) {
    if (!window_ || routeMouse(MouseInput::Kind::Leave, QPoint(-1, -1), {})) return;
    window_->paintManager().mouseLeave();
}

void SkinWidget::keyPressEvent(QKeyEvent* event) {
    if (!window_ || window_->onKey(event->key(), event->modifiers())) return;
    window_->paintManager().keyDown(event->key(), event->modifiers());
}

void SkinWidget::timerEvent(QTimerEvent* event) {
    if (!window_) return;
    for (const auto& [id, qtId] : window_->timers_) {
        if (qtId == event->timerId()) {
            window_->onTimer(id);
            return;
        }
    }
}

void SkinWidget::resizeEvent(QResizeEvent* event) {
    if (!window_) return;
    window_->paintManager().setClientSize(event->size());
    window_->onResize(event->size());
}

void SkinWidget::closeEvent(QCloseEvent* event) {
    // The window system's close goes through the same request as a posted close.
    event->ignore();
    if (window_) window_->close();
}

// --- Window ----------------------------------------------------------------------------------------

Window::Window() : manager_(std::make_unique<PaintManager>(processSkin())) {
    manager_->setWindow(this);
}

Window::~Window() {
    finishDestroy();
}

bool Window::create(Window* owner, const std::string& title, unsigned style, const QRect& geometry) {
    if (widget_) return false;
    style_ = style;
    owner_ = owner;
    Qt::WindowFlags flags = Qt::Window;
    if (style & kStylePopup) flags |= Qt::FramelessWindowHint;
    if (style & kStyleToolWindow) flags |= Qt::Tool;
    if (style & kStyleTopMost) flags |= Qt::WindowStaysOnTopHint;
    if (style & kStyleClickThrough) flags |= Qt::WindowTransparentForInput;
    if (style & kStyleUnmanaged) flags |= Qt::X11BypassWindowManagerHint;
    if (!(style & kStyleDropShadow)) flags |= Qt::NoDropShadowWindowHint;
    widget_ = std::make_unique<SkinWidget>(this, flags);
    if (style & (kStyleLayered | kStyleSoftShape)) {
        widget_->setAttribute(Qt::WA_TranslucentBackground);
        compositorListener_ = x11::addCompositorListener([this](bool compositor) {
            if (style_ & kStyleSoftShape) applyShape();
            onCompositorChanged(compositor);
        });
    }
    widget_->setWindowTitle(QString::fromStdString(title));
    widget_->setGeometry(geometry);
    manager_->setClientSize(geometry.size());
    manager_->setInvalidateSink([this](const QRect& rect) { invalidate(rect); });
    applyNativeSettings();
    if (owner && owner->widget_) ownerWatcher_ = std::make_unique<OwnerWatcher>(*this, owner->widget_.get());
    {
        std::lock_guard lock(registry().mutex);
        handle_ = registry().next++;
        registry().windows[handle_] = this;
    }
    if (!onCreate()) {
        destroy();
        return false;
    }
    if (style & kStyleVisible) show();
    return true;
}

// Changing window flags gives the widget a new native window; these settings go with it.
void Window::applyNativeSettings() {
    widget_->winId();  // creates the native window now, so its class is set before it is shown
    if (owner_ && owner_->widget_ && widget_->windowHandle() && owner_->widget_->windowHandle()) {
        widget_->windowHandle()->setTransientParent(owner_->widget_->windowHandle());
    }
    x11::setWindowClass(widget_->winId(), windowClassName());
}

void Window::destroy() {
    if (!widget_ || destroying_) return;
    destroying_ = true;
    onDestroy();
    finishDestroy();
    destroying_ = false;
    onFinalMessage();  // last: the object may delete itself here
}

void Window::finishDestroy() {
    if (handle_) {
        std::lock_guard lock(registry().mutex);
        registry().windows.erase(handle_);
        handle_ = 0;
    }
    if (modalLoop_) modalLoop_->exit(modalResult_);
    ownerWatcher_.reset();
    x11::removeCompositorListener(compositorListener_);
    compositorListener_ = 0;
    if (!widget_) return;
    if (keptAbove_) x11::keepAboveManaged(keptAbove_, false);
    keptAbove_ = 0;
    manager_->setInvalidateSink(nullptr);
    auto* widget = static_cast<SkinWidget*>(widget_.release());
    if (QWidget::keyboardGrabber() == widget) widget->releaseKeyboard();
    widget->detach();
    widget->hide();
    // We may be inside one of the widget's own event handlers: delete it from the event loop.
    widget->deleteLater();
}

void Window::show(bool activate) {
    if (!widget_) return;
    widget_->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    widget_->show();
    if (activate) {
        widget_->raise();
        widget_->activateWindow();
    }
    updateKeptAbove();
}

void Window::hide() {
    if (widget_) widget_->hide();
    updateKeptAbove();
}

// A shown unmanaged window that stays on top stays above the managed windows in the X server's
// order too, where the clicks are handed out (see x11::keepAboveManaged).
void Window::updateKeptAbove() {
    const unsigned long now = widget_ && widget_->isVisible() && (style_ & kStyleUnmanaged) &&
                                      widget_->windowFlags().testFlag(Qt::WindowStaysOnTopHint)
                                  ? static_cast<unsigned long>(widget_->winId())
                                  : 0;
    if (now == keptAbove_) return;
    if (keptAbove_) x11::keepAboveManaged(keptAbove_, false);
    keptAbove_ = now;
    if (keptAbove_) x11::keepAboveManaged(keptAbove_, true);
}

bool Window::isVisible() const {
    return widget_ && widget_->isVisible();
}

void Window::centerOnOwner() {
    if (!widget_) return;
    QRect area;
    if (owner_ && owner_->widget_ && owner_->widget_->isVisible())
        area = owner_->widget_->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    QRect frame = widget_->geometry();
    frame.moveCenter(area.center());
    widget_->move(frame.topLeft());
}

int Window::showModal() {
    if (!widget_) return -1;
    const WindowHandle ownerHandle = owner_ ? owner_->handle() : 0;
    if (owner_) owner_->setEnabled(false);
    show();
    QEventLoop loop;
    modalLoop_ = &loop;
    modalResult_ = 0;
    // This object may be gone once the loop returns (a window may delete itself when destroyed).
    const std::weak_ptr<int> alive = lifetime_;
    const int result = loop.exec();
    if (!alive.expired()) modalLoop_ = nullptr;
    std::lock_guard lock(registry().mutex);
    if (const auto it = registry().windows.find(ownerHandle); ownerHandle && it != registry().windows.end()) {
        it->second->setEnabled(true);
        // An owner the dialog's answer hid (sent to the tray) stays hidden.
        if (it->second->isVisible()) it->second->bringToFront();
    }
    return result;
}

void Window::endModal(int code) {
    modalResult_ = code;
    if (modalLoop_) {
        QEventLoop* loop = modalLoop_;
        modalLoop_ = nullptr;
        loop->exit(code);
    }
}

void Window::close() {
    if (widget_ && onCloseRequest()) destroy();
}

// --- messages --------------------------------------------------------------------------------------

bool Window::postMessage(WindowHandle window, const Message& message) {
    std::lock_guard lock(registry().mutex);
    const auto it = registry().windows.find(window);
    if (it == registry().windows.end() || !it->second->widget_) return false;
    QCoreApplication::postEvent(it->second->widget_.get(), new MessageEvent(message, nullptr));
    return true;
}

bool Window::postToNativeWindow(unsigned long nativeId, const Message& message) {
    WindowHandle target = 0;
    {
        std::lock_guard lock(registry().mutex);
        for (const auto& [handle, window] : registry().windows) {
            if (window->widget_ && window->widget_->winId() == nativeId) target = handle;
        }
    }
    return target && postMessage(target, message);
}

std::optional<std::intptr_t> Window::sendMessage(WindowHandle window, const Message& message,
                                                 std::chrono::milliseconds timeout) {
    auto reply = std::make_shared<SendState>();
    Window* sameThreadTarget = nullptr;
    {
        std::lock_guard lock(registry().mutex);
        const auto it = registry().windows.find(window);
        if (it == registry().windows.end() || !it->second->widget_) return std::nullopt;
        QWidget* target = it->second->widget_.get();
        if (QThread::currentThread() == target->thread())
            sameThreadTarget = it->second;
        else
            QCoreApplication::postEvent(target, new MessageEvent(message, reply));
    }
    if (sameThreadTarget) {
        // On the window's own thread the message is handled at once, as a direct call.
        sameThreadTarget->deliver(message, reply);
        return reply->result;
    }
    std::unique_lock lock(reply->mutex);
    using Stage = SendState::Stage;
    if (!reply->changed.wait_for(
            lock, timeout, [&] { return reply->stage == Stage::Done || reply->stage == Stage::Dropped; })) {
        if (reply->stage == Stage::Pending) {
            reply->stage = Stage::Dropped;  // the window will skip it: the sender no longer waits
            return std::nullopt;
        }
        reply->changed.wait(lock, [&] { return reply->stage == Stage::Done; });
    }
    if (reply->stage != Stage::Done) return std::nullopt;
    return reply->result;
}

void Window::deliver(const Message& message, const std::shared_ptr<SendState>& reply) {
    if (reply) {
        std::lock_guard lock(reply->mutex);
        if (reply->stage != SendState::Stage::Pending) return;
        reply->stage = SendState::Stage::Running;
    }
    std::optional<std::intptr_t> result = handleMessage(message);
    if (reply) reply->finish(SendState::Stage::Done, result.value_or(0));
    if (!result && message.id == kCloseMessage) close();
}

std::optional<std::intptr_t> Window::handleMessage(const Message& /*message*/) {
    return std::nullopt;
}

// --- native features -------------------------------------------------------------------------------

void Window::setTimer(int id, int intervalMs) {
    if (!widget_) return;
    killTimer(id);
    timers_[id] = widget_->startTimer(std::max(0, intervalMs), Qt::PreciseTimer);
}

void Window::killTimer(int id) {
    const auto it = timers_.find(id);
    if (it == timers_.end()) return;
    if (widget_) widget_->killTimer(it->second);
    timers_.erase(it);
}

void Window::setCapture() {
    if (widget_) widget_->grabMouse();
}

void Window::releaseCapture() {
    if (widget_) widget_->releaseMouse();
}

void Window::setKeyboardCapture(bool on) {
    if (!widget_) return;
    if (on)
        widget_->grabKeyboard();
    else if (QWidget::keyboardGrabber() == widget_.get())
        widget_->releaseKeyboard();
}

void Window::setCursor(CursorShape shape) {
    if (widget_) widget_->setCursor(qtCursor(shape));
}

void Window::setEnabled(bool enabled) {
    if (widget_) widget_->setEnabled(enabled);
}

bool Window::isEnabled() const {
    return widget_ && widget_->isEnabled();
}

// A mapped window changes its state through the window manager; changing Qt's flags instead would
// give it a new native window. A hidden one takes the flag and gets it when it is shown.
void Window::changeFlag(Qt::WindowType flag, const char* netWmState, bool on) {
    if (!widget_ || widget_->windowFlags().testFlag(flag) == on) return;
    if (widget_->isVisible() && x11::setNetWmState(widget_->winId(), netWmState, on)) return;
    const bool visible = widget_->isVisible();
    widget_->setWindowFlag(flag, on);
    applyNativeSettings();
    if (visible) widget_->show();
    updateKeptAbove();
}

void Window::setTopMost(bool topMost) {
    changeFlag(Qt::WindowStaysOnTopHint, "_NET_WM_STATE_ABOVE", topMost);
}

void Window::setToolWindow(bool toolWindow) {
    changeFlag(Qt::Tool, "_NET_WM_STATE_SKIP_TASKBAR", toolWindow);
}

void Window::setShape(const QRegion& region) {
    shape_ = region;
    applyShape();
}

void Window::clearShape() {
    shape_.reset();
    applyShape();
}

void Window::applyShape() {
    if (!widget_) return;
    const bool soft = (style_ & kStyleSoftShape) && shape_ && hasCompositor();
    if (soft) {
        widget_->clearMask();
        x11::setInputRegion(widget_->winId(), &*shape_);
    } else {
        if (shape_)
            widget_->setMask(*shape_);
        else
            widget_->clearMask();
        if (softShape_) x11::setInputRegion(widget_->winId(), nullptr);
    }
    if (soft || softShape_) widget_->update();
    softShape_ = soft;
}

bool Window::hasCompositor() {
    return x11::hasCompositor();
}

void Window::updateLayered(const QImage& picture, const QRegion& mouseArea) {
    layered_ = picture;
    layeredMouseArea_ = mouseArea;
    if (!hasCompositor() && backdrop_.isNull()) setShape(opaqueRegion(picture) + mouseArea);
    if (widget_) widget_->update();
}

void Window::setBackdrop(const QImage& picture) {
    backdrop_ = picture;
    onCompositorChanged(hasCompositor());
}

void Window::setBackdropFromOwner() {
    if (!widget_ || !owner_ || !owner_->widget_) return;
    owner_->paintManager().mouseLeave();  // covered now: no control of the owner stays hot
    const QPoint offset = widget_->geometry().topLeft() - owner_->widget_->geometry().topLeft();
    setBackdrop(owner_->widget_->grab(QRect(offset, widget_->size())).toImage());
}

void Window::onCompositorChanged(bool compositor) {
    if (!widget_ || !(style_ & kStyleLayered)) return;
    if (compositor || !backdrop_.isNull())
        clearShape();
    else if (!layered_.isNull())
        setShape(opaqueRegion(layered_) + layeredMouseArea_);
    // (a manager-rendered picture is shaped again when it is painted)
    widget_->update();
}

void Window::applyWindowInfo() {
    if (!widget_) return;
    const WindowInfo& info = manager_->windowInfo();
    if (!info.minSize.isEmpty()) widget_->setMinimumSize(info.minSize);
    if (!info.maxSize.isEmpty()) widget_->setMaximumSize(info.maxSize);
    if (!info.size.isEmpty()) widget_->resize(info.size);
    widget_->setWindowOpacity(info.opacity / 255.0);
    // A hidden widget reports its new size only when shown; the layout needs it now.
    manager_->setClientSize(widget_->size());
}

void Window::setGeometry(const QRect& geometry) {
    if (!widget_) return;
    widget_->setGeometry(geometry);
    manager_->setClientSize(widget_->size());
}

QRect Window::geometry() const {
    return widget_ ? widget_->geometry() : QRect();
}

void Window::minimize() {
    if (widget_) widget_->showMinimized();
}

void Window::restore() {
    if (widget_) widget_->showNormal();
}

bool Window::isMinimized() const {
    return widget_ && widget_->isMinimized();
}

void Window::bringToFront() {
    if (!widget_) return;
    widget_->show();
    widget_->raise();
    widget_->activateWindow();
}

void Window::invalidate(const QRect& rect) {
    if (widget_) widget_->update(rect);
}

void Window::onOwnerMinimized(bool minimized) {
    if (minimized && isVisible()) {
        hiddenWithOwner_ = true;
        hide();
    } else if (!minimized && hiddenWithOwner_) {
        hiddenWithOwner_ = false;
        show(false);
    }
}

HitTest Window::hitTest(const QPoint& client) const {
    const WindowInfo& info = manager_->windowInfo();
    const QSize size = manager_->clientSize();
    const QMargins box = info.sizeBox;
    if (!box.isNull()) {
        const bool left = client.x() < box.left();
        const bool right = client.x() >= size.width() - box.right();
        const bool top = client.y() < box.top();
        const bool bottom = client.y() >= size.height() - box.bottom();
        if (top && left) return HitTest::TopLeft;
        if (top && right) return HitTest::TopRight;
        if (bottom && left) return HitTest::BottomLeft;
        if (bottom && right) return HitTest::BottomRight;
        if (left) return HitTest::Left;
        if (right) return HitTest::Right;
        if (top) return HitTest::Top;
        if (bottom) return HitTest::Bottom;
    }
    const QRect caption = info.caption;
    if (client.x() >= caption.left() && client.x() < size.width() - caption.right() &&
        client.y() >= caption.top() && client.y() < caption.bottom()) {
        const Control* hit = manager_->findControlAt(client);
        if (!hit || !hit->isA("Button")) return HitTest::Caption;
    }
    return HitTest::Client;
}

#if VEXA_TEST_SEAMS
namespace {

// "name\ttext\ttooltip" of each named control under `control`, a line each (tabs and line ends in
// the texts become spaces).
void CollectTexts(const Control& control, std::string& out) {
    if (!control.name().empty()) {
        for (const std::string* field : {&control.name(), &control.text(), &control.toolTip()}) {
            if (field != &control.name()) out += '\t';
            for (char c : *field) out += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
        }
        out += '\n';
    }
    if (const auto* container = dynamic_cast<const Container*>(&control)) {
        for (int i = 0; i < container->count(); ++i) CollectTexts(*container->itemAt(i), out);
    }
}

}  // namespace
#endif

void Window::onPaint(QPainter& painter, const QRect& dirty) {
#if VEXA_TEST_SEAMS
    // Tests read the controls' texts from the window property _VEXA_CONTROL_TEXTS (kept up to date
    // at each paint) when the program starts with VEXA_PUBLISH_CONTROL_TEXTS=1.
    static const bool publish = std::getenv("VEXA_PUBLISH_CONTROL_TEXTS") != nullptr;
    if (publish && widget_ && manager_->root()) {
        std::string texts;
        CollectTexts(*manager_->root(), texts);
        if (texts != publishedTexts_) {
            x11::setTextProperty(widget_->winId(), "_VEXA_CONTROL_TEXTS", texts);
            publishedTexts_ = std::move(texts);
        }
    }
#endif
    if (!layered_.isNull()) {
        painter.drawImage(QPoint(0, 0), hasCompositor() || backdrop_.isNull()
                                            ? layered_
                                            : composeOverBackdrop(backdrop_, layered_));
        return;
    }
    if (manager_->windowInfo().layered && !hasCompositor() && !backdrop_.isNull()) {
        // No compositor, but what lies below is known: the picture over it, opaque.
        painter.drawImage(QPoint(0, 0), composeOverBackdrop(backdrop_, manager_->render()));
        return;
    }
    if (manager_->windowInfo().layered && !hasCompositor()) {
        // No compositor: the drawn pixels become the window's shape.
        const QImage picture = manager_->render();
        const QRegion shape = opaqueRegion(picture);
        if (widget_ && widget_->mask() != shape) widget_->setMask(shape);
        painter.drawImage(QPoint(0, 0), picture);
        return;
    }
    manager_->paint(painter, dirty);
}

QImage composeOverBackdrop(const QImage& backdrop, const QImage& layer) {
    QImage out(layer.size(), QImage::Format_RGB32);
    out.fill(Qt::black);
    QPainter painter(&out);
    painter.drawImage(QPoint(0, 0), backdrop);
    painter.drawImage(QPoint(0, 0), layer);
    return out;
}

CursorShape cursorForHitTest(HitTest code) {
    return resizeCursor(code);
}

}  // namespace vexa::toolkit
