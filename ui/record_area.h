// CRecordArea: the record page ("main_record_area"): the three source panels, the full-screen /
// region switch, and the start/stop and pause/continue buttons. It owns the recording control:
// the session slot shared with the recording thread, the recording state (0 idle, 1 recording,
// 2 paused) and the mode (0 screen, 1 sound only, 2 camera, 3 the settings tab; -1 before the first
// tab). A start checks the mode's sources, shows the floating bar (unless the settings hide it),
// disables, hides and locks the main window, hands the request to a RecordingRun (the recording
// thread) and counts down; the state becomes "recording" when the thread reports that the session
// runs. A stop ends the recorded time at once under the slot's lock and lets the thread finish the
// file in the background; the main window comes back. A recording that ends by itself (its file
// cannot grow) is stopped the same way and its cause shown. Every failure is logged with its cause
// and shown in a message box.
// The main window hands the page its collaborators at InitPage (RecordPageParts): the three source
// panels, the settings page, the recordings list and the Shell; they live as long as the page. It owns the
// region frame, the selection window, the floating bar and the count-down while they exist, and the
// current run (which owns the run before it until that one's thread has ended).
// Threads: the user-interface thread runs every handler. The recording thread shares the session
// slot (its own SpinLock) and the run's flags, and reaches the page only by posting to the page's
// hidden message window; the posts of an earlier start are recognised and dropped.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/recording.h"
#include "engine/session_slot.h"
#include "platform/error.h"
#include "toolkit/button.h"
#include "toolkit/container.h"
#include "ui/count_down_wnd.h"
#include "ui/float_wnd.h"
#include "ui/panel_host.h"
#include "ui/record_rules.h"
#include "ui/recording_run.h"
#include "ui/region_wnd.h"
#include "ui/sel_rgn_wnd.h"

namespace vexa::ui {

struct SourceRow;
class CAudioArea;
class CCameraArea;
class CDesktopArea;
class CFileList;
class CSettingArea;
class Shell;
class SourcePanel;

// What the record page works with besides its own controls.
struct RecordPageParts {
    CDesktopArea& desktop;
    CAudioArea& audio;
    CCameraArea& camera;
    const CSettingArea& settings;
    CFileList& files;
    Shell& shell;  // the main window's services (settings store, screen size, the main window)
};

class CRecordArea : public toolkit::Container, public FloatWndHost, public PanelHost {
  public:
    enum State : int { kIdle = kStateIdle, kRecording = kStateRecording, kPaused = kStatePaused };

    CRecordArea();  // reads the floating bar's auto-hide flag
    // Stops a recording, releases a thread still waiting for its count-down, and waits for the
    // recording thread (which finishes the file).
    ~CRecordArea() override;

    // Keeps `parts`, finds the page's controls, attaches its handlers, creates the region frame and
    // the message window, and sets up the three panels (with this page as their host).
    [[nodiscard]] Error InitPage(const RecordPageParts& parts);
    // Only keeps `parts` (InitPage's first step), for a test that sets the panels up itself.
    void SetParts(const RecordPageParts& parts);
    // The tab bar chose another mode (previous -1 at the first selection).
    void SetMode(int mode, int previous);
    // Starts when idle, stops otherwise (a start still counting down is taken back: no file);
    // `force` always stops.
    void ToggleRecording(bool force);
    // The hotkey id of Esc, grabbed from the desktop while a count-down runs.
    static constexpr int kCancelKeyId = 999;
    // Esc during a start's count-down: the start is taken back (no file), the main window returns
    // as after a stop. Nothing otherwise.
    void CancelCountDown();
    // Recording <-> paused (nothing while idle); the bar and the buttons follow.
    void TogglePause();
    // Region mode: freezes the screen and lets the user pick the region (nothing in full-screen mode).
    void SelectRegion();
    // Full screen <-> region ("switch_btn"); to region mode through a new selection.
    void ToggleRegionMode();
    // The frame around the recorded region (null before InitPage).
    [[nodiscard]] CRegionWnd* RegionWnd() const { return region_wnd_.get(); }

    // The region controls, the two buttons' looks, tooltips (with their hotkeys) and enabled states
    // for the mode and state.
    void UpdateButtons();
    // While recording only the current tab, the volume sliders of the sound-only mode and the
    // region frame (passing clicks through) stay usable; idle gives back what recording took.
    void LockControls(bool recording);
    // Closes the current panel's drop-down and any region selection.
    void ClosePopups();

    [[nodiscard]] int Mode() const override { return mode_; }
    // The sound-only panel has a ticked row; the camera panel has a selected camera.
    [[nodiscard]] bool AnySoundSelected() const;
    [[nodiscard]] bool AnyCameraSelected() const;
    // The primary screen changed: the running session's display-change counter goes up once.
    void NotifyDisplayChange();
    // The sound-only panel moved the volume of `row`: while a recording runs (or is paused) the
    // session's input of that row takes it at once (under the session slot's lock).
    void SetSourceVolume(const SourceRow& row, int volume) override;
    // While idle in `mode`, the start control is enabled exactly when `any_selected`.
    void EnableStartFor(int mode, bool any_selected) override;

    // --- FloatWndHost ---
    [[nodiscard]] int RecordingState() const override { return state_.load(std::memory_order_acquire); }
    [[nodiscard]] bool CountingDown() const override { return counting_down_; }
    [[nodiscard]] bool FloatAutoHide() const override { return float_auto_hide_; }
    void SetFloatAutoHide(bool on) override { float_auto_hide_ = on; }
    void OnFloatCommand(FloatCommand command) override;
    [[nodiscard]] const HotkeySlot* Hotkey(std::size_t slot) const override;

  private:
    class Messages;

    void AttachHandlers();
    [[nodiscard]] Error CreateRegionFrame();
    // The region frame reports a new region, the start or the end of a drag.
    void OnRegionFrame(int kind, bool full_screen, const settings::Rect& region);
    void OnSelectionFinished(int result, const settings::Rect& region);
    void ShowRegionMode(bool full_screen);
    void ShowRegionFrameAndMainWindow();

    void StartRecording();
    void StopRecording();
    void MarkSessionStopped();
    // The floating bar at the work area's corner; false (after saying why) when it cannot be made.
    [[nodiscard]] bool CreateFloatWnd();
    [[nodiscard]] engine::RecordingRequest BuildRequest(const CSettingArea& setting) const;
    void StartCountDown(const CountDownPlan& plan, SteadyTime pressed);
    // Esc reaches the page while the count-down window shows (grabbed from the desktop), or not.
    void GrabCancelKey(bool grab);
    // The recording thread of start `run_id` reports.
    void OnRunEvent(std::uint64_t run_id, RunEvent event);
    void OnStarted();
    void OnStartFailed(RunEvent event);
    void OnEndedItself();
    void OnFolderCreated();
    // The panel of the current mode (null in the settings tab or before the first one).
    [[nodiscard]] SourcePanel* CurrentPanel() const;
    void Lock(toolkit::Control* control);
    void ShowError(const std::string& text);
    // Whether `path` is the file of the recording that runs or starts.
    [[nodiscard]] bool IsBeingRecorded(const std::string& path) const;

    // From InitPage on; they outlive the page.
    CDesktopArea* desktop_ = nullptr;
    CAudioArea* audio_ = nullptr;
    CCameraArea* camera_ = nullptr;
    const CSettingArea* settings_ = nullptr;
    CFileList* files_ = nullptr;
    Shell* shell_ = nullptr;
    int mode_ = -1;
    std::atomic<int> state_{kIdle};
    bool float_auto_hide_ = false;
    bool starting_ = false;       // from a start until its thread reports that the session runs
    bool counting_down_ = false;  // the count-down window shows: a stop takes the start back
    bool cancel_key_ = false;     // Esc is grabbed
    std::uint64_t run_id_ = 0;    // of the latest start
    toolkit::Button* start_stop_ = nullptr;
    toolkit::Button* pause_continue_ = nullptr;
    toolkit::Control* region_area_ = nullptr;
    std::vector<toolkit::Control*> locked_;  // what LockControls disabled, to be enabled again
    engine::SessionSlot slot_;
    std::unique_ptr<RecordingRun> run_;  // after the slot: its thread uses the slot until joined
    std::unique_ptr<Messages> messages_;
    std::unique_ptr<CCountDownWnd> count_down_;
    std::unique_ptr<CFloatWnd> float_wnd_;
    std::unique_ptr<CRegionWnd> region_wnd_;
    std::unique_ptr<CSelRgnWnd> sel_rgn_wnd_;  // while a selection runs or until the next one
};

}  // namespace vexa::ui
