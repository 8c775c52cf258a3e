// Combo: a box showing the selected item of its ListLabelElement children, with a drop-down list
// in a pop-up window. Sends "itemselect" (wparam new index, lparam old index).
// Thread-safety: user-interface thread only.
#pragma once

#include "toolkit/list.h"

namespace vexa::toolkit {

class Combo : public Container, public ListOwner {
  public:
    Combo();
    ~Combo() override;
    [[nodiscard]] std::string_view className() const override { return "Combo"; }
    [[nodiscard]] bool isA(std::string_view name) const override {
        return name == "Combo" || Container::isA(name);
    }
    [[nodiscard]] bool wantsFocus() const override { return isKeyboardEnabled(); }

    [[nodiscard]] const ListInfo& listInfo() const override { return info_; }
    [[nodiscard]] int itemIndex(const Control* item) const override { return indexOf(item); }
    [[nodiscard]] int currentSelection() const override { return current_; }
    bool selectItem(int index, bool notify = true) override;
    [[nodiscard]] Control* hotItem() const override { return hot_; }
    void setHotItem(Control* item) override;
    void activateItem(Control* item) override;
    // Adds an item showing `text` with `tag`; returns it.
    Control* addItem(std::string text, std::intptr_t tag = 0, int height = 24);

    [[nodiscard]] QSize dropBoxSize() const { return dropBoxSize_; }
    [[nodiscard]] const QColor& dropBkColor() const { return dropBkColor_; }
    [[nodiscard]] const QColor& dropBorderColor() const { return dropBorderColor_; }
    [[nodiscard]] bool isDroppedDown() const { return dropDown_ != nullptr; }
    // Opens the drop-down list (only in a window on screen); closes it when open.
    bool activate() override;
    void closeDropDown();
    // Closes the drop-down from the event loop, after the current event; safe if the combo is gone.
    void closeDropDownLater();

    bool setAttribute(std::string_view name, std::string_view value) override;
    [[nodiscard]] Control* findAt(const QPoint& point) override;
    void setPos(const QRect& rect) override;
    void paint(QPainter& painter, const QRect& dirty) override;
    void onBuilt() override;

  protected:
    void doEvent(ControlEvent& event) override;
    void childRemoved(Control* child) override;

  private:
    friend class ComboDropDown;
    ListInfo info_;
    int current_ = -1;
    int initialSelection_ = -1;
    Control* hot_ = nullptr;
    bool hovered_ = false;
    bool pushed_ = false;
    QSize dropBoxSize_{0, 150};
    QColor dropBkColor_{0x2B, 0x2B, 0x2B};
    QColor dropBorderColor_{0x50, 0x50, 0x50};
    QMargins textPadding_{6, 0, 20, 0};
    int font_ = -1;
    QColor textColor_{0xE0, 0xE0, 0xE0};
    QColor disabledTextColor_{0x80, 0x80, 0x80};
    std::string normalImage_, hotImage_, pushedImage_, disabledImage_;
    std::unique_ptr<class ComboDropDown> dropDown_;
    std::shared_ptr<Combo*> self_ = std::make_shared<Combo*>(this);  // expires with the combo
};

}  // namespace vexa::toolkit
