// Containers: Container stacks its children; HorizontalLayout and VerticalLayout flow them;
// TabLayout shows one. A container owns the children added with add(); children added with
// addBorrowed() stay their owner's and must be taken out (take/remove) before that owner drops them.
// Thread-safety: user-interface thread only.
#pragma once

#include <vector>

#include "toolkit/control.h"
#include "toolkit/scroll_bar.h"

#include <memory>

namespace vexa::toolkit {

class Container : public Control {
  public:
    Container();
    ~Container() override;

    [[nodiscard]] std::string_view className() const override { return "Container"; }
    [[nodiscard]] bool isA(std::string_view name) const override;

    // Children.
    [[nodiscard]] int count() const { return static_cast<int>(children_.size()); }
    [[nodiscard]] Control* itemAt(int index) const;
    [[nodiscard]] int indexOf(const Control* child) const;
    Control* add(std::unique_ptr<Control> child);
    Control* addAt(std::unique_ptr<Control> child, int index);
    void addBorrowed(Control* child);
    // Detaches a child; null for a borrowed child or one not held here.
    std::unique_ptr<Control> take(Control* child);
    // Detaches and (when owned) destroys a child; false when not held here.
    bool remove(Control* child);
    void removeAll();

    [[nodiscard]] const QMargins& inset() const { return inset_; }
    void setInset(const QMargins& inset);
    [[nodiscard]] int childPadding() const { return childPadding_; }
    void setChildPadding(int padding);
    [[nodiscard]] bool isMouseChildEnabled() const { return mouseChildEnabled_; }
    void setMouseChildEnabled(bool enabled) { mouseChildEnabled_ = enabled; }
    // Vertical scrolling (layouts and lists).
    void enableScrollBar(bool vertical);
    [[nodiscard]] ScrollBar* verticalScrollBar() const { return scrollBar_.get(); }
    [[nodiscard]] int scrollPos() const { return scrollPos_; }
    [[nodiscard]] int scrollRange() const { return scrollRange_; }
    void setScrollPos(int pos);
    // Scrolls so that `child` is wholly visible.
    void scrollIntoView(const Control* child);

    bool setAttribute(std::string_view name, std::string_view value) override;
    void attach(PaintManager* manager, Control* parent) override;
    void setPos(const QRect& rect) override;
    [[nodiscard]] Control* findAt(const QPoint& point) override;
    bool forEach(const std::function<bool(Control&)>& visit) override;
    void paint(QPainter& painter, const QRect& dirty) override;

  protected:
    void doEvent(ControlEvent& event) override;
    // Told after a child left this container (taken out or destroyed).
    virtual void childRemoved(Control* child) { (void)child; }
    // Rectangle left for children: the control's rectangle less inset and scroll bar.
    [[nodiscard]] QRect innerRect() const;
    // Places the children inside `area` (already scrolled); returns the content height.
    virtual int layoutChildren(const QRect& area);
    void placeFloat(Control& child) const;
    // Places the floating children and returns the visible ones that take part in the flow.
    [[nodiscard]] std::vector<Control*> flowChildren();
    // Places the children again inside the current rectangle.
    void relayout();
    void styleScrollBar();
    static int clampedSize(int size, int minimum, int maximum);

  private:
    struct Child {
        Control* control = nullptr;
        std::unique_ptr<Control> owned;
    };
    std::vector<Child> children_;
    QMargins inset_;
    int childPadding_ = 0;
    bool mouseChildEnabled_ = true;
    std::unique_ptr<ScrollBar> scrollBar_;
    bool scrollBarStyled_ = false;
    int scrollPos_ = 0;
    int scrollRange_ = 0;
};

class VerticalLayout : public Container {
  public:
    [[nodiscard]] std::string_view className() const override { return "VerticalLayout"; }
    [[nodiscard]] bool isA(std::string_view name) const override;

  protected:
    int layoutChildren(const QRect& area) override;
};

class HorizontalLayout : public Container {
  public:
    [[nodiscard]] std::string_view className() const override { return "HorizontalLayout"; }
    [[nodiscard]] bool isA(std::string_view name) const override;

  protected:
    int layoutChildren(const QRect& area) override;
};

class TabLayout : public Container {
  public:
    [[nodiscard]] std::string_view className() const override { return "TabLayout"; }
    [[nodiscard]] bool isA(std::string_view name) const override;
    [[nodiscard]] int currentIndex() const { return current_; }
    // Shows the child at `index` and hides the others; sends "tabselect" (wparam new, lparam old).
    bool selectItem(int index);
    bool setAttribute(std::string_view name, std::string_view value) override;
    void onBuilt() override;

  private:
    int current_ = 0;
};

}  // namespace vexa::toolkit
