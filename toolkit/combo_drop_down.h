// The pop-up window that shows a combo's items while it is dropped down. The items stay the
// combo's: the pop-up borrows them and hands them back when it closes.
// Thread-safety: user-interface thread only.
#pragma once

#include "toolkit/window.h"

namespace vexa::toolkit {

class Combo;

class ComboDropDown : public Window {
  public:
    explicit ComboDropDown(Combo& combo);
    ~ComboDropDown() override;
    [[nodiscard]] std::string windowClassName() const override { return "ComboDropWnd"; }
    // Opens below the combo; false when the combo is not in a window on screen.
    [[nodiscard]] bool open();

  protected:
    bool onCreate() override;
    void onDestroy() override;
    void onFocusLost() override;
    bool onKey(int key, Qt::KeyboardModifiers modifiers) override;

  private:
    void returnItems();

    Combo& combo_;
    class DropList* list_ = nullptr;
};

}  // namespace vexa::toolkit
