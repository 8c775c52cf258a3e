// PropertySheet: a small non-modal dialog of adjustable properties (a camera's brightness,
// contrast, exposure...): a slider with its value, a check box, a menu or an action button per
// item. Every change is reported at once, while a slider is still being dragged.
// Ownership: the caller owns the sheet; the dialog is a child of the owner's native window, so it
// goes with that window too. Destroying the sheet closes the dialog without reporting it.
// Thread-safety: user-interface thread only; the callbacks run there.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QWidget;

namespace vexa::toolkit {

class Window;

// The dialog's size: its content's size, but wide enough for its title to show whole beside the
// window manager's buttons (`titleWidth` is the title's text width) and never narrower than a
// readable minimum; within `available` (the work area).
[[nodiscard]] QSize propertySheetSize(QSize content, int titleWidth, QSize available);
// Where the dialog goes: `wanted`, moved just enough to lie inside `workArea`.
[[nodiscard]] QPoint propertySheetPosition(QPoint wanted, QSize size, const QRect& workArea);

struct PropertyItem {
    enum class Kind { kSlider, kCheck, kMenu, kAction };
    std::uint32_t id = 0;
    std::string name;
    Kind kind = Kind::kSlider;
    int minimum = 0;
    int maximum = 0;
    int step = 1;
    int value = 0;
    std::vector<std::pair<int, std::string>> choices;  // kMenu: each choice's value and text
};

// The item's id and its new value (1 for an action).
using PropertyChanged = std::function<void(std::uint32_t id, int value)>;

class PropertySheet {
  public:
    // Shows the dialog titled `caption` with its top-left corner at `topLeft` (screen), above
    // `owner`; `emptyText` stands alone in it when there are no items. `closed` is called when the
    // user closes it.
    [[nodiscard]] static std::unique_ptr<PropertySheet> open(Window& owner, const std::string& caption,
                                                             const QPoint& topLeft,
                                                             const std::vector<PropertyItem>& items,
                                                             PropertyChanged changed,
                                                             std::function<void()> closed,
                                                             const std::string& emptyText);
    ~PropertySheet();
    PropertySheet(const PropertySheet&) = delete;
    PropertySheet& operator=(const PropertySheet&) = delete;

    [[nodiscard]] bool isOpen() const;
    // The dialog while it is open (tests look at its widgets), else null.
    [[nodiscard]] QWidget* dialog() const;

  private:
    PropertySheet();
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace vexa::toolkit
