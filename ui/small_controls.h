// The small custom controls of the main window's layouts, each its toolkit base plus one behaviour
// (the clock digit CLCDDigit is in lcd_digit.h):
//  - CSliderEx: a slider that dims its track (fade 128) and thumb (fade 100) while disabled;
//  - CCheckBoxEx: a check box that dims its images (fade 100) while disabled;
//  - CShellExeBtn: a button that opens its user data (a file or address) with the desktop's
//    default application on a short-lived thread of its own.
// Thread-safety: user-interface thread only, like every control.
#pragma once

#include "toolkit/button.h"
#include "toolkit/slider.h"

namespace vexa::ui {

class CSliderEx : public toolkit::Slider {
  protected:
    [[nodiscard]] int imageFade() const override { return isEnabled() ? 255 : 100; }
    [[nodiscard]] int trackFade() const override { return isEnabled() ? 255 : 128; }
};

class CCheckBoxEx : public toolkit::CheckBox {
  protected:
    [[nodiscard]] int imageFade() const override { return isEnabled() ? 255 : 100; }
};

class CShellExeBtn : public toolkit::Button {
  public:
    bool activate() override;
};

}  // namespace vexa::ui
