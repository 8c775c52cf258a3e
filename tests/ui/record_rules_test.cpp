// The record page's rules without windows: the button table against the layout's own pictures and
// places, and the count-down and docking plan at its edges.
#include "ui/record_rules.h"

#include <gtest/gtest.h>

namespace vexa::ui {
namespace {

using namespace std::chrono_literals;

TEST(RecordRules, EveryModeAndStateGivesTheButtonsTheirLookPlaceAndEnabledState) {
    // The start button's pictures as MainWnd.xml names them for the idle page.
    EXPECT_EQ(ButtonImage("start.png", 0), "file='start.png' source='0,0,136,56'");
    EXPECT_EQ(ButtonImage("start.png", 3), "file='start.png' source='408,0,544,56'");

    for (int mode = -1; mode <= 3; ++mode) {
        for (int sound = 0; sound < 2; ++sound) {
            for (int camera = 0; camera < 2; ++camera) {
                SCOPED_TRACE(testing::Message()
                             << "mode " << mode << " sound " << sound << " camera " << camera);
                const bool usable = mode == 0 || (mode == 1 && sound) || (mode == 2 && camera);
                EXPECT_EQ(SourcesUsable(mode, sound, camera), usable);

                const RecordButtons idle = ButtonsFor(mode, kStateIdle, sound, camera);
                EXPECT_EQ(idle.region_area_visible, mode == 0);
                EXPECT_FALSE(idle.pause_visible);
                EXPECT_EQ(idle.start_stop, (ButtonLook{"开始录制", "start.png",
                                                       QMargins(72, mode == 0 ? 20 : 96, 0, 0), usable}));

                for (int state : {kStateRecording, kStatePaused}) {
                    const RecordButtons running = ButtonsFor(mode, state, sound, camera);
                    EXPECT_FALSE(running.region_area_visible);
                    EXPECT_TRUE(running.pause_visible);
                    EXPECT_EQ(running.start_stop,
                              (ButtonLook{"停止录制", "stop.png", QMargins(72, 14, 0, 0), true}));
                    EXPECT_EQ(running.pause.tooltip, state == kStateRecording ? "暂停录制" : "继续录制");
                    EXPECT_EQ(running.pause.image_file,
                              state == kStateRecording ? "pause.png" : "continue.png");
                }
            }
        }
    }
}

TEST(RecordRules, TheCountDownLastsAtMostFiveSecondsAndTheBarDocksASecondBeforeItEnds) {
    const SteadyTime pressed = SteadyTime{} + 100h;
    struct Case {
        int seconds;
        std::optional<std::chrono::milliseconds> window;
        std::chrono::milliseconds docking;  // after the press
    };
    for (const Case& c :
         {Case{0, std::nullopt, -1000ms}, Case{-2, std::nullopt, -1000ms}, Case{1, 1000ms, 0ms},
          Case{3, 3000ms, 2000ms}, Case{5, 5000ms, 4000ms}, Case{7, 5000ms, 6000ms}}) {
        const CountDownPlan plan = PlanCountDown(std::chrono::seconds(c.seconds), pressed);
        EXPECT_EQ(plan.window, c.window) << c.seconds;
        EXPECT_EQ(plan.docking_deadline - pressed, c.docking) << c.seconds;
    }
}

}  // namespace
}  // namespace vexa::ui
