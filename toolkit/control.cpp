#include "toolkit/control.h"

#include "toolkit/image_string.h"
#include "toolkit/paint_manager.h"

#include <QPainter>
#include <QPainterPath>

namespace vexa::toolkit {

Control::Control() = default;

Control::~Control() {
    if (manager_) manager_->forgetControl(this);
}

void Control::setName(std::string name) {
    if (manager_) manager_->renameControl(this, name_, name);
    name_ = std::move(name);
}

void Control::setText(std::string text) {
    if (text == text_) return;
    text_ = std::move(text);
    qtext_ = QString::fromStdString(text_);
    invalidate();
}

void Control::setVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    needLayout();
}

bool Control::isShown() const {
    for (const Control* c = this; c; c = c->parent_) {
        if (!c->visible_) return false;
    }
    return true;
}

void Control::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    invalidate();
}

bool Control::isFocused() const {
    return manager_ && manager_->focus() == this;
}

void Control::setFocus() {
    if (manager_) manager_->setFocus(this);
}

void Control::setPos(const QRect& rect) {
    if (rect == rect_) return;
    invalidate();
    rect_ = rect;
    invalidate();
}

void Control::setPadding(const QMargins& padding) {
    padding_ = padding;
    needLayout();
}

void Control::setFixedWidth(int width) {
    if (width < 0) return;
    fixedWidth_ = width;
    needLayout();
}

void Control::setFixedHeight(int height) {
    if (height < 0) return;
    fixedHeight_ = height;
    needLayout();
}

void Control::setFloat(bool isFloat) {
    float_ = isFloat;
    needLayout();
}

void Control::setFloatPos(const QRect& pos) {
    floatPos_ = pos;
    needLayout();
}

QSize Control::estimateSize(const QSize& /*available*/) const {
    return {fixedWidth_, fixedHeight_};
}

void Control::setBkColor(const QColor& color) {
    bkColor_ = color;
    invalidate();
}

void Control::setBkImage(std::string image) {
    bkImage_ = std::move(image);
    invalidate();
}

void Control::setBorderColor(const QColor& color) {
    borderColor_ = color;
    invalidate();
}

void Control::setBorderSize(int size) {
    if (size < 0) return;
    borderSize_ = size;
    invalidate();
}

bool Control::setAttribute(std::string_view name, std::string_view value) {
    const std::string v(value);
    if (name == "name")
        setName(v);
    else if (name == "text")
        setText(v);
    else if (name == "tooltip")
        setToolTip(v);
    else if (name == "userdata")
        setUserData(v);
    else if (name == "bkimage")
        setBkImage(v);
    else if (name == "tag") {
        auto n = parseInt(value);
        if (!n) return false;
        setTag(*n);
    } else if (name == "visible" || name == "enabled" || name == "mouse" || name == "keyboard" ||
               name == "float") {
        const auto b = parseBool(value);
        if (!b) return false;
        if (name == "visible")
            setVisible(*b);
        else if (name == "enabled")
            setEnabled(*b);
        else if (name == "mouse")
            setMouseEnabled(*b);
        else if (name == "keyboard")
            setKeyboardEnabled(*b);
        else
            setFloat(*b);
    } else if (name == "width" || name == "height" || name == "minwidth" || name == "maxwidth" ||
               name == "minheight" || name == "maxheight" || name == "bordersize") {
        const auto n = parseInt(value);
        if (!n || *n < 0) return false;
        if (name == "width")
            setFixedWidth(*n);
        else if (name == "height")
            setFixedHeight(*n);
        else if (name == "minwidth")
            minWidth_ = *n;
        else if (name == "maxwidth")
            maxWidth_ = *n;
        else if (name == "minheight")
            minHeight_ = *n;
        else if (name == "maxheight")
            maxHeight_ = *n;
        else
            setBorderSize(*n);
        needLayout();
    } else if (name == "padding") {
        const auto m = parseMargins(value);
        if (!m) return false;
        setPadding(*m);
    } else if (name == "pos") {
        const auto r = parseRect(value);
        if (!r) return false;
        setFloatPos(*r);
    } else if (name == "bkcolor" || name == "bordercolor") {
        const auto c = parseColor(value);
        if (!c) return false;
        if (name == "bkcolor")
            setBkColor(*c);
        else
            setBorderColor(*c);
    } else if (name == "borderround") {
        const auto s = parseSize(value);
        if (!s) return false;
        borderRound_ = *s;
        invalidate();
    } else {
        return false;
    }
    return true;
}

void Control::applyAttributeList(std::string_view list) {
    for (const auto& [name, value] : parseAttributeList(list)) setAttribute(name, value);
}

void Control::attach(PaintManager* manager, Control* parent) {
    if (manager_ && manager_ != manager) manager_->forgetControl(this);
    parent_ = parent;
    manager_ = manager;
    if (manager_) manager_->rememberControl(this);
}

Control* Control::findAt(const QPoint& point) {
    if (!visible_ || !mouseEnabled_ || !rect_.contains(point)) return nullptr;
    return this;
}

bool Control::forEach(const std::function<bool(Control&)>& visit) {
    return visit(*this);
}

void Control::paint(QPainter& painter, const QRect& dirty) {
    if (!visible_ || !dirty.intersects(rect_)) return;
    paintBkColor(painter);
    paintBkImage(painter);
    paintStatusImage(painter);
    paintText(painter);
    paintBorder(painter);
}

void Control::invalidate() {
    if (manager_ && visible_) manager_->invalidate(rect_);
}

void Control::needLayout() {
    if (manager_) manager_->needLayout();
}

void Control::handleEvent(ControlEvent& event) {
    for (auto& handler : eventHandlers_) {
        if (!handler(event)) return;
    }
    doEvent(event);
}

bool Control::runNotifyHandlers(Notification& notification) {
    for (auto& handler : notifyHandlers_) {
        if (!handler(notification)) return false;
    }
    return true;
}

bool Control::activate() {
    return visible_ && enabled_;
}

void Control::doEvent(ControlEvent& event) {
    // Hover and focus changes concern one control each; the paint manager tells every control
    // whose state changes. Everything else bubbles up until a control handles it.
    switch (event.type) {
        case EventType::MouseEnter:
        case EventType::MouseLeave:
        case EventType::SetFocus:
        case EventType::KillFocus:
            return;
        default:
            if (parent_) parent_->handleEvent(event);
    }
}

void Control::fillRect(QPainter& painter, const QRect& rect, const QColor& color) const {
    if (!color.isValid() || color.alpha() == 0) return;
    if (borderRound_.isEmpty()) {
        painter.fillRect(rect, color);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(rect, borderRound_.width(), borderRound_.height());
    painter.restore();
}

void Control::paintBkColor(QPainter& painter) {
    fillRect(painter, rect_, bkColor_);
}

void Control::paintBkImage(QPainter& painter) {
    drawImage(painter, bkImage_);
}

void Control::paintBorder(QPainter& painter) {
    if (borderSize_ <= 0 || !borderColor_.isValid() || borderColor_.alpha() == 0) return;
    painter.save();
    const qreal half = borderSize_ / 2.0;
    const QRectF box = QRectF(rect_).adjusted(half, half, -half, -half);
    painter.setPen(QPen(borderColor_, borderSize_));
    painter.setBrush(Qt::NoBrush);
    if (borderRound_.isEmpty()) {
        painter.drawRect(box);
    } else {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.drawRoundedRect(box, borderRound_.width(), borderRound_.height());
    }
    painter.restore();
}

bool Control::drawImage(QPainter& painter, const std::string& imageString, int fade) {
    if (imageString.empty() || !manager_) return false;
    const ImageSpec* spec = manager_->imageSpec(imageString);
    if (!spec) return false;
    const QImage* image = manager_->image(spec->file);
    if (!image) return false;
    painter.save();
    painter.setClipRect(rect_, Qt::IntersectClip);
    toolkit::drawImage(painter, *image, *spec, rect_, fade);
    painter.restore();
    return true;
}

void Control::notify(const std::string& type, std::uintptr_t wparam, std::intptr_t lparam) {
    if (manager_) manager_->sendNotify(this, type, wparam, lparam);
}

}  // namespace vexa::toolkit
