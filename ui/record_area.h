// CRecordArea: the record page ("main_record_area"): the three source panels, the full-screen /
// region switch, and the start/stop and pause/continue buttons. It owns the recording control:
// the session slot shared with the recording thread, the recording state (0 idle, 1 recording,
// 2 paused) and the mode (0 screen, 1 sound only, 2 camera; -1 before the first tab).
// One per process, reachable through Instance() while it exists.
// Threads: the user-interface thread runs every handler; the recording thread shares only the
// session slot (its own SpinLock) and the state.
#pragma once

#include <atomic>
#include <memory>

#include "engine/session_slot.h"
#include "platform/error.h"
#include "toolkit/container.h"
#include "ui/region_wnd.h"
#include "ui/sel_rgn_wnd.h"

namespace vexa::ui {

struct SourceRow;

class CRecordArea : public toolkit::Container {
  public:
    enum State : int { kIdle = 0, kRecording = 1, kPaused = 2 };

    CRecordArea();  // reads the floating bar's auto-hide flag
    ~CRecordArea() override;
    [[nodiscard]] static CRecordArea* Instance();

    // Finds the page's controls and sets up the three panels.
    [[nodiscard]] Error InitPage();
    // The tab bar chose another mode (previous -1 at the first selection).
    void SetMode(int mode, int previous);
    // Starts when idle, stops otherwise; `force` always stops.
    void ToggleRecording(bool force);
    void TogglePause();
    // Region mode: freezes the screen and lets the user pick the region (nothing in full-screen mode).
    void SelectRegion();
    // Full screen <-> region ("switch_btn"); to region mode through a new selection.
    void ToggleRegionMode();
    // The frame around the recorded region (null before InitPage).
    [[nodiscard]] CRegionWnd* RegionWnd() const { return region_wnd_.get(); }

    [[nodiscard]] int Mode() const { return mode_; }
    [[nodiscard]] int RecordingState() const { return state_.load(std::memory_order_acquire); }
    [[nodiscard]] bool FloatAutoHide() const { return float_auto_hide_; }
    // The primary screen changed: the running session's display-change counter goes up once.
    void NotifyDisplayChange();
    // The sound-only panel moved the volume of `row`: while a recording runs (or is paused) the
    // session's input of that row takes it at once (under the session slot's lock).
    void SetSourceVolume(const SourceRow& row, int volume);

  private:
    [[nodiscard]] Error CreateRegionFrame();
    // The region frame reports a new region, the start or the end of a drag.
    void OnRegionFrame(int kind, bool full_screen, const app::Rect& region);
    void OnSelectionFinished(int result, const app::Rect& region);
    void ShowRegionMode(bool full_screen);
    void ShowRegionFrameAndMainWindow();

    int mode_ = -1;
    std::atomic<int> state_{kIdle};
    bool float_auto_hide_ = false;
    engine::SessionSlot slot_;
    std::unique_ptr<CRegionWnd> region_wnd_;
    std::unique_ptr<CSelRgnWnd> sel_rgn_wnd_;  // while a selection runs or until the next one
};

}  // namespace vexa::ui
