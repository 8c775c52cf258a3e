// CAudioArea: the sound-only panel ("audio_param_area") of the record page: audio quality and the
// speakers and microphones to record. One per process, reachable through Instance() while it
// exists. User-interface thread only.
#pragma once

#include "platform/error.h"
#include "toolkit/container.h"

namespace vexa::ui {

class CAudioArea : public toolkit::Container {
  public:
    CAudioArea();
    ~CAudioArea() override;
    [[nodiscard]] static CAudioArea* Instance();

    [[nodiscard]] Error Init();
    void ClosePopList() {}
    // True when at least one speaker or microphone box is selected.
    [[nodiscard]] bool AnySoundSourceSelected() const;
};

}  // namespace vexa::ui
