// CLCDDigit: one digit 0..9 of the floating bar's clock, drawn from the strip named by its bkimage
// (lcd_digit.png: cells of 16 x 22 at x = digit x 16) into (0, 5, 16, 27) of its box. Setting the
// digit it already shows repaints nothing, so a clock tick repaints only the digits that changed.
// The main window's control factory and the floating bar both build it for the tag "LCDDigit".
// Thread-safety: user-interface thread only, like every control.
#pragma once

#include "toolkit/control.h"

namespace vexa::ui {

class CLCDDigit : public toolkit::Control {
  public:
    [[nodiscard]] int Digit() const { return digit_; }
    // Digits outside 0..9 are ignored; a change repaints the control.
    void SetDigit(int digit);

  protected:
    void paintBkImage(QPainter& painter) override;

  private:
    int digit_ = 0;
};

}  // namespace vexa::ui
