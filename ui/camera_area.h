// CCameraArea: the camera-recording panel ("camera_param_area") of the record page: video and audio
// quality, the sound devices recorded with the camera, and the one camera (a radio group). One per
// process, reachable through Instance() while it exists. User-interface thread only.
#pragma once

#include "platform/error.h"
#include "toolkit/container.h"

namespace vexa::ui {

class CCameraArea : public toolkit::Container {
  public:
    CCameraArea();
    ~CCameraArea() override;
    [[nodiscard]] static CCameraArea* Instance();

    [[nodiscard]] Error Init();
    void ShowPanel(bool show);
    void ClosePopList() {}
    // True when a camera box is selected.
    [[nodiscard]] bool AnyCameraSelected() const;
};

}  // namespace vexa::ui
