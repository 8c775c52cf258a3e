// List (rows of ListContainerElement, single selection, hot row, double-click, scrolling) and the
// list elements it shares with Combo. An element finds its owner (List or Combo) when attached.
// Thread-safety: user-interface thread only.
#pragma once

#include "toolkit/container.h"
#include "toolkit/label.h"

namespace vexa::toolkit {

// Colours and text settings that the owner gives its items ("itemhotbkcolor", ...).
struct ListInfo {
    QColor textColor{0xE0, 0xE0, 0xE0};
    QColor hotTextColor, selectedTextColor;
    QColor disabledTextColor{0x80, 0x80, 0x80};
    QColor bkColor, hotBkColor, selectedBkColor;
    int font = -1;
    QMargins textPadding;
    int alignment = Qt::AlignLeft | Qt::AlignVCenter;

    // Applies one "item..." attribute; false when the name is not one or the value is malformed.
    bool setAttribute(std::string_view name, std::string_view value);
};

class ListOwner {
  public:
    virtual ~ListOwner() = default;
    [[nodiscard]] virtual const ListInfo& listInfo() const = 0;
    [[nodiscard]] virtual int itemIndex(const Control* item) const = 0;
    [[nodiscard]] virtual int currentSelection() const = 0;
    virtual bool selectItem(int index, bool notify = true) = 0;
    [[nodiscard]] virtual Control* hotItem() const = 0;
    virtual void setHotItem(Control* item) = 0;
    // A double click or Return on an item.
    virtual void activateItem(Control* item) = 0;
};

// Shared behaviour of list elements.
class ListItem {
  public:
    virtual ~ListItem() = default;
    [[nodiscard]] ListOwner* owner() const { return owner_; }
    [[nodiscard]] bool isSelected() const;
    [[nodiscard]] bool isHot() const;

  protected:
    void findOwner(Control* parent) { owner_ = dynamic_cast<ListOwner*>(parent); }
    // Mouse handling common to all elements; true when the event was consumed.
    bool itemEvent(Control& self, ControlEvent& event);
    [[nodiscard]] QColor itemBkColor(const Control& self) const;

  private:
    ListOwner* owner_ = nullptr;
};

class ListLabelElement : public Label, public ListItem {
  public:
    [[nodiscard]] std::string_view className() const override { return "ListLabelElement"; }
    [[nodiscard]] bool isA(std::string_view name) const override {
        return name == "ListLabelElement" || Label::isA(name);
    }
    void attach(PaintManager* manager, Control* parent) override;
    void paint(QPainter& painter, const QRect& dirty) override;

  protected:
    void doEvent(ControlEvent& event) override;
};

class ListContainerElement : public HorizontalLayout, public ListItem {
  public:
    [[nodiscard]] std::string_view className() const override { return "ListContainerElement"; }
    [[nodiscard]] bool isA(std::string_view name) const override {
        return name == "ListContainerElement" || HorizontalLayout::isA(name);
    }
    void attach(PaintManager* manager, Control* parent) override;

  protected:
    void doEvent(ControlEvent& event) override;
    void paintBkColor(QPainter& painter) override;
};

class List : public VerticalLayout, public ListOwner {
  public:
    List();
    [[nodiscard]] std::string_view className() const override { return "List"; }
    [[nodiscard]] bool isA(std::string_view name) const override {
        return name == "List" || VerticalLayout::isA(name);
    }

    [[nodiscard]] const ListInfo& listInfo() const override { return info_; }
    [[nodiscard]] int itemIndex(const Control* item) const override { return indexOf(item); }
    [[nodiscard]] int currentSelection() const override { return indexOf(selected_); }
    // Selects one row (or none with -1), scrolls it into view and sends "itemselect"
    // (wparam new index, lparam old index) when `notify` is set and the selection changed.
    bool selectItem(int index, bool notify = true) override;
    [[nodiscard]] Control* hotItem() const override { return hot_; }
    void setHotItem(Control* item) override;
    void activateItem(Control* item) override;
    void ensureVisible(int index);

    bool setAttribute(std::string_view name, std::string_view value) override;

  protected:
    void doEvent(ControlEvent& event) override;
    void childRemoved(Control* child) override;

  private:
    void sendSelection(int index, int old);

    ListInfo info_;
    Control* selected_ = nullptr;
    Control* hot_ = nullptr;
};

}  // namespace vexa::toolkit
