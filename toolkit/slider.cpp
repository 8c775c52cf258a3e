#include "toolkit/slider.h"

#include "toolkit/image_string.h"
#include "toolkit/paint_manager.h"

#include <QPainter>

#include <algorithm>

namespace vexa::toolkit {

Slider::Slider() {
    cursor_ = CursorShape::Hand;
}

void Slider::setRange(int minimum, int maximum) {
    if (maximum < minimum) return;
    min_ = minimum;
    max_ = maximum;
    value_ = std::clamp(value_, min_, max_);
    invalidate();
}

void Slider::setValue(int value) {
    value = std::clamp(value, min_, max_);
    if (value == value_) return;
    value_ = value;
    invalidate();
}

bool Slider::setAttribute(std::string_view name, std::string_view value) {
    if (name == "min" || name == "max" || name == "value" || name == "step") {
        const auto n = parseInt(value);
        if (!n) return false;
        if (name == "min")
            setRange(*n, std::max(*n, max_));
        else if (name == "max")
            setRange(std::min(min_, *n), *n);
        else if (name == "value")
            setValue(*n);
        else if (*n > 0)
            step_ = *n;
        else
            return false;
    } else if (name == "imm") {
        const auto b = parseBool(value);
        if (!b) return false;
        immediate_ = *b;
    } else if (name == "thumbsize") {
        const auto s = parseSize(value);
        if (!s) return false;
        thumbSize_ = *s;
        invalidate();
    } else if (name == "foreimage" || name == "thumbimage" || name == "thumbhotimage" ||
               name == "thumbpushedimage") {
        std::string& field = name == "foreimage"       ? foreImage_
                             : name == "thumbimage"    ? thumbImage_
                             : name == "thumbhotimage" ? thumbHotImage_
                                                       : thumbPushedImage_;
        field = std::string(value);
        invalidate();
    } else if (name == "hor") {
        return parseBool(value).has_value();  // the skin's sliders are horizontal
    } else {
        return Control::setAttribute(name, value);
    }
    return true;
}

QRect Slider::thumbRect() const {
    const QRect box = rect();
    const int travel = std::max(0, box.width() - thumbSize_.width());
    const int span = max_ - min_;
    const int offset =
        span > 0 ? static_cast<int>(static_cast<long long>(travel) * (value_ - min_) / span) : 0;
    return QRect(box.left() + offset, box.top() + (box.height() - thumbSize_.height()) / 2,
                 thumbSize_.width(), thumbSize_.height());
}

int Slider::valueAt(int x) const {
    const int travel = std::max(1, rect().width() - thumbSize_.width());
    const int offset = std::clamp(x - rect().left() - thumbSize_.width() / 2, 0, travel);
    // Rounded to the nearest value so that the thumb lands under the pointer.
    return min_ +
           static_cast<int>((static_cast<long long>(offset) * (max_ - min_) * 2 + travel) / (2 * travel));
}

void Slider::changeTo(int value, bool notifyNow) {
    const int old = value_;
    setValue(value);
    if (notifyNow && value_ != old) notify("valuechanged");
}

void Slider::doEvent(ControlEvent& event) {
    if (!isEnabled() && event.type != EventType::MouseLeave) {
        Control::doEvent(event);
        return;
    }
    switch (event.type) {
        case EventType::MouseEnter:
        case EventType::MouseLeave:
            hot_ = event.type == EventType::MouseEnter;
            invalidate();
            return;
        case EventType::ButtonDown:
        case EventType::DoubleClick:
            dragging_ = true;
            valueAtPress_ = value_;
            if (manager()) manager()->setCapture(this);
            changeTo(valueAt(event.pos.x()), immediate_);
            return;
        case EventType::MouseMove:
            if (dragging_) changeTo(valueAt(event.pos.x()), immediate_);
            return;
        case EventType::ButtonUp:
            if (!dragging_) return;
            dragging_ = false;
            if (manager()) manager()->releaseCapture();
            {
                const int reported = immediate_ ? value_ : valueAtPress_;
                setValue(valueAt(event.pos.x()));
                // Without "imm" the release reports the whole drag; with it, only what changed since.
                if (value_ != reported) notify("valuechanged");
            }
            invalidate();
            return;
        case EventType::ScrollWheel:
            changeTo(value_ + (event.wheelDelta > 0 ? step_ : -step_), true);
            return;
        case EventType::KeyDown:
            if (event.key == Qt::Key_Left || event.key == Qt::Key_Down) return changeTo(value_ - step_, true);
            if (event.key == Qt::Key_Right || event.key == Qt::Key_Up) return changeTo(value_ + step_, true);
            break;
        default:
            break;
    }
    Control::doEvent(event);
}

void Slider::paintBkImage(QPainter& painter) {
    drawImage(painter, bkImage(), trackFade());
    if (foreImage_.empty()) return;
    const QRect thumb = thumbRect();
    painter.save();
    painter.setClipRect(QRect(rect().topLeft(), QPoint(thumb.center().x(), rect().bottom())),
                        Qt::IntersectClip);
    drawImage(painter, foreImage_, trackFade());
    painter.restore();
}

void Slider::paintStatusImage(QPainter& painter) {
    const std::string* image = &thumbImage_;
    if (dragging_ && !thumbPushedImage_.empty())
        image = &thumbPushedImage_;
    else if (hot_ && isEnabled() && !thumbHotImage_.empty())
        image = &thumbHotImage_;
    if (image->empty() || !manager()) return;
    const ImageSpec* spec = manager()->imageSpec(*image);
    const QImage* picture = spec ? manager()->image(spec->file) : nullptr;
    if (!picture) return;
    ImageSpec thumbSpec = *spec;
    thumbSpec.dest.reset();  // the thumb image always fills the thumb rectangle
    toolkit::drawImage(painter, *picture, thumbSpec, thumbRect(), imageFade());
}

}  // namespace vexa::toolkit
