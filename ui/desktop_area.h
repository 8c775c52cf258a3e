// CDesktopArea: the screen-recording panel ("desktop_param_area") of the record page: video and
// audio quality, the speakers and microphones recorded with the screen, and the cameras shown in
// floating windows. One per process, reachable through Instance() while it exists.
// User-interface thread only.
#pragma once

#include "platform/error.h"
#include "toolkit/container.h"

namespace vexa::ui {

class CDesktopArea : public toolkit::Container {
  public:
    CDesktopArea();
    ~CDesktopArea() override;
    [[nodiscard]] static CDesktopArea* Instance();

    // Finds the panel's fixed controls; fails when one is missing.
    [[nodiscard]] Error Init();
    // Shows or hides the panel (and closes its pop-up).
    void ShowPanel(bool show);
    void ClosePopList() {}
};

}  // namespace vexa::ui
