// CSelRgnWnd ("Screen_Rgn_Sel_Wnd"): the full-screen overlay in which the user picks the region to
// record, over a frozen, dimmed picture of the screen. Hovering outlines the window under the
// pointer (its deepest visible child), a click takes it, a drag takes any rectangle; a size label
// and a 7x magnifier follow the pointer, the arrow keys nudge it by one pixel, and Esc, a right
// click or another program taking the focus once the overlay has opened cancel (the focus moving
// while it opens, or to one of this program's windows, does not).
// It reports through its callback: kCandidateChanged (0) on every change while hovering or
// dragging, then once kChosen (1) with the rectangle or kCancelled (2) with (0, 0, -1, -1), after
// the overlay has closed. It lives for one selection; the owner deletes the object (deleting it
// closes the overlay without a report).
// Thread-safety: user-interface thread only.
#pragma once

#include <chrono>
#include <memory>

#include "platform/error.h"
#include "toolkit/window.h"
#include "ui/region_geometry.h"
#include "ui/sel_rgn_canvas.h"

namespace vexa::ui {

class CSelRgnWnd : public toolkit::Window {
  public:
    enum class State { kIdle = 0, kPressed = 1, kDragging = 2, kCompleted = 3 };

    CSelRgnWnd();
    ~CSelRgnWnd() override;

    // Freezes the screen, creates the overlay and shows it topmost. With a `settle` time the
    // overlay first waits that long, so that windows the owner just hid are gone from the picture;
    // a failure after the wait ends the selection as cancelled. Fails (nothing shown, no report)
    // when the screen cannot be copied or the window cannot be made.
    [[nodiscard]] Error BeginSelection(toolkit::Window* owner, region::RegionCallback callback,
                                       std::chrono::milliseconds settle = std::chrono::milliseconds(0));
    // Ends the selection as cancelled (a display change, the owner's request).
    void Cancel();

    [[nodiscard]] State SelectionState() const { return state_; }
    // The rectangle offered now: the window under the pointer or the dragged one.
    [[nodiscard]] QRect Candidate() const { return candidate_; }
    // Shown moments ago (1.5 s): a focus loss now does not cancel.
    [[nodiscard]] bool Opening() const { return opening_; }

    [[nodiscard]] std::string windowClassName() const override { return "Screen_Rgn_Sel_Wnd"; }

  protected:
    bool onMouse(const toolkit::MouseInput& input) override;
    bool onKey(int key, Qt::KeyboardModifiers modifiers) override;
    void onFocusLost() override;
    void onTimer(int id) override;
    void onPaint(QPainter& painter, const QRect& dirty) override;
    void onFinalMessage() override;

  private:
    [[nodiscard]] Error Start();
    void MouseMoveStep(QPoint screen_point);
    [[nodiscard]] QRect WindowUnder(QPoint point) const;
    void Finish(int code);

    region::RegionCallback callback_;
    QSize screen_;
    std::unique_ptr<SelectionCanvas> canvas_;
    State state_ = State::kIdle;
    QPoint press_;
    QPoint anchor_;
    QRect candidate_ = region::NoRegion();
    int result_ = region::kCancelled;  // reported once the window is gone
    bool report_ = true;               // false when BeginSelection failed
    bool opening_ = false;             // shown moments ago: focus moves do not cancel
};

}  // namespace vexa::ui
