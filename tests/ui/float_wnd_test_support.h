// What the floating bar's window tests share besides the test shell: the record page that owns the
// bar in the program, played by FakeHost, and a clock the test moves itself. User-interface thread
// only.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "ui/float_wnd.h"

namespace vexa::ui::testing {

// The record page as the bar sees it.
class FakeHost : public FloatWndHost {
  public:
    [[nodiscard]] int RecordingState() const override { return state; }
    [[nodiscard]] bool FloatAutoHide() const override { return auto_hide; }
    void SetFloatAutoHide(bool on) override { auto_hide = on; }
    void OnFloatCommand(FloatCommand command) override {
        commands.push_back(command);
        if (on_command) on_command(command);
    }

    int state = 0;
    bool auto_hide = false;
    std::vector<FloatCommand> commands;
    std::function<void(FloatCommand)> on_command;
};

// A clock that moves only when the test says so.
struct ManualTime {
    SteadyTime now = SteadyTime{} + std::chrono::hours(1000);
    [[nodiscard]] TimeSource Source() {
        return [this] { return now; };
    }
};

}  // namespace vexa::ui::testing
