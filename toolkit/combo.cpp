#include "toolkit/combo.h"

#include "toolkit/combo_drop_down.h"
#include "toolkit/paint_manager.h"

#include <QPainter>
#include <QTimer>

namespace vexa::toolkit {

// --- the drop-down list ----------------------------------------------------------------------------

// Root of the pop-up: lists the combo's items and answers for the combo as their owner.
class DropList : public VerticalLayout, public ListOwner {
  public:
    explicit DropList(Combo& combo) : combo_(combo) { enableScrollBar(true); }
    [[nodiscard]] const ListInfo& listInfo() const override { return combo_.listInfo(); }
    [[nodiscard]] int itemIndex(const Control* item) const override { return indexOf(item); }
    [[nodiscard]] int currentSelection() const override { return combo_.currentSelection(); }
    bool selectItem(int index, bool notify) override {
        const bool ok = combo_.selectItem(index, notify);
        if (ok && index >= 0) {
            // Close after the click has been handled completely.
            combo_.closeDropDownLater();
        }
        return ok;
    }
    [[nodiscard]] Control* hotItem() const override { return hot_; }
    void setHotItem(Control* item) override {
        if (hot_) hot_->invalidate();
        hot_ = item;
        if (hot_) hot_->invalidate();
    }
    void activateItem(Control* /*item*/) override {}

  protected:
    void childRemoved(Control* child) override {
        if (child == hot_) hot_ = nullptr;
    }

  private:
    Combo& combo_;
    Control* hot_ = nullptr;
};

ComboDropDown::ComboDropDown(Combo& combo) : combo_(combo) {}

ComboDropDown::~ComboDropDown() {
    destroy();
}

bool ComboDropDown::open() {
    Window* host = combo_.manager() ? combo_.manager()->window() : nullptr;
    if (!host || !host->widget()) return false;
    int height = 2;
    for (int i = 0; i < combo_.count(); ++i) {
        const Control* item = combo_.itemAt(i);
        if (item->isVisible()) height += item->fixedHeight() > 0 ? item->fixedHeight() : 24;
    }
    const QSize box = combo_.dropBoxSize();
    const int width = box.width() > 0 ? box.width() : combo_.rect().width();
    if (box.height() > 0) height = std::min(height, box.height());
    const QPoint topLeft = host->geometry().topLeft() + combo_.rect().bottomLeft() + QPoint(0, 1);
    paintManager().copyStyle(host->paintManager());
    return create(host, "", kStylePopup | kStyleToolWindow | kStyleTopMost | kStyleVisible,
                  QRect(topLeft, QSize(width, height)));
}

bool ComboDropDown::onCreate() {
    auto list = std::make_unique<DropList>(combo_);
    list_ = list.get();
    list->setInset(QMargins(1, 1, 1, 1));
    list->setBkColor(combo_.dropBkColor());
    list->setBorderColor(combo_.dropBorderColor());
    list->setBorderSize(1);
    paintManager().attach(std::move(list));
    for (int i = 0; i < combo_.count(); ++i) list_->addBorrowed(combo_.itemAt(i));
    if (Control* selected = combo_.itemAt(combo_.currentSelection())) {
        paintManager().updateLayout();
        list_->scrollIntoView(selected);
    }
    return true;
}

void ComboDropDown::onDestroy() {
    returnItems();
}

void ComboDropDown::returnItems() {
    if (!list_) return;
    while (list_->count() > 0) list_->take(list_->itemAt(list_->count() - 1));
    list_ = nullptr;
    // Back under the combo: they find it again as their owner.
    for (int i = 0; i < combo_.count(); ++i) combo_.itemAt(i)->attach(combo_.manager(), &combo_);
}

void ComboDropDown::onFocusLost() {
    combo_.closeDropDownLater();
}

bool ComboDropDown::onKey(int key, Qt::KeyboardModifiers /*modifiers*/) {
    const int current = combo_.currentSelection();
    if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
        combo_.closeDropDownLater();
    } else if (key == Qt::Key_Up && current > 0) {
        combo_.selectItem(current - 1);
    } else if (key == Qt::Key_Down && current + 1 < combo_.count()) {
        combo_.selectItem(current + 1);
    } else {
        return false;
    }
    return true;
}

// --- Combo -----------------------------------------------------------------------------------------

Combo::Combo() {
    cursor_ = CursorShape::Hand;
}

Combo::~Combo() {
    dropDown_.reset();
}

bool Combo::selectItem(int index, bool notify) {
    if (index < -1 || index >= count()) return false;
    if (index >= 0 && !itemAt(index)->isEnabled()) return false;
    const int old = current_;
    if (index == old) return true;
    current_ = index;
    invalidate();
    if (dropDown_) dropDown_->invalidate(QRect(QPoint(0, 0), dropDown_->geometry().size()));
    if (notify && manager())
        manager()->sendNotify(this, "itemselect", static_cast<std::uintptr_t>(index), old);
    return true;
}

void Combo::setHotItem(Control* item) {
    hot_ = item;
}

void Combo::activateItem(Control* /*item*/) {
    closeDropDown();
}

Control* Combo::addItem(std::string text, std::intptr_t tag, int height) {
    auto item = std::make_unique<ListLabelElement>();
    item->setText(std::move(text));
    item->setTag(tag);
    item->setFixedHeight(height);
    return add(std::move(item));
}

bool Combo::activate() {
    if (!Control::activate()) return false;
    if (dropDown_) {
        closeDropDown();
        return true;
    }
    auto dropDown = std::make_unique<ComboDropDown>(*this);
    if (dropDown->open()) dropDown_ = std::move(dropDown);
    return true;
}

void Combo::closeDropDownLater() {
    QTimer::singleShot(0, [weak = std::weak_ptr<Combo*>(self_)] {
        if (const auto combo = weak.lock()) (*combo)->closeDropDown();
    });
}

void Combo::closeDropDown() {
    if (!dropDown_) return;
    // The pop-up's widget is deleted later by the event loop; the object can go now.
    auto closing = std::move(dropDown_);
    closing->destroy();
    invalidate();
}

bool Combo::setAttribute(std::string_view name, std::string_view value) {
    if (info_.setAttribute(name, value)) return true;
    if (name == "dropboxsize") {
        const auto s = parseSize(value);
        if (!s) return false;
        dropBoxSize_ = *s;
    } else if (name == "dropbkcolor" || name == "dropbordercolor" || name == "textcolor" ||
               name == "disabledtextcolor") {
        const auto c = parseColor(value);
        if (!c) return false;
        (name == "dropbkcolor"       ? dropBkColor_
         : name == "dropbordercolor" ? dropBorderColor_
         : name == "textcolor"       ? textColor_
                                     : disabledTextColor_) = *c;
    } else if (name == "textpadding") {
        const auto m = parseMargins(value);
        if (!m) return false;
        textPadding_ = *m;
    } else if (name == "font") {
        const auto n = parseInt(value);
        if (!n) return false;
        font_ = *n;
    } else if (name == "selectedid") {
        const auto n = parseInt(value);
        if (!n || *n < -1) return false;
        initialSelection_ = *n;
    } else if (name == "normalimage" || name == "hotimage" || name == "pushedimage" ||
               name == "disabledimage") {
        (name == "normalimage"   ? normalImage_
         : name == "hotimage"    ? hotImage_
         : name == "pushedimage" ? pushedImage_
                                 : disabledImage_) = std::string(value);
    } else {
        return Container::setAttribute(name, value);
    }
    invalidate();
    return true;
}

void Combo::onBuilt() {
    if (initialSelection_ >= 0) selectItem(initialSelection_, false);
}

Control* Combo::findAt(const QPoint& point) {
    return Control::findAt(point);
}

void Combo::setPos(const QRect& rect) {
    // The items are laid out by the drop-down list, not inside the box.
    Control::setPos(rect);
}

void Combo::doEvent(ControlEvent& event) {
    switch (event.type) {
        case EventType::MouseEnter:
        case EventType::MouseLeave:
            hovered_ = event.type == EventType::MouseEnter;
            invalidate();
            return;
        case EventType::ButtonDown:
            if (!isEnabled()) return;
            pushed_ = true;
            invalidate();
            activate();
            return;
        case EventType::ButtonUp:
            pushed_ = false;
            invalidate();
            return;
        case EventType::ScrollWheel:
            if (isEnabled() && !dropDown_)
                selectItem(std::clamp(current_ + (event.wheelDelta > 0 ? -1 : 1), 0, count() - 1));
            return;
        case EventType::KeyDown:
            if (event.key == Qt::Key_Up && current_ > 0)
                selectItem(current_ - 1);
            else if (event.key == Qt::Key_Down && current_ + 1 < count())
                selectItem(current_ + 1);
            else if (event.key == Qt::Key_Space || event.key == Qt::Key_F4)
                activate();
            return;
        default:
            Container::doEvent(event);
    }
}

void Combo::childRemoved(Control* child) {
    if (child == hot_) hot_ = nullptr;
    // Removing items shifts or clears the selection; nothing is sent for it.
    current_ = std::min(current_, count() - 1);
    invalidate();
}

void Combo::paint(QPainter& painter, const QRect& dirty) {
    if (!isVisible() || !dirty.intersects(rect())) return;
    paintBkColor(painter);
    paintBkImage(painter);
    const std::string* image = &normalImage_;
    if (!isEnabled() && !disabledImage_.empty())
        image = &disabledImage_;
    else if (isEnabled() && (pushed_ || dropDown_) && !pushedImage_.empty())
        image = &pushedImage_;
    else if (isEnabled() && hovered_ && !hotImage_.empty())
        image = &hotImage_;
    drawImage(painter, *image);
    if (const Control* item = itemAt(current_); item && manager()) {
        painter.setFont(manager()->font(font_ >= 0 ? font_ : info_.font));
        painter.setPen(isEnabled() && item->isEnabled() ? textColor_ : disabledTextColor_);
        painter.drawText(rect().marginsRemoved(textPadding_),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         QString::fromStdString(item->text()));
    }
    paintBorder(painter);
}

}  // namespace vexa::toolkit
