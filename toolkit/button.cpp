#include "toolkit/button.h"

#include "toolkit/paint_manager.h"

#include <QPainter>

namespace vexa::toolkit {

namespace {

bool setImageAttribute(std::string_view name, std::string_view value, std::string_view wanted,
                       std::string& field) {
    if (name != wanted) return false;
    field = std::string(value);
    return true;
}

}  // namespace

Button::Button() {
    cursor_ = CursorShape::Hand;
    setAlignment(Qt::AlignCenter);
}

void Button::setNormalImage(std::string image) {
    normalImage_ = std::move(image);
    invalidate();
}
void Button::setHotImage(std::string image) {
    hotImage_ = std::move(image);
    invalidate();
}
void Button::setPushedImage(std::string image) {
    pushedImage_ = std::move(image);
    invalidate();
}
void Button::setDisabledImage(std::string image) {
    disabledImage_ = std::move(image);
    invalidate();
}

bool Button::setAttribute(std::string_view name, std::string_view value) {
    if (setImageAttribute(name, value, "normalimage", normalImage_) ||
        setImageAttribute(name, value, "hotimage", hotImage_) ||
        setImageAttribute(name, value, "pushedimage", pushedImage_) ||
        setImageAttribute(name, value, "disabledimage", disabledImage_) ||
        setImageAttribute(name, value, "focusedimage", focusedImage_) ||
        setImageAttribute(name, value, "foreimage", foreImage_)) {
        invalidate();
        return true;
    }
    if (name == "hottextcolor" || name == "pushedtextcolor" || name == "focusedtextcolor" ||
        name == "hotbkcolor" || name == "pushedbkcolor") {
        const auto c = parseColor(value);
        if (!c) return false;
        if (name == "hottextcolor")
            hotTextColor_ = *c;
        else if (name == "pushedtextcolor")
            pushedTextColor_ = *c;
        else if (name == "focusedtextcolor")
            focusedTextColor_ = *c;
        else if (name == "hotbkcolor")
            hotBkColor_ = *c;
        else
            pushedBkColor_ = *c;
        invalidate();
        return true;
    }
    if (name == "cursor") {
        if (value == "arrow")
            cursor_ = CursorShape::Arrow;
        else if (value == "hand")
            cursor_ = CursorShape::Hand;
        else
            return false;
        return true;
    }
    return Label::setAttribute(name, value);
}

bool Button::activate() {
    if (!Control::activate()) return false;
    notify("click");
    return true;
}

void Button::doEvent(ControlEvent& event) {
    switch (event.type) {
        case EventType::MouseEnter:
            hot_ = isEnabled();
            invalidate();
            return;
        case EventType::MouseLeave:
            hot_ = false;
            invalidate();
            return;
        case EventType::ButtonDown:
        case EventType::DoubleClick:
            if (!isEnabled()) return;
            pushed_ = true;
            if (manager()) manager()->setCapture(this);
            invalidate();
            return;
        case EventType::MouseMove:
            if (pushed_) {
                hot_ = rect().contains(event.pos);
                invalidate();
            }
            return;
        case EventType::ButtonUp:
            if (!pushed_) return;
            pushed_ = false;
            if (manager()) manager()->releaseCapture();
            invalidate();
            if (rect().contains(event.pos)) activate();
            return;
        case EventType::KeyDown:
            if (event.key == Qt::Key_Return || event.key == Qt::Key_Enter || event.key == Qt::Key_Space) {
                activate();
                return;
            }
            break;
        default:
            break;
    }
    Label::doEvent(event);
}

void Button::paintBkColor(QPainter& painter) {
    Label::paintBkColor(painter);
    if (!isEnabled()) return;
    if (pushed_ && pushedBkColor_.isValid())
        fillRect(painter, rect(), pushedBkColor_);
    else if ((hot_ || pushed_) && hotBkColor_.isValid())
        fillRect(painter, rect(), hotBkColor_);
}

void Button::paintStatusImage(QPainter& painter) {
    const int fade = imageFade();
    const std::string* image = &normalImage_;
    if (!isEnabled()) {
        if (!disabledImage_.empty()) image = &disabledImage_;
    } else if (pushed_ && hot_ && !pushedImage_.empty()) {
        image = &pushedImage_;
    } else if ((hot_ || pushed_) && !hotImage_.empty()) {
        image = &hotImage_;
    } else if (isFocused() && !focusedImage_.empty()) {
        image = &focusedImage_;
    }
    drawImage(painter, *image, fade);
    drawImage(painter, foreImage_, fade);
}

QColor Button::currentTextColor() const {
    if (!isEnabled()) return Label::currentTextColor();
    if (pushed_ && hot_ && pushedTextColor_.isValid()) return pushedTextColor_;
    if ((hot_ || pushed_) && hotTextColor_.isValid()) return hotTextColor_;
    if (isFocused() && focusedTextColor_.isValid()) return focusedTextColor_;
    return Label::currentTextColor();
}

// --- Option ----------------------------------------------------------------------------------------

Option::Option() {
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

Option::~Option() {
    if (manager() && !group_.empty()) manager()->leaveGroup(group_, this);
}

void Option::attach(PaintManager* manager, Control* parent) {
    if (this->manager() && this->manager() != manager && !group_.empty())
        this->manager()->leaveGroup(group_, this);
    const bool joining = manager && manager != this->manager();
    Button::attach(manager, parent);
    if (joining && !group_.empty()) {
        manager->joinGroup(group_, this);
        if (selected_) setSelected(true, false);
    }
}

void Option::setGroup(std::string group) {
    if (manager() && !group_.empty()) manager()->leaveGroup(group_, this);
    group_ = std::move(group);
    if (manager() && !group_.empty()) {
        manager()->joinGroup(group_, this);
        if (selected_) setSelected(true, false);
    }
}

void Option::setSelected(bool selected, bool notify) {
    if (selected && manager() && !group_.empty()) {
        for (Option* other : manager()->group(group_)) {
            if (other != this && other->selected_) {
                other->selected_ = false;
                other->invalidate();
            }
        }
    }
    if (selected == selected_) return;
    selected_ = selected;
    invalidate();
    if (notify) this->notify("selectchanged");
}

void Option::setSelectedImage(std::string image) {
    selectedImage_ = std::move(image);
    invalidate();
}

void Option::setSelectedHotImage(std::string image) {
    selectedHotImage_ = std::move(image);
    invalidate();
}

bool Option::setAttribute(std::string_view name, std::string_view value) {
    if (name == "group") {
        setGroup(std::string(value));
    } else if (name == "selected") {
        const auto b = parseBool(value);
        if (!b) return false;
        setSelected(*b, false);
    } else if (name == "selectedimage") {
        setSelectedImage(std::string(value));
    } else if (name == "selectedhotimage") {
        setSelectedHotImage(std::string(value));
    } else if (name == "selectedtextcolor" || name == "selectedbkcolor") {
        const auto c = parseColor(value);
        if (!c) return false;
        (name == "selectedtextcolor" ? selectedTextColor_ : selectedBkColor_) = *c;
        invalidate();
    } else {
        return Button::setAttribute(name, value);
    }
    return true;
}

bool Option::activate() {
    if (!Button::activate()) return false;
    if (group_.empty())
        setSelected(!selected_);
    else if (!selected_)
        setSelected(true);
    return true;
}

void Option::paintBkColor(QPainter& painter) {
    if (selected_ && selectedBkColor_.isValid()) {
        Label::paintBkColor(painter);
        fillRect(painter, rect(), selectedBkColor_);
        return;
    }
    Button::paintBkColor(painter);
}

void Option::paintStatusImage(QPainter& painter) {
    if (selected_ && !selectedImage_.empty()) {
        const bool hot = (hot_ || pushed_) && isEnabled();
        drawImage(painter, hot && !selectedHotImage_.empty() ? selectedHotImage_ : selectedImage_,
                  imageFade());
        return;
    }
    Button::paintStatusImage(painter);
}

QColor Option::currentTextColor() const {
    if (selected_ && isEnabled() && selectedTextColor_.isValid()) return selectedTextColor_;
    return Button::currentTextColor();
}

}  // namespace vexa::toolkit
