// CAudioArea: the sound-only panel ("audio_param_area") of the record page: audio quality and the
// speakers and microphones to record. The record page initialises it as its
// host (PanelHost). Stored under "audio_*" keys (see SourcePanel). While the record page is idle in this
// mode, a change of the selection enables its start control exactly when something is ticked; a
// volume moved during a recording reaches the running recording at once.
// Threads: user-interface thread only.
#pragma once

#include "platform/error.h"
#include "toolkit/dialog_builder.h"
#include "ui/source_panels_common.h"

namespace vexa::ui {

class CAudioArea : public SourcePanel {
  public:
    // `create_control`: the program's control factory, for the rows built beyond the layout.
    explicit CAudioArea(toolkit::CreateControlFn create_control);
    ~CAudioArea() override;

    // Quality, speakers, microphones, in this order; fails when a control is missing or a row
    // cannot be built (the panel is then left partly set up).
    [[nodiscard]] Error Init(PanelHost& host);
    // True when at least one speaker or microphone box is selected.
    [[nodiscard]] bool AnySoundSourceSelected() const;

  protected:
    void OnSoundSelection() override;
    void OnSoundVolume(const SourceRow& row, int volume) override;
};

}  // namespace vexa::ui
