#include "toolkit/list.h"

#include "toolkit/paint_manager.h"

#include <QPainter>

namespace vexa::toolkit {

bool ListInfo::setAttribute(std::string_view name, std::string_view value) {
    if (name == "itemfont") {
        const auto n = parseInt(value);
        if (!n) return false;
        font = *n;
        return true;
    }
    if (name == "itemtextpadding") {
        const auto m = parseMargins(value);
        if (!m) return false;
        textPadding = *m;
        return true;
    }
    if (name == "itemalign") {
        const auto a = parseAlignment(value);
        if (!a) return false;
        alignment = *a;
        return true;
    }
    QColor* field = name == "itemtextcolor"           ? &textColor
                    : name == "itemhottextcolor"      ? &hotTextColor
                    : name == "itemselectedtextcolor" ? &selectedTextColor
                    : name == "itemdisabledtextcolor" ? &disabledTextColor
                    : name == "itembkcolor"           ? &bkColor
                    : name == "itemhotbkcolor"        ? &hotBkColor
                    : name == "itemselectedbkcolor"   ? &selectedBkColor
                                                      : nullptr;
    if (!field) return false;
    const auto c = parseColor(value);
    if (!c) return false;
    *field = *c;
    return true;
}

// --- ListItem --------------------------------------------------------------------------------------

bool ListItem::isSelected() const {
    const auto* self = dynamic_cast<const Control*>(this);
    return owner_ && owner_->currentSelection() >= 0 && owner_->currentSelection() == owner_->itemIndex(self);
}

bool ListItem::isHot() const {
    return owner_ && owner_->hotItem() == dynamic_cast<const Control*>(this);
}

bool ListItem::itemEvent(Control& self, ControlEvent& event) {
    if (!owner_) return false;
    switch (event.type) {
        case EventType::MouseEnter:
            if (self.isEnabled()) owner_->setHotItem(&self);
            return true;
        case EventType::MouseLeave:
            if (owner_->hotItem() == &self) owner_->setHotItem(nullptr);
            return true;
        case EventType::ButtonDown:
        case EventType::RightButtonDown:
            if (self.isEnabled()) {
                owner_->selectItem(owner_->itemIndex(&self));
                if (self.manager()) self.manager()->sendNotify(&self, "itemclick");
            }
            return true;
        case EventType::DoubleClick:
            if (self.isEnabled()) owner_->activateItem(&self);
            return true;
        case EventType::KeyDown:
            if (event.key == Qt::Key_Return || event.key == Qt::Key_Enter) {
                owner_->activateItem(&self);
                return true;
            }
            return false;
        default:
            return false;
    }
}

QColor ListItem::itemBkColor(const Control& self) const {
    if (!owner_) return {};
    const ListInfo& info = owner_->listInfo();
    if (isSelected() && info.selectedBkColor.isValid()) return info.selectedBkColor;
    if (isHot() && self.isEnabled() && info.hotBkColor.isValid()) return info.hotBkColor;
    return info.bkColor;
}

// --- elements ---------------------------------------------------------------------------------------

void ListLabelElement::attach(PaintManager* manager, Control* parent) {
    Label::attach(manager, parent);
    findOwner(parent);
}

void ListLabelElement::doEvent(ControlEvent& event) {
    if (!itemEvent(*this, event)) Label::doEvent(event);
}

void ListLabelElement::paint(QPainter& painter, const QRect& dirty) {
    if (!isVisible() || !dirty.intersects(rect())) return;
    if (!owner()) {
        Label::paint(painter, dirty);
        return;
    }
    const ListInfo& info = owner()->listInfo();
    fillRect(painter, rect(), itemBkColor(*this));
    paintBkImage(painter);
    if (text().empty() || !manager()) return;
    QColor color = info.textColor;
    if (!isEnabled())
        color = info.disabledTextColor;
    else if (isSelected() && info.selectedTextColor.isValid())
        color = info.selectedTextColor;
    else if (isHot() && info.hotTextColor.isValid())
        color = info.hotTextColor;
    painter.setFont(manager()->font(font() >= 0 ? font() : info.font));
    painter.setPen(color);
    const QMargins pad = textPadding().isNull() ? info.textPadding : textPadding();
    painter.drawText(rect().marginsRemoved(pad), info.alignment | Qt::TextSingleLine, qtext());
}

void ListContainerElement::attach(PaintManager* manager, Control* parent) {
    HorizontalLayout::attach(manager, parent);
    findOwner(parent);
}

void ListContainerElement::doEvent(ControlEvent& event) {
    if (!itemEvent(*this, event)) HorizontalLayout::doEvent(event);
}

void ListContainerElement::paintBkColor(QPainter& painter) {
    HorizontalLayout::paintBkColor(painter);
    fillRect(painter, rect(), itemBkColor(*this));
}

// --- List ------------------------------------------------------------------------------------------

List::List() {
    enableScrollBar(true);
}

bool List::selectItem(int index, bool notify) {
    Control* item = itemAt(index);
    if (index >= 0 && (!item || !item->isEnabled())) return false;
    const int old = currentSelection();
    if (index == old) return true;
    if (selected_) selected_->invalidate();
    selected_ = item;
    if (item) {
        item->invalidate();
        scrollIntoView(item);
    }
    if (notify) sendSelection(index, old);
    return true;
}

void List::sendSelection(int index, int old) {
    if (manager()) manager()->sendNotify(this, "itemselect", static_cast<std::uintptr_t>(index), old);
}

void List::setHotItem(Control* item) {
    if (item == hot_) return;
    if (hot_) hot_->invalidate();
    hot_ = item;
    if (hot_) hot_->invalidate();
}

void List::activateItem(Control* item) {
    if (!item || !item->isEnabled() || !manager()) return;
    manager()->sendNotify(item, "itemactivate");
}

void List::ensureVisible(int index) {
    if (Control* item = itemAt(index)) scrollIntoView(item);
}

bool List::setAttribute(std::string_view name, std::string_view value) {
    if (info_.setAttribute(name, value)) {
        invalidate();
        return true;
    }
    if (name == "header") return true;  // lists never show a header row
    if (name == "multiselect" || name == "dragselect") return parseBool(value).has_value();
    return VerticalLayout::setAttribute(name, value);
}

void List::doEvent(ControlEvent& event) {
    if (event.type == EventType::KeyDown && (event.key == Qt::Key_Up || event.key == Qt::Key_Down)) {
        const int current = currentSelection();
        const int next = current < 0 ? 0 : current + (event.key == Qt::Key_Up ? -1 : 1);
        if (next >= 0 && next < count()) selectItem(next);
        return;
    }
    VerticalLayout::doEvent(event);
}

void List::childRemoved(Control* child) {
    if (child == selected_) selected_ = nullptr;
    if (child == hot_) hot_ = nullptr;
}

}  // namespace vexa::toolkit
