#include "toolkit/paint_manager.h"

#include "toolkit/button.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>

#include <algorithm>

namespace vexa::toolkit {

// Receives the wake-up events posted by other threads and delivers their notifications.
class PaintManager::Pump : public QObject {
  public:
    explicit Pump(PaintManager& owner) : owner_(owner) {}

  protected:
    void customEvent(QEvent* /*event*/) override { owner_.deliverPending(); }

  private:
    PaintManager& owner_;
};

Control* findChild(Control& root, std::string_view name) {
    Control* found = nullptr;
    root.forEach([&](Control& c) {
        if (c.name() == name) found = &c;
        return found == nullptr;
    });
    return found;
}

PaintManager::PaintManager(std::shared_ptr<SkinArchive> skin)
    : skin_(std::move(skin)), pump_(std::make_unique<Pump>(*this)) {}

PaintManager::~PaintManager() {
    pump_.reset();
    if (root_) root_->attach(nullptr, nullptr);
    root_.reset();
}

void PaintManager::attach(std::unique_ptr<Control> root) {
    if (root_) root_->attach(nullptr, nullptr);
    hot_ = capture_ = focus_ = nullptr;
    root_ = std::move(root);
    if (root_) root_->attach(this, nullptr);
    needLayout();
}

Control* PaintManager::findControl(std::string_view name) const {
    const auto it = names_.find(std::string(name));
    return it == names_.end() || it->second.empty() ? nullptr : it->second.front();
}

Control* PaintManager::findControlAt(const QPoint& point) const {
    return root_ ? root_->findAt(point) : nullptr;
}

// --- layout and painting ---------------------------------------------------------------------------

void PaintManager::setClientSize(const QSize& size) {
    if (size == size_) return;
    size_ = size;
    needLayout();
}

void PaintManager::needLayout() {
    if (layoutDirty_) return;
    layoutDirty_ = true;
    invalidate(QRect(QPoint(0, 0), size_));
}

void PaintManager::updateLayout() {
    if (!layoutDirty_) return;
    layoutDirty_ = false;
    if (root_) root_->setPos(QRect(QPoint(0, 0), size_));
    // Layout may run inside a paint; whatever it invalidated is being painted now.
    layoutDirty_ = false;
}

void PaintManager::invalidate(const QRect& rect) {
    const QRect clipped = rect.intersected(QRect(QPoint(0, 0), size_));
    if (clipped.isEmpty()) return;
    dirty_ = dirty_.united(clipped);
    if (invalidateSink_) invalidateSink_(clipped);
}

void PaintManager::paint(QPainter& painter, const QRect& dirty) {
    updateLayout();
    dirty_ = QRect();
    if (!info_.layeredImage.empty()) {
        if (const ImageSpec* spec = imageSpec(info_.layeredImage)) {
            if (const QImage* picture = image(spec->file)) {
                drawImage(painter, *picture, *spec, QRect(QPoint(0, 0), size_));
            }
        }
    }
    if (root_) root_->paint(painter, dirty);
}

QImage PaintManager::render() {
    updateLayout();
    QImage image(size_.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paint(painter, QRect(QPoint(0, 0), size_));
    return image;
}

// --- resources -------------------------------------------------------------------------------------

const QImage* PaintManager::image(const std::string& file) const {
    return skin_ ? skin_->image(file) : nullptr;
}

const ImageSpec* PaintManager::imageSpec(const std::string& imageString) {
    auto it = imageSpecs_.find(imageString);
    if (it == imageSpecs_.end()) it = imageSpecs_.emplace(imageString, parseImageString(imageString)).first;
    return it->second ? &*it->second : nullptr;
}

void PaintManager::copyStyle(const PaintManager& other) {
    fonts_ = other.fonts_;
    defaults_ = other.defaults_;
}

void PaintManager::setDefaultAttributes(std::string className, std::string attributeList) {
    defaults_[std::move(className)] = std::move(attributeList);
}

const std::string* PaintManager::defaultAttributes(std::string_view className) const {
    const auto it = defaults_.find(std::string(className));
    return it == defaults_.end() ? nullptr : &it->second;
}

// --- input -----------------------------------------------------------------------------------------

void PaintManager::dispatch(Control* target, EventType type, const QPoint& pos, int wheelDelta, int key,
                            Qt::KeyboardModifiers modifiers) {
    if (!target) return;
    ControlEvent event{type, target, pos, wheelDelta, key, modifiers};
    target->handleEvent(event);
}

// Enter and leave go to every control whose hover state changes, from the inside out on leaving
// and from the outside in on entering, so a row stays hot while the mouse is over its buttons.
void PaintManager::updateHot(Control* control, const QPoint& pos) {
    if (control == hot_) return;
    std::vector<Control*> oldChain;
    for (Control* c = hot_; c; c = c->parent()) oldChain.push_back(c);
    std::vector<Control*> newChain;
    for (Control* c = control; c; c = c->parent()) newChain.push_back(c);
    hot_ = control;
    for (Control* c : oldChain) {
        if (std::find(newChain.begin(), newChain.end(), c) == newChain.end() && live_.count(c)) {
            dispatch(c, EventType::MouseLeave, pos);
        }
    }
    for (auto it = newChain.rbegin(); it != newChain.rend(); ++it) {
        if (std::find(oldChain.begin(), oldChain.end(), *it) == oldChain.end() && live_.count(*it)) {
            dispatch(*it, EventType::MouseEnter, pos);
        }
    }
}

void PaintManager::mouseMove(const QPoint& pos) {
    if (capture_) {
        dispatch(capture_, EventType::MouseMove, pos);
        return;
    }
    Control* hit = findControlAt(pos);
    updateHot(hit, pos);
    dispatch(hit, EventType::MouseMove, pos);
}

void PaintManager::mouseLeave() {
    if (!capture_) updateHot(nullptr, QPoint(-1, -1));
}

void PaintManager::buttonDown(const QPoint& pos, bool right) {
    Control* hit = findControlAt(pos);
    updateHot(hit, pos);
    if (!hit) return;
    if (hit->wantsFocus() && hit->isEnabled()) setFocus(hit);
    dispatch(hit, right ? EventType::RightButtonDown : EventType::ButtonDown, pos);
}

void PaintManager::buttonUp(const QPoint& pos) {
    Control* target = capture_ ? capture_ : findControlAt(pos);
    dispatch(target, EventType::ButtonUp, pos);
    capture_ = nullptr;
    mouseMove(pos);
}

void PaintManager::doubleClick(const QPoint& pos) {
    Control* hit = findControlAt(pos);
    updateHot(hit, pos);
    dispatch(hit, EventType::DoubleClick, pos);
}

void PaintManager::wheel(const QPoint& pos, int delta) {
    dispatch(findControlAt(pos), EventType::ScrollWheel, pos, delta);
}

void PaintManager::keyDown(int key, Qt::KeyboardModifiers modifiers) {
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        moveFocus(key == Qt::Key_Backtab || (modifiers & Qt::ShiftModifier));
        return;
    }
    dispatch(focus_, EventType::KeyDown, QPoint(-1, -1), 0, key, modifiers);
}

void PaintManager::focusLost() {
    if (capture_) {
        // The button that was held will never see its release; let it reset.
        dispatch(capture_, EventType::ButtonUp, QPoint(-1, -1));
        capture_ = nullptr;
    }
    updateHot(nullptr, QPoint(-1, -1));
}

void PaintManager::setFocus(Control* control) {
    if (control == focus_) return;
    Control* old = focus_;
    focus_ = control;
    if (old && live_.count(old)) {
        dispatch(old, EventType::KillFocus, QPoint(-1, -1));
        old->invalidate();
    }
    if (focus_) {
        dispatch(focus_, EventType::SetFocus, QPoint(-1, -1));
        focus_->invalidate();
    }
}

void PaintManager::moveFocus(bool backwards) {
    if (!root_) return;
    std::vector<Control*> chain;
    root_->forEach([&](Control& c) {
        if (c.wantsFocus() && c.isEnabled() && c.isShown()) chain.push_back(&c);
        return true;
    });
    if (chain.empty()) return;
    auto it = std::find(chain.begin(), chain.end(), focus_);
    std::ptrdiff_t index = it == chain.end() ? (backwards ? 0 : -1) : it - chain.begin();
    const auto n = static_cast<std::ptrdiff_t>(chain.size());
    index = ((index + (backwards ? -1 : 1)) % n + n) % n;
    setFocus(chain[static_cast<std::size_t>(index)]);
}

std::string PaintManager::toolTipAt(const QPoint& pos) const {
    const Control* hit = findControlAt(pos);
    if (!hit) return {};
    std::string text = hit->toolTip();
    // Layout and program texts break lines with "\r\n"; tool tips want "\n".
    for (auto p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p)) text.erase(p, 1);
    return text;
}

CursorShape PaintManager::cursorAt(const QPoint& pos) const {
    const Control* hit = capture_ ? capture_ : findControlAt(pos);
    return hit && hit->isEnabled() ? hit->cursor() : CursorShape::Arrow;
}

// --- notifications ---------------------------------------------------------------------------------

void PaintManager::addNotifier(NotifyReceiver* receiver) {
    if (receiver && std::find(notifiers_.begin(), notifiers_.end(), receiver) == notifiers_.end()) {
        notifiers_.push_back(receiver);
    }
}

void PaintManager::removeNotifier(NotifyReceiver* receiver) {
    notifiers_.erase(std::remove(notifiers_.begin(), notifiers_.end(), receiver), notifiers_.end());
}

void PaintManager::sendNotify(Control* sender, const std::string& type, std::uintptr_t wparam,
                              std::intptr_t lparam, bool async) {
    if (async) {
        postNotify(sender, type, wparam, lparam);
        return;
    }
    Notification notification{type, sender, wparam, lparam, {}};
    if (sender && !sender->runNotifyHandlers(notification)) return;
    // A receiver may remove itself (or others) while handling; walk a copy.
    const auto receivers = notifiers_;
    for (NotifyReceiver* receiver : receivers) {
        if (std::find(notifiers_.begin(), notifiers_.end(), receiver) != notifiers_.end()) {
            receiver->notify(notification);
        }
    }
}

void PaintManager::postNotify(Control* sender, std::string type, std::uintptr_t wparam,
                              std::intptr_t lparam) {
    std::uint64_t serial = 0;
    {
        std::lock_guard lock(pendingMutex_);
        // The serial tells a live sender from a new control that later took its address.
        if (sender) {
            const auto it = live_.find(sender);
            serial = it == live_.end() ? 0 : it->second;
        }
        pending_.push_back(Pending{sender, serial, std::move(type), wparam, lparam});
    }
    QCoreApplication::postEvent(pump_.get(), new QEvent(QEvent::User));
}

void PaintManager::deliverPending() {
    std::deque<Pending> batch;
    {
        std::lock_guard lock(pendingMutex_);
        batch.swap(pending_);
    }
    for (const Pending& p : batch) {
        if (p.sender) {
            std::unique_lock lock(pendingMutex_);
            const auto it = live_.find(p.sender);
            if (it == live_.end() || it->second != p.serial) continue;
        }
        sendNotify(p.sender, p.type, p.wparam, p.lparam);
    }
}

// --- groups and bookkeeping ------------------------------------------------------------------------

void PaintManager::joinGroup(const std::string& group, Option* option) {
    auto& members = groups_[group];
    if (std::find(members.begin(), members.end(), option) == members.end()) members.push_back(option);
}

void PaintManager::leaveGroup(const std::string& group, Option* option) {
    const auto it = groups_.find(group);
    if (it == groups_.end()) return;
    std::erase(it->second, option);
}

std::vector<Option*> PaintManager::group(const std::string& group) const {
    const auto it = groups_.find(group);
    return it == groups_.end() ? std::vector<Option*>{} : it->second;
}

void PaintManager::rememberControl(Control* control) {
    {
        std::lock_guard lock(pendingMutex_);
        if (!live_.emplace(control, nextSerial_).second) return;
        ++nextSerial_;
    }
    if (!control->name().empty()) names_[control->name()].push_back(control);
}

void PaintManager::forgetControl(Control* control) {
    {
        std::lock_guard lock(pendingMutex_);
        if (live_.erase(control) == 0) return;
    }
    controlRemoved(control);
    if (!control->name().empty()) {
        const auto it = names_.find(control->name());
        if (it != names_.end()) {
            std::erase(it->second, control);
            if (it->second.empty()) names_.erase(it);
        }
    }
    if (auto* option = dynamic_cast<Option*>(control); option && !option->group().empty()) {
        leaveGroup(option->group(), option);
    }
}

void PaintManager::controlRemoved(Control* control) {
    // The control and its descendants leave the tree: drop every input pointer into it.
    for (Control** slot : {&hot_, &capture_, &focus_}) {
        for (Control* c = *slot; c; c = c->parent()) {
            if (c == control) {
                *slot = nullptr;
                break;
            }
        }
    }
}

void PaintManager::renameControl(Control* control, const std::string& oldName, const std::string& newName) {
    if (!live_.count(control)) return;
    if (!oldName.empty()) {
        const auto it = names_.find(oldName);
        if (it != names_.end()) std::erase(it->second, control);
    }
    if (!newName.empty()) names_[newName].push_back(control);
}

}  // namespace vexa::toolkit
