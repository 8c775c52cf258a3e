// PanelHost: what a source panel (screen, sound only, camera) needs of the page that holds it: the
// recording state and mode, the start control, and the running recording's volumes. The record
// page implements it and hands itself to each panel's Init; a test hands a stand-in.
// Ownership: the host outlives the panels it is handed to. Threads: user-interface thread only.
#pragma once

namespace vexa::ui {

struct SourceRow;

class PanelHost {
  public:
    virtual ~PanelHost() = default;
    // 0 idle (also while a start is still counting down), 1 recording, 2 paused.
    [[nodiscard]] virtual int RecordingState() const = 0;
    // 0 screen, 1 sound only, 2 camera, 3 the settings tab; -1 before the first tab.
    [[nodiscard]] virtual int Mode() const = 0;
    // The panel of `mode` has something to record (or no longer has): while the page is idle in
    // that mode its start control is enabled exactly then.
    virtual void EnableStartFor(int mode, bool any_selected) = 0;
    // A row's volume slider moved: a running (or paused) recording takes the volume at once.
    virtual void SetSourceVolume(const SourceRow& row, int volume) = 0;
};

}  // namespace vexa::ui
