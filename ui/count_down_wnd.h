// CCountDownWnd: the count-down before a recording (class "Tolvo_CountDown_Wnd"): a click-through,
// always-on-top layered square of 160 pixels in the middle of the screen that shows, for each
// remaining second, the digit of count_down.png shrinking from full size to nothing.
//
// Ownership: the record page creates it with Show() and keeps it; when the count-down is over the
// window closes itself and then calls the page's callback once. The page may drop it at any time
// (the callback then never runs), also from inside the callback.
// Threads: user-interface thread only, on a 50 ms timer.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/error.h"
#include "toolkit/window.h"
#include "ui/float_wnd_rules.h"

namespace vexa::ui {

class CCountDownWnd final : public toolkit::Window {
  public:
    static constexpr int kTimerId = 1;
    static constexpr int kTimerPeriodMs = 50;

    using Finished = std::function<void()>;

    // Shows the count-down of `duration` that began at `start` (both on `now`'s clock, the
    // monotonic clock by default). Fails when the window cannot be made; the caller then starts at
    // once.
    [[nodiscard]] static Result<std::unique_ptr<CCountDownWnd>> Show(std::chrono::milliseconds duration,
                                                                     SteadyTime start, Finished finished,
                                                                     TimeSource now = {});
    CCountDownWnd(std::chrono::milliseconds duration, SteadyTime start, Finished finished, TimeSource now);
    ~CCountDownWnd() override;

    // Whether the count-down is over and the window gone.
    [[nodiscard]] bool Over() const { return over_; }

    // --- toolkit::Window ---
    [[nodiscard]] std::string windowClassName() const override { return "Tolvo_CountDown_Wnd"; }
    void onTimer(int id) override;
    void onResize(const QSize& size) override;

  private:
    void Render();
    void Finish();

    std::chrono::milliseconds duration_;
    SteadyTime start_;
    Finished finished_;
    TimeSource now_;
    bool creating_ = true;  // until the window was first shown: the count-down cannot end yet
    bool over_ = false;
    bool blank_ = true;  // the last frame drew nothing
};

}  // namespace vexa::ui
