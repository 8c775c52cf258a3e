// CTitleBar: the main window's caption row ("main_title_bar"): the icon, the title "Miravo", the
// minimise button (a taskbar minimise, not the tray) and the close button (asks the main window to
// close, which shows the exit prompt). The main window initialises it. User-interface thread only.
#pragma once

#include "platform/error.h"
#include "toolkit/button.h"
#include "toolkit/container.h"

namespace vexa::app {

class CTitleBar : public toolkit::HorizontalLayout {
  public:
    CTitleBar();
    ~CTitleBar() override;

    // Finds "main_icon", "main_minbtn" and "main_closebtn" (all required) and wires the buttons.
    [[nodiscard]] Error Init();
    [[nodiscard]] toolkit::Control* Icon() const { return icon_; }
    [[nodiscard]] toolkit::Button* CloseButton() const { return close_; }

  private:
    toolkit::Control* icon_ = nullptr;
    toolkit::Button* minimize_ = nullptr;
    toolkit::Button* close_ = nullptr;
};

}  // namespace vexa::app
