// The record page's rules without windows: the button table against the layout's own pictures and
// places, and the count-down and docking plan at its edges.
#include "ui/record_rules.h"

#include "ui/failure_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/skin_archive.h"
#include "toolkit/xml_parser.h"

namespace vexa::ui {
namespace {

using namespace std::chrono_literals;

// The element named `name` in a layout tree, or null.
const toolkit::XmlElement* Named(const toolkit::XmlElement& element, std::string_view name) {
    if (const std::string* own = element.attribute("name"); own && *own == name) return &element;
    for (const toolkit::XmlElement& child : element.children)
        if (const toolkit::XmlElement* found = Named(child, name)) return found;
    return nullptr;
}

// The pictures the page gives its buttons are the ones the main layout gives them at first.
TEST(RecordRules, TheButtonPicturesAreTheOnesTheMainLayoutNames) {
    auto skin = toolkit::SkinArchive::openEmbedded();
    ASSERT_TRUE(skin.ok()) << skin.error().message();
    const auto text = skin.value()->layout("MainWnd.xml");
    ASSERT_TRUE(text.ok()) << text.error().message();
    const auto layout = toolkit::parseXml(text.value(), "MainWnd.xml");
    ASSERT_TRUE(layout.ok()) << layout.error().message();
    for (const auto& [button, file] :
         {std::pair{"start_stop_btn", "start.png"}, {"pause_continue_btn", "pause.png"}}) {
        const toolkit::XmlElement* element = Named(layout.value(), button);
        ASSERT_NE(element, nullptr) << button;
        const char* cells[] = {"normalimage", "hotimage", "pushedimage", "disabledimage"};
        for (int cell = 0; cell < 4; ++cell) {
            const std::string* named = element->attribute(cells[cell]);
            ASSERT_NE(named, nullptr) << button << " " << cells[cell];
            EXPECT_EQ(ButtonImage(file, cell), *named) << button << " " << cells[cell];
        }
    }
    // The idle screen page's start button stands where the layout puts it.
    const std::string* padding = Named(layout.value(), "start_stop_btn")->attribute("padding");
    ASSERT_NE(padding, nullptr);
    const QMargins idle = ButtonsFor(0, kStateIdle, false, false).start_stop.padding;
    EXPECT_EQ(*padding, std::to_string(idle.left()) + "," + std::to_string(idle.top()) + "," +
                            std::to_string(idle.right()) + "," + std::to_string(idle.bottom()));
}

TEST(RecordRules, EveryModeAndStateGivesTheButtonsTheirLookPlaceAndEnabledState) {
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

// A box that sends the user to the log keeps its sentence byte for byte; the cause follows on one
// line, then what was done about it, then where the log is.
TEST(FailureText, TheSentenceStaysAndTheCauseNoteAndLogFollowOnALineEach) {
    EXPECT_EQ(
        LogPointingText(kPrepareFailedText, Error(ErrorCode::kNotFound, "speaker 'A' is\nnot connected"),
                        "/s/x.log", UntickedNote({"A", "Mic 2"})),
        "准备录制失败！ 请查看日志以确定错误原因。\nspeaker 'A' is not connected\n已取消勾选：A、Mic "
        "2\n日志：/s/x.log");
    EXPECT_EQ(LogPointingText(kStartFailedText, Error{}, "", UntickedNote({})), kStartFailedText);
}

// Declining the desktop's share dialog is the user's choice, not a fault: said plainly, without the
// log; every other cause of a failed preparation points at the log.
TEST(FailureText, ADeclinedShareIsSaidPlainlyAndOtherPrepareFailuresPointAtTheLog) {
    const Error declined = Error(ErrorCode::kCancelled, "the user declined sharing the screen")
                               .Within("cannot record the screen");
    EXPECT_EQ(PrepareFailedText(declined, "/s/x.log"), kShareDeclinedText);
    EXPECT_EQ(PrepareFailedText(declined, "/s/x.log", "已取消勾选：A"),
              std::string(kShareDeclinedText) + "\n已取消勾选：A");
    EXPECT_EQ(PrepareFailedText(Error(ErrorCode::kPermission, "the desktop refused"), "/s/x.log"),
              std::string(kPrepareFailedText) + "\nthe desktop refused\n日志：/s/x.log");
}

}  // namespace
}  // namespace vexa::ui
