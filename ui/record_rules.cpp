#include "ui/record_rules.h"
#include "toolkit/translate.h"

#include <algorithm>

namespace vexa::ui {
namespace {

constexpr int kButtonWidth = 136, kButtonHeight = 56;
constexpr int kButtonLeft = 72;
constexpr int kStartTopScreen = 20, kStartTopOther = 96, kStopTop = 14;
constexpr std::chrono::seconds kLongestCountDown(5);

}  // namespace

bool SourcesUsable(int mode, bool any_sound_selected, bool any_camera_selected) {
    switch (mode) {
        case 0:
            return true;
        case 1:
            return any_sound_selected;
        case 2:
            return any_camera_selected;
        default:
            return false;
    }
}

RecordButtons ButtonsFor(int mode, int state, bool any_sound_selected, bool any_camera_selected) {
    RecordButtons b;
    const bool running = state == kStateRecording || state == kStatePaused;
    b.region_area_visible = mode == 0 && state == kStateIdle;
    b.pause_visible = running;
    if (running) {
        b.pause = state == kStateRecording ? ButtonLook{"暂停录制", "pause.png", {}, true}
                                           : ButtonLook{"继续录制", "continue.png", {}, true};
        b.start_stop = {"停止录制", "stop.png", QMargins(kButtonLeft, kStopTop, 0, 0), true};
        return b;
    }
    b.start_stop = {"开始录制", "start.png",
                    QMargins(kButtonLeft, mode == 0 ? kStartTopScreen : kStartTopOther, 0, 0),
                    SourcesUsable(mode, any_sound_selected, any_camera_selected)};
    return b;
}

std::string ButtonImage(std::string_view file, int cell) {
    return "file='" + std::string(file) + "' source='" + std::to_string(cell * kButtonWidth) + ",0," +
           std::to_string((cell + 1) * kButtonWidth) + "," + std::to_string(kButtonHeight) + "'";
}

bool TabEnabled(int tab, int current_tab, bool recording) {
    return !recording || tab == current_tab;
}

CountDownPlan PlanCountDown(std::chrono::seconds seconds, SteadyTime pressed) {
    const std::chrono::seconds n = std::max(seconds, std::chrono::seconds(0));
    CountDownPlan plan;
    if (n.count() > 0) plan.window = std::min(n, kLongestCountDown);
    plan.docking_deadline = pressed + n - std::chrono::seconds(1);
    return plan;
}

std::string EndedItselfText(const Error& cause) {
    return toolkit::Tr("录制已停止：") + cause.message();
}

}  // namespace vexa::ui
