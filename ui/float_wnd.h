// CFloatWnd: the floating control bar that stands in for the hidden main window while recording
// (class "VexaRecorder_Float_Window", layout "FloatWnd.xml"): an always-on-top strip with
// pause/continue, stop, show-main-window and auto-hide buttons and an hh:mm:ss clock of recorded
// time. It is dragged within the work area, and with auto-hide on it slides off the nearer screen
// edge after four idle seconds, leaving an 8-pixel rim, and slides back when the mouse touches it.
//
// Ownership: the record page creates the bar at a start, owns it and destroys it at the stop; the
// bar reaches the page only through the FloatWndHost it was given, which must outlive it.
// Threads: user-interface thread only. Movements (hiding, showing, docking) run on a timer of the
// window, one at a time: a new movement replaces the running one where it stands.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/error.h"
#include "toolkit/paint_manager.h"
#include "toolkit/window.h"
#include "ui/hotkey_slot.h"
#include "ui/float_wnd_rules.h"

namespace vexa::toolkit {
class Button;
}  // namespace vexa::toolkit

namespace vexa::ui {

class CLCDDigit;

// What the bar's buttons ask of the record page.
enum class FloatCommand : int { kPauseContinue = 1, kStop = 2, kShowMainWindow = 3 };

// The record page as the bar sees it.
class FloatWndHost {
  public:
    virtual ~FloatWndHost() = default;
    // 0 idle (also while a start is still counting down), 1 recording, 2 paused.
    [[nodiscard]] virtual int RecordingState() const = 0;
    // A start is counting down: the stop button takes it back.
    [[nodiscard]] virtual bool CountingDown() const { return false; }
    // The page's auto-hide flag; the bar flips it with its auto-hide button.
    [[nodiscard]] virtual bool FloatAutoHide() const = 0;
    virtual void SetFloatAutoHide(bool on) = 0;
    // A button was pressed while recording. Delivered from the bar's message queue, never from
    // inside its control tree, so the host may destroy the bar here.
    virtual void OnFloatCommand(FloatCommand command) = 0;
    // The global hotkey of `slot` (0 start/stop, 1 pause, 3 show/hide), shown in the buttons'
    // tooltips; null when the host has none.
    [[nodiscard]] virtual const HotkeySlot* Hotkey(std::size_t slot) const {
        (void)slot;
        return nullptr;
    }
};

class CFloatWnd final : public toolkit::Window, public toolkit::NotifyReceiver {
  public:
    static constexpr int kTimerId = 103345;  // clock and auto-hide, every 50 ms
    static constexpr int kTimerPeriodMs = 50;
    static constexpr int kMoveTimerId = 103346;  // the running movement, every 10 ms
    static constexpr int kMoveTimerPeriodMs = 10;
    // Posted to itself when its owner is minimised: come to the foreground.
    static constexpr std::uint32_t kForegroundMessage = toolkit::kUserMessage + 1;
    static constexpr std::intptr_t kForegroundTag = 0x12345678;

    // `now` defaults to the monotonic clock.
    explicit CFloatWnd(FloatWndHost& host, TimeSource now = {});
    ~CFloatWnd() override;

    // Creates the hidden top-most tool window owned by `owner` (the main window) and builds its
    // layout. kNotFound names a missing control; a layout that cannot be built gives its error.
    [[nodiscard]] Error Create(toolkit::Window* owner);

    // --- what the record page does at a start ---
    // Puts the bar at the work area's bottom right, its right edge 8 pixels beyond the area's,
    // and counts that as mouse activity.
    void PlaceAtWorkAreaCorner();
    // Marks the bar as docked and plans its docking for `deadline` (a second before the count-down
    // ends): a delayed docking when the deadline lies ahead; otherwise, with auto-hide on, docked at
    // once at the nearer edge and counted as idle.
    void ScheduleDocking(SteadyTime deadline);
    // Applies the page's recording state (after the start succeeded, after each pause and continue).
    void SetRecordingState();

    [[nodiscard]] SteadyTime LastActivity() const { return last_activity_; }
    void SetLastActivity(SteadyTime when) { last_activity_ = when; }
    [[nodiscard]] bool Hidden() const { return hidden_; }
    [[nodiscard]] bool Moving() const { return slide_.has_value(); }
    [[nodiscard]] bool Dragging() const { return dragging_; }
    [[nodiscard]] std::chrono::milliseconds RecordedTimeShown() const { return clock_.Elapsed(); }

    // --- toolkit::Window ---
    [[nodiscard]] std::string windowClassName() const override { return "VexaRecorder_Float_Window"; }
    bool onCreate() override;
    std::optional<std::intptr_t> handleMessage(const toolkit::Message& message) override;
    void onTimer(int id) override;
    void onOwnerMinimized(bool minimized) override;
    [[nodiscard]] toolkit::HitTest hitTest(const QPoint& client) const override;
    bool onMouse(const toolkit::MouseInput& input) override;
    void notify(toolkit::Notification& notification) override;

  private:
    [[nodiscard]] Error Build();
    [[nodiscard]] SteadyTime Now() const { return now_(); }
    void ShowClock();
    void CheckAutoHide(SteadyTime now);
    [[nodiscard]] bool CursorOnBar() const;
    void FlipAutoHide();
    void MoveLeftTo(int left);
    void StartSlide(const BarSlide& slide, bool docking);
    void StopSlide();
    void StepSlide();

    FloatWndHost& host_;
    TimeSource now_;
    Error create_error_;

    toolkit::Button* pause_continue_ = nullptr;
    toolkit::Button* stop_ = nullptr;
    toolkit::Button* show_main_ = nullptr;
    toolkit::Button* hide_float_ = nullptr;
    std::array<CLCDDigit*, 6> digits_{};

    RecordedTime clock_;
    SteadyTime last_activity_{};
    bool hidden_ = false;
    std::optional<BarSlide> slide_;
    bool slide_docks_ = false;  // the running movement is the docking of the start
    bool dragging_ = false;
    QPoint grab_cursor_;
    QRect grab_rect_;
};

}  // namespace vexa::ui
