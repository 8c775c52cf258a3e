#include "toolkit/scroll_bar.h"

#include <QPainter>

#include <algorithm>

namespace vexa::toolkit {

namespace {
constexpr int kMinThumb = 16;
constexpr int kWheelStep = 40;
}  // namespace

ScrollBar::ScrollBar() {
    setBkColor(QColor(0, 0, 0, 0));
}

void ScrollBar::setRange(int range, int page) {
    range_ = std::max(0, range);
    page_ = std::max(0, page);
    pos_ = std::clamp(pos_, 0, range_);
    invalidate();
}

void ScrollBar::setPosition(int pos) {
    pos = std::clamp(pos, 0, range_);
    if (pos == pos_) return;
    pos_ = pos;
    invalidate();
}

void ScrollBar::scrollTo(int pos) {
    const int old = pos_;
    setPosition(pos);
    if (pos_ != old && onScroll_) onScroll_(pos_);
}

bool ScrollBar::setAttribute(std::string_view name, std::string_view value) {
    if (name == "thumbcolor" || name == "thumbhotcolor" || name == "thumbpushedcolor") {
        const auto c = parseColor(value);
        if (!c) return false;
        (name == "thumbcolor"      ? thumbColor_
         : name == "thumbhotcolor" ? thumbHotColor_
                                   : thumbPushedColor_) = *c;
        invalidate();
        return true;
    }
    return Control::setAttribute(name, value);
}

QRect ScrollBar::thumbRect() const {
    const QRect track = rect();
    if (range_ <= 0 || track.height() <= 0) return {};
    const int total = range_ + page_;
    const int length = std::clamp(track.height() * page_ / std::max(1, total),
                                  std::min(kMinThumb, track.height()), track.height());
    const int travel = track.height() - length;
    const int top = track.top() + static_cast<int>(static_cast<long long>(travel) * pos_ / range_);
    return QRect(track.left(), top, track.width(), length);
}

void ScrollBar::doEvent(ControlEvent& event) {
    switch (event.type) {
        case EventType::MouseEnter:
        case EventType::MouseLeave:
            hot_ = event.type == EventType::MouseEnter;
            invalidate();
            return;
        case EventType::ButtonDown: {
            const QRect thumb = thumbRect();
            if (thumb.contains(event.pos)) {
                dragging_ = true;
                dragStartY_ = event.pos.y();
                dragStartPos_ = pos_;
            } else if (!thumb.isNull()) {
                scrollTo(pos_ + (event.pos.y() < thumb.top() ? -page_ : page_));
            }
            invalidate();
            return;
        }
        case EventType::MouseMove:
            if (dragging_) {
                const int travel = rect().height() - thumbRect().height();
                if (travel > 0) scrollTo(dragStartPos_ + (event.pos.y() - dragStartY_) * range_ / travel);
            }
            return;
        case EventType::ButtonUp:
            dragging_ = false;
            invalidate();
            return;
        case EventType::ScrollWheel:
            scrollTo(pos_ - event.wheelDelta * kWheelStep / 120);
            return;
        default:
            Control::doEvent(event);
    }
}

void ScrollBar::paintStatusImage(QPainter& painter) {
    const QRect thumb = thumbRect();
    if (thumb.isNull()) return;
    const QColor color = dragging_ ? thumbPushedColor_ : hot_ ? thumbHotColor_ : thumbColor_;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    const QRectF box = QRectF(thumb).adjusted(2, 2, -2, -2);
    const qreal radius = std::min(box.width(), box.height()) / 2;
    painter.drawRoundedRect(box, radius, radius);
    painter.restore();
}

}  // namespace vexa::toolkit
