// The record page's rules that need no window: which sources a mode needs before it may start, how
// the start/stop and pause/continue buttons look in each mode and state, which tabs stay usable
// while recording, how long the count-down runs and when the floating bar docks, and the texts the
// page shows when a recording fails. The page (ui/record_area.h) only applies them.
// Thread-safety: plain values and pure functions.
#pragma once

#include <QMargins>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "ui/float_wnd_rules.h"

namespace vexa::ui {

// Recording states of the page.
inline constexpr int kStateIdle = 0, kStateRecording = 1, kStatePaused = 2;

// Whether `mode` has what it records: the screen always, sound only a ticked speaker or microphone,
// the camera mode a ticked camera; no other mode records.
[[nodiscard]] bool SourcesUsable(int mode, bool any_sound_selected, bool any_camera_selected);

// How one of the page's round buttons looks: its tooltip before the hotkey line, the file whose four
// 136 x 56 cells are the normal, hot, pushed and disabled pictures, and its padding (the start/stop
// button's only; the pause button keeps the layout's place).
struct ButtonLook {
    std::string_view tooltip;
    std::string_view image_file;
    QMargins padding;
    bool enabled = true;
    bool operator==(const ButtonLook&) const = default;
};

// What UpdateButtons applies.
struct RecordButtons {
    bool region_area_visible = false;  // "sel_rgn_area"
    bool pause_visible = false;        // "pause_continue_btn"
    ButtonLook pause;                  // meaningful while pause_visible
    ButtonLook start_stop;
    bool operator==(const RecordButtons&) const = default;
};

// Idle: "开始录制" with start.png, enabled when the mode's sources are usable, 20 pixels down in
// screen mode (under the region controls) and 96 in the others. Recording or paused: "停止录制"
// with stop.png 14 pixels down, always enabled, and the pause button "暂停录制" (pause.png) while
// recording or "继续录制" (continue.png) while paused.
[[nodiscard]] RecordButtons ButtonsFor(int mode, int state, bool any_sound_selected,
                                       bool any_camera_selected);

// The image attribute of cell `cell` (0 normal, 1 hot, 2 pushed, 3 disabled) of a button file.
[[nodiscard]] std::string ButtonImage(std::string_view file, int cell);

// Left tab `tab` is usable: all four while idle, only the current one while recording.
[[nodiscard]] bool TabEnabled(int tab, int current_tab, bool recording);

// The count-down of a start pressed at `pressed` with the settings' `seconds` (0: none).
struct CountDownPlan {
    // How long the count-down window counts: at most five seconds; none without a count-down.
    std::optional<std::chrono::milliseconds> window;
    // When the floating bar stands docked: a second before the count-down ends (in the past for a
    // count-down of one second or none).
    SteadyTime docking_deadline;
};
[[nodiscard]] CountDownPlan PlanCountDown(std::chrono::seconds seconds, SteadyTime pressed);

// --- what the page says ---
inline constexpr const char* kWrongSourcesText = "选择的录制内容不对！";
inline constexpr const char* kFloatWndFailedText = "创建录制创建浮动窗口失败！";
inline constexpr const char* kThreadFailedText = "创建准备录制线程失败！";
inline constexpr const char* kPrepareFailedText = "准备录制失败！ 请查看日志以确定错误原因。";
inline constexpr const char* kShareDeclinedText = "屏幕共享已被拒绝，录制没有开始。";
inline constexpr const char* kStartFailedText = "启动录制失败！ 请查看日志以确定错误原因。";

// The message for a recording that ended by itself: "录制已停止：" and the cause.
[[nodiscard]] std::string EndedItselfText(const Error& cause);

}  // namespace vexa::ui
