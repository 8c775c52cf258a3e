// CDesktopArea: the screen-recording panel ("desktop_param_area") of the record page: video and
// audio quality, the speakers and microphones recorded with the screen, and the cameras shown in
// floating windows (any number; one CCameraWnd per ticked camera while the panel is shown, which the
// screen capture records as part of the screen). The record page initialises it as its
// host (PanelHost). Stored under "desktop_*" keys (see SourcePanel).
// Threads: user-interface thread only; a closed camera window is released on a short-lived thread.
#pragma once

#include "platform/error.h"
#include "toolkit/dialog_builder.h"
#include "ui/source_panels_common.h"

namespace vexa::ui {

class CDesktopArea : public SourcePanel {
  public:
    // `create_control`: the program's control factory, for the rows built beyond the layout.
    explicit CDesktopArea(toolkit::CreateControlFn create_control);
    ~CDesktopArea() override;

    // Quality, speakers, microphones, cameras, in this order; fails when a control is missing or a
    // row cannot be built (the panel is then left partly set up).
    [[nodiscard]] Error Init(PanelHost& host);
    // Shows or hides the panel, closes its drop-down, then opens a window for every ticked camera
    // (show) or releases every camera window (hide).
    void ShowPanel(bool show);

    [[nodiscard]] int VideoQuality() const { return VideoQualityValue(); }
    // The window of the camera at `position` while it is open, else null.
    [[nodiscard]] CCameraWnd* CameraWindow(int position) const;

  private:
    void OnCameraSelect(const toolkit::Notification& n);
};

}  // namespace vexa::ui
