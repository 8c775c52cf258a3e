#include "toolkit/container.h"

#include "toolkit/paint_manager.h"

#include <QPainter>

#include <algorithm>

namespace vexa::toolkit {

Container::Container() = default;

Container::~Container() {
    // Borrowed children outlive us; they must not keep pointing at this parent.
    for (auto& child : children_) {
        if (!child.owned) child.control->attach(nullptr, nullptr);
    }
}

bool Container::isA(std::string_view name) const {
    return name == "Container" || Control::isA(name);
}

Control* Container::itemAt(int index) const {
    if (index < 0 || index >= count()) return nullptr;
    return children_[static_cast<std::size_t>(index)].control;
}

int Container::indexOf(const Control* child) const {
    for (int i = 0; i < count(); ++i) {
        if (children_[static_cast<std::size_t>(i)].control == child) return i;
    }
    return -1;
}

Control* Container::add(std::unique_ptr<Control> child) {
    return addAt(std::move(child), count());
}

Control* Container::addAt(std::unique_ptr<Control> child, int index) {
    if (!child) return nullptr;
    Control* raw = child.get();
    index = std::clamp(index, 0, count());
    children_.insert(children_.begin() + index, Child{raw, std::move(child)});
    raw->attach(manager(), this);
    needLayout();
    return raw;
}

void Container::addBorrowed(Control* child) {
    if (!child) return;
    children_.push_back(Child{child, nullptr});
    child->attach(manager(), this);
    needLayout();
}

std::unique_ptr<Control> Container::take(Control* child) {
    const int index = indexOf(child);
    if (index < 0) return nullptr;
    auto owned = std::move(children_[static_cast<std::size_t>(index)].owned);
    children_.erase(children_.begin() + index);
    if (manager()) manager()->controlRemoved(child);
    child->attach(nullptr, nullptr);
    childRemoved(child);
    needLayout();
    invalidate();
    return owned;
}

bool Container::remove(Control* child) {
    if (indexOf(child) < 0) return false;
    take(child);  // an owned child is destroyed here, a borrowed one is just detached
    return true;
}

void Container::removeAll() {
    while (!children_.empty()) take(children_.back().control);
    setScrollPos(0);
}

void Container::setInset(const QMargins& inset) {
    inset_ = inset;
    needLayout();
}

void Container::setChildPadding(int padding) {
    childPadding_ = padding;
    needLayout();
}

void Container::enableScrollBar(bool vertical) {
    if (vertical == static_cast<bool>(scrollBar_)) return;
    if (!vertical) {
        scrollBar_.reset();
        scrollBarStyled_ = false;
        scrollPos_ = 0;
    } else {
        scrollBar_ = std::make_unique<ScrollBar>();
        scrollBar_->setVisible(false);
        scrollBar_->attach(manager(), this);
        scrollBar_->onScroll([this](int pos) { setScrollPos(pos); });
        styleScrollBar();
    }
    needLayout();
}

void Container::setScrollPos(int pos) {
    pos = std::clamp(pos, 0, scrollRange_);
    if (pos == scrollPos_) return;
    scrollPos_ = pos;
    if (scrollBar_) scrollBar_->setPosition(pos);
    relayout();
    invalidate();
}

void Container::scrollIntoView(const Control* child) {
    if (indexOf(child) < 0 || !scrollBar_) return;
    const QRect area = innerRect();
    const QRect r = child->rect();
    if (r.top() < area.top())
        setScrollPos(scrollPos_ - (area.top() - r.top()));
    else if (r.bottom() > area.bottom())
        setScrollPos(scrollPos_ + (r.bottom() - area.bottom()));
}

bool Container::setAttribute(std::string_view name, std::string_view value) {
    if (name == "inset") {
        const auto m = parseMargins(value);
        if (!m) return false;
        setInset(*m);
    } else if (name == "childpadding") {
        const auto n = parseInt(value);
        if (!n || *n < 0) return false;
        setChildPadding(*n);
    } else if (name == "mousechild") {
        const auto b = parseBool(value);
        if (!b) return false;
        setMouseChildEnabled(*b);
    } else if (name == "vscrollbar") {
        const auto b = parseBool(value);
        if (!b) return false;
        enableScrollBar(*b);
    } else if (name == "vscrollbarstyle") {
        if (!scrollBar_) return false;
        scrollBar_->applyAttributeList(value);
    } else {
        return Control::setAttribute(name, value);
    }
    return true;
}

// The window's <Default name="ScrollBar"> styles the bar once a window is known.
void Container::styleScrollBar() {
    if (!scrollBar_ || scrollBarStyled_ || !manager()) return;
    scrollBarStyled_ = true;
    if (const auto* defaults = manager()->defaultAttributes("ScrollBar"))
        scrollBar_->applyAttributeList(*defaults);
}

void Container::attach(PaintManager* manager, Control* parent) {
    Control::attach(manager, parent);
    if (scrollBar_) scrollBar_->attach(manager, this);
    styleScrollBar();
    for (auto& child : children_) child.control->attach(manager, this);
}

QRect Container::innerRect() const {
    QRect area = rect().marginsRemoved(inset_);
    if (scrollBar_ && scrollBar_->isVisible()) area.setRight(area.right() - scrollBar_->barWidth());
    return area;
}

int Container::clampedSize(int size, int minimum, int maximum) {
    return std::max(0, std::min(std::max(size, minimum), maximum));
}

void Container::placeFloat(Control& child) const {
    const QRect pos = child.floatPos();
    const int width = child.fixedWidth() > 0 ? child.fixedWidth() : pos.width();
    const int height = child.fixedHeight() > 0 ? child.fixedHeight() : pos.height();
    child.setPos(QRect(rect().topLeft() + pos.topLeft(), QSize(width, height)));
}

void Container::setPos(const QRect& rect) {
    Control::setPos(rect);
    relayout();
}

void Container::relayout() {
    if (!scrollBar_) {
        layoutChildren(innerRect());
        return;
    }
    // Lay out once without the bar; when the content is taller, again beside the bar.
    scrollBar_->setVisible(false);
    int area = innerRect().height();
    int content = layoutChildren(innerRect().translated(0, -scrollPos_));
    if (content > area) {
        scrollBar_->setVisible(true);
        area = innerRect().height();
        content = layoutChildren(innerRect().translated(0, -scrollPos_));
    }
    scrollRange_ = std::max(0, content - area);
    if (scrollPos_ > scrollRange_) {
        scrollPos_ = scrollRange_;
        content = layoutChildren(innerRect().translated(0, -scrollPos_));
    }
    const QRect inner = rect().marginsRemoved(inset());
    scrollBar_->setPos(QRect(inner.right() + 1 - scrollBar_->barWidth(), inner.top(), scrollBar_->barWidth(),
                             inner.height()));
    scrollBar_->setRange(scrollRange_, area);
    scrollBar_->setPosition(scrollPos_);
}

int Container::layoutChildren(const QRect& area) {
    int bottom = 0;
    for (auto& child : children_) {
        Control& c = *child.control;
        if (!c.isVisible()) continue;
        if (c.isFloat()) {
            placeFloat(c);
            continue;
        }
        QRect box = area.marginsRemoved(c.padding());
        const QSize want = c.estimateSize(box.size());
        if (want.width() > 0) box.setWidth(want.width());
        if (want.height() > 0) box.setHeight(want.height());
        box.setWidth(clampedSize(box.width(), c.minWidth(), c.maxWidth()));
        box.setHeight(clampedSize(box.height(), c.minHeight(), c.maxHeight()));
        c.setPos(box);
        bottom = std::max(bottom, box.bottom() + 1 + c.padding().bottom() - area.top());
    }
    return bottom;
}

Control* Container::findAt(const QPoint& point) {
    if (!isVisible() || !rect().contains(point)) return nullptr;
    if (scrollBar_ && scrollBar_->isVisible()) {
        if (Control* bar = scrollBar_->findAt(point)) return bar;
    }
    if (mouseChildEnabled_) {
        const QRect clip = rect().marginsRemoved(inset_);
        for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
            Control& c = *it->control;
            if (!c.isFloat() && !clip.contains(point)) continue;
            if (Control* hit = c.findAt(point)) return hit;
        }
    }
    return isMouseEnabled() ? this : nullptr;
}

bool Container::forEach(const std::function<bool(Control&)>& visit) {
    if (!visit(*this)) return false;
    for (auto& child : children_) {
        if (!child.control->forEach(visit)) return false;
    }
    return true;
}

void Container::paint(QPainter& painter, const QRect& dirty) {
    if (!isVisible() || !dirty.intersects(rect())) return;
    Control::paint(painter, dirty);
    painter.save();
    painter.setClipRect(rect().intersected(dirty), Qt::IntersectClip);
    const QRect clip = rect().marginsRemoved(inset_).intersected(dirty);
    for (auto& child : children_) {
        Control& c = *child.control;
        if (!c.isVisible()) continue;
        if (c.isFloat()) {
            c.paint(painter, dirty);
        } else if (clip.intersects(c.rect())) {
            painter.save();
            painter.setClipRect(clip, Qt::IntersectClip);
            c.paint(painter, clip);
            painter.restore();
        }
    }
    if (scrollBar_ && scrollBar_->isVisible()) scrollBar_->paint(painter, dirty);
    painter.restore();
}

void Container::doEvent(ControlEvent& event) {
    if (event.type == EventType::ScrollWheel && scrollBar_ && scrollRange_ > 0) {
        scrollBar_->handleEvent(event);
        return;
    }
    Control::doEvent(event);
}

// --- flows -----------------------------------------------------------------------------------------

std::vector<Control*> Container::flowChildren() {
    std::vector<Control*> flow;
    for (int i = 0; i < count(); ++i) {
        Control* c = itemAt(i);
        if (!c->isVisible()) continue;
        if (c->isFloat())
            placeFloat(*c);
        else
            flow.push_back(c);
    }
    return flow;
}

bool VerticalLayout::isA(std::string_view name) const {
    return name == "VerticalLayout" || Container::isA(name);
}

int VerticalLayout::layoutChildren(const QRect& area) {
    const std::vector<Control*> flow = flowChildren();
    int fixed = 0;
    int stretching = 0;
    std::vector<int> heights(flow.size());
    for (std::size_t i = 0; i < flow.size(); ++i) {
        Control& c = *flow[i];
        heights[i] = c.estimateSize(area.size()).height();
        fixed += c.padding().top() + c.padding().bottom() + heights[i];
        if (heights[i] == 0) ++stretching;
    }
    if (!flow.empty()) fixed += childPadding() * static_cast<int>(flow.size() - 1);
    const int share = stretching ? std::max(0, area.height() - fixed) / stretching : 0;
    int y = area.top();
    for (std::size_t i = 0; i < flow.size(); ++i) {
        Control& c = *flow[i];
        const QMargins pad = c.padding();
        const int height = clampedSize(heights[i] ? heights[i] : share, c.minHeight(), c.maxHeight());
        const int wantWidth = c.estimateSize(area.size()).width();
        const int width = clampedSize(wantWidth ? wantWidth : area.width() - pad.left() - pad.right(),
                                      c.minWidth(), c.maxWidth());
        y += pad.top();
        c.setPos(QRect(area.left() + pad.left(), y, width, height));
        y += height + pad.bottom() + childPadding();
    }
    if (!flow.empty()) y -= childPadding();
    return y - area.top();
}

bool HorizontalLayout::isA(std::string_view name) const {
    return name == "HorizontalLayout" || Container::isA(name);
}

int HorizontalLayout::layoutChildren(const QRect& area) {
    const std::vector<Control*> flow = flowChildren();
    int fixed = 0;
    int stretching = 0;
    std::vector<int> widths(flow.size());
    for (std::size_t i = 0; i < flow.size(); ++i) {
        Control& c = *flow[i];
        widths[i] = c.estimateSize(area.size()).width();
        fixed += c.padding().left() + c.padding().right() + widths[i];
        if (widths[i] == 0) ++stretching;
    }
    if (!flow.empty()) fixed += childPadding() * static_cast<int>(flow.size() - 1);
    const int share = stretching ? std::max(0, area.width() - fixed) / stretching : 0;
    int x = area.left();
    int bottom = 0;
    for (std::size_t i = 0; i < flow.size(); ++i) {
        Control& c = *flow[i];
        const QMargins pad = c.padding();
        const int width = clampedSize(widths[i] ? widths[i] : share, c.minWidth(), c.maxWidth());
        const int wantHeight = c.estimateSize(area.size()).height();
        const int height = clampedSize(wantHeight ? wantHeight : area.height() - pad.top() - pad.bottom(),
                                       c.minHeight(), c.maxHeight());
        x += pad.left();
        c.setPos(QRect(x, area.top() + pad.top(), width, height));
        bottom = std::max(bottom, pad.top() + height + pad.bottom());
        x += width + pad.right() + childPadding();
    }
    return bottom;
}

bool TabLayout::isA(std::string_view name) const {
    return name == "TabLayout" || Container::isA(name);
}

bool TabLayout::selectItem(int index) {
    if (index < 0 || index >= count()) return false;
    const int old = current_;
    current_ = index;
    for (int i = 0; i < count(); ++i) itemAt(i)->setVisible(i == index);
    if (old != index) notify("tabselect", static_cast<std::uintptr_t>(index), old);
    return true;
}

void TabLayout::onBuilt() {
    for (int i = 0; i < count(); ++i) itemAt(i)->setVisible(i == current_);
}

bool TabLayout::setAttribute(std::string_view name, std::string_view value) {
    if (name == "selectedid") {
        const auto n = parseInt(value);
        if (!n || *n < 0) return false;
        current_ = *n;
        return true;
    }
    return Container::setAttribute(name, value);
}

}  // namespace vexa::toolkit
