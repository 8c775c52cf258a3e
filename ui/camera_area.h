// CCameraArea: the camera-recording panel ("camera_param_area") of the record page: video and audio
// quality, the sound devices recorded with the camera, and the one camera to record (a radio group,
// "camera_area_group"), shown in one preview window (a CCameraWnd of the camera panel) while the
// panel is shown. The recording borrows the preview's camera (AcquireCamera). The record page
// initialises it as its host (PanelHost). Stored under "camera_*" keys (see SourcePanel).
//
// The preview-shown flag starts set; closing the preview clears it and colours the selected box's
// text red (#FFD00000), and a double click on the selected box shows the preview again. While the
// record page is idle in this mode, a camera choice enables its start control exactly when a camera
// is selected.
// Threads: user-interface thread only; a closed preview is released on a short-lived thread.
#pragma once

#include <functional>

#include "engine/camera/camera.h"
#include "platform/error.h"
#include "toolkit/dialog_builder.h"
#include "ui/source_panels_common.h"

namespace vexa::ui {

class CCameraArea : public SourcePanel {
  public:
    // `create_control`: the program's control factory, for the boxes built beyond the layout.
    explicit CCameraArea(toolkit::CreateControlFn create_control);
    ~CCameraArea() override;

    // Quality, speakers, microphones, cameras, in this order; fails when a control is missing or a
    // box cannot be built (the panel is then left partly set up).
    [[nodiscard]] Error Init(PanelHost& host);
    // Shows or hides the panel, closes its drop-down, then opens the selected camera's preview
    // (show) or releases the preview (hide).
    void ShowPanel(bool show);
    // True when a camera box is selected.
    [[nodiscard]] bool AnyCameraSelected() const;

    [[nodiscard]] int VideoQuality() const { return VideoQualityValue(); }
    // The selected camera's position, -1 when none is.
    [[nodiscard]] int SelectedCamera() const;
    [[nodiscard]] CCameraWnd* Preview() const { return preview_.get(); }
    [[nodiscard]] bool PreviewShown() const { return preview_shown_; }
    // The preview's camera with a reference of the caller's own; empty without an open camera.
    [[nodiscard]] engine::CameraRef AcquireCamera();
    // For RecordingRequest::acquire_camera: the preview's camera, taken now on this thread and
    // handed over (null if there was none) when the recording's set-up asks, on its own thread. A
    // camera never asked for is released with the last copy of the function.
    [[nodiscard]] std::function<engine::CCamera*()> CameraForRecording();

  private:
    void OnCameraSelect(const toolkit::Notification& n);
    void OnCameraShow(size_t position);
    void OnPreviewClosed();
    // Ticks the box at `position` alone, without notifications.
    void SelectOnly(size_t position);
    [[nodiscard]] bool CreatePreview(const CameraRow& row, int position);

    std::unique_ptr<CCameraWnd> preview_;
    bool preview_shown_ = true;
};

}  // namespace vexa::ui
