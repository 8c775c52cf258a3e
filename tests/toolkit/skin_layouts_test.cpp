// Every layout of the embedded skin builds, and every control the program looks up is there,
// inside the part of the layout where the program looks for it.
#include "toolkit/button.h"
#include "toolkit/combo.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/list.h"
#include "toolkit/paint_manager.h"
#include "toolkit/skin_archive.h"
#include "toolkit/slider.h"
#include "toolkit/stand_ins.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QImage>

namespace vexa::toolkit {
namespace {

struct Expectation {
    const char* layout;
    const char* scope;  // control to search inside; empty for the whole layout
    std::vector<std::pair<const char*, const char*>> controls;  // name, toolkit class it must be
};

const std::vector<Expectation>& expectations() {
    static const std::vector<Expectation> table = {
        {"MainWnd.xml",
         "",
         {{"main_title_bar", "HorizontalLayout"},
          {"main_icon", "Label"},
          {"main_minbtn", "Button"},
          {"main_closebtn", "Button"},
          {"main_left_tab", "Container"},
          {"desktop_btn", "Option"},
          {"sound_btn", "Option"},
          {"camera_btn", "Option"},
          {"setting_btn", "Option"},
          {"main_record_area", "Container"},
          {"main_setting_area", "Container"},
          {"file_list", "List"}}},
        {"MainWnd.xml",
         "main_record_area",
         {{"desktop_param_area", "Container"},
          {"audio_param_area", "Container"},
          {"camera_param_area", "Container"},
          {"sel_rgn_btn", "Button"},
          {"sel_rgn_btn_info", "Label"},
          {"switch_btn", "Button"},
          {"start_stop_btn", "Button"},
          {"pause_continue_btn", "Button"},
          {"file_list", "List"}}},
        {"MainWnd.xml",
         "desktop_param_area",
         {{"video_quality_slider", "Slider"},
          {"video_quality_val", "Edit"},
          {"audio_quality_slider", "Slider"},
          {"audio_quality_val", "Edit"},
          {"speaker_select_box", "CheckBox"},
          {"speaker_icon", "Control"},
          {"speaker_vol_slider", "Slider"},
          {"speaker_vol_value", "Edit"},
          {"speaker_list_btn", "Button"},
          {"mic_select_box", "CheckBox"},
          {"mic_icon", "Control"},
          {"mic_vol_slider", "Slider"},
          {"mic_vol_value", "Edit"},
          {"mic_list_btn", "Button"},
          {"camera_select_box", "CheckBox"},
          {"camera_list_btn", "Button"}}},
        {"MainWnd.xml",
         "audio_param_area",
         {{"audio_quality_slider", "Slider"},
          {"audio_quality_val", "Edit"},
          {"speaker_select_box", "CheckBox"},
          {"speaker_vol_slider", "Slider"},
          {"speaker_list_btn", "Button"},
          {"mic_select_box", "CheckBox"},
          {"mic_vol_slider", "Slider"},
          {"mic_list_btn", "Button"}}},
        {"MainWnd.xml",
         "camera_param_area",
         {{"video_quality_slider", "Slider"},
          {"audio_quality_slider", "Slider"},
          {"camera_select_box", "CheckBox"},
          {"camera_list_btn", "Button"},
          {"speaker_select_box", "CheckBox"},
          {"mic_select_box", "CheckBox"}}},
        {"MainWnd.xml",
         "main_setting_area",
         {{"output_dir", "Edit"},
          {"browse_btn", "Button"},
          {"desktop_frames", "Combo"},
          {"record_mouse", "CheckBox"},
          {"start_stop_item", "Option"},
          {"pause_continue_item", "Option"},
          {"select_desktop_rgn_item", "Option"},
          {"show_hide_main_wnd", "Option"},
          {"ctrl_key", "CheckBox"},
          {"shift_key", "CheckBox"},
          {"alt_key", "CheckBox"},
          {"key_combo", "Combo"},
          {"boot_start_program", "CheckBox"},
          {"start_begin_record", "CheckBox"},
          {"count_down", "CheckBox"},
          {"count_down_val", "Combo"},
          {"record_hide_wnd", "CheckBox"},
          {"hide_desk_area_wnd", "CheckBox"},
          {"close_to_hide", "Option"},
          {"close_to_exit", "Option"}}},
        {"FloatWnd.xml",
         "",
         {{"pause_continue_btn", "Button"},
          {"stop_btn", "Button"},
          {"h_ten", "Control"},
          {"h_one", "Control"},
          {"m_ten", "Control"},
          {"m_one", "Control"},
          {"s_ten", "Control"},
          {"s_one", "Control"},
          {"show_main_wnd", "Button"},
          {"hide_float_wnd", "Button"}}},
        {"MessageWnd.xml",
         "",
         {{"optMin", "Option"},
          {"optClose", "Option"},
          {"chkPrompt", "CheckBox"},
          {"btnOK", "Button"},
          {"btnCancel", "Button"},
          {"closebtn", "Button"}}},
        {"audio_list_item.xml",
         "",
         {{"select_box", "CheckBox"}, {"icon", "Control"}, {"vol_slider", "Slider"}, {"vol_value", "Edit"}}},
        {"camera_list_item.xml", "", {{"camera_select_box", "CheckBox"}}},
        {"file_list_item.xml",
         "",
         {{"file", "Label"},
          {"time1", "Label"},
          {"time2", "Label"},
          {"time3", "Label"},
          {"time4", "Label"},
          {"time5", "Label"},
          {"size", "Label"},
          {"btns", "HorizontalLayout"},
          {"play", "Button"},
          {"open_dir", "Button"},
          {"del", "Button"}}},
    };
    return table;
}

class SkinLayouts : public ::testing::TestWithParam<Expectation> {};

TEST_P(SkinLayouts, BuildsAndHoldsEveryNamedControl) {
    const Expectation& expected = GetParam();
    std::string error;
    auto skin = SkinArchive::openEmbedded(&error);
    ASSERT_TRUE(skin) << error;
    PaintManager manager(skin);
    auto root = buildLayout(expected.layout, manager, createStandIn, &error);
    ASSERT_TRUE(root) << error;
    manager.attach(std::move(root));
    Control* scope = manager.root();
    if (*expected.scope) {
        scope = manager.findControl(expected.scope);
        ASSERT_NE(scope, nullptr) << expected.scope;
    }
    for (const auto& [name, className] : expected.controls) {
        Control* control = findChild(*scope, name);
        ASSERT_NE(control, nullptr) << expected.layout << ": " << name;
        EXPECT_TRUE(control->isA(className))
            << name << " is a " << control->className() << ", not a " << className;
    }
}

INSTANTIATE_TEST_SUITE_P(Skin, SkinLayouts, ::testing::ValuesIn(expectations()),
                         [](const ::testing::TestParamInfo<Expectation>& param) {
                             std::string name = param.param.layout;
                             name = name.substr(0, name.find('.')) + "_" +
                                    (*param.param.scope ? param.param.scope : "all");
                             return name;
                         });

TEST(SkinWindows, WindowLayoutsCarryTheirSizes) {
    std::string error;
    auto skin = SkinArchive::openEmbedded(&error);
    ASSERT_TRUE(skin) << error;
    const std::pair<const char*, QSize> sizes[] = {
        {"MainWnd.xml", {960, 593}}, {"FloatWnd.xml", {380, 48}}, {"MessageWnd.xml", {960, 593}}};
    for (const auto& [layout, size] : sizes) {
        PaintManager manager(skin);
        ASSERT_TRUE(buildLayout(layout, manager, createStandIn, &error)) << error;
        EXPECT_EQ(manager.windowInfo().size, size) << layout;
    }
    PaintManager main(skin);
    ASSERT_TRUE(buildLayout("MainWnd.xml", main, createStandIn, &error));
    EXPECT_EQ(main.windowInfo().caption.bottom(), 50);
}

TEST(SkinWindows, EachWindowDrawsWithTheFontsItsLayoutDeclares) {
    std::string error;
    auto skin = SkinArchive::openEmbedded(&error);
    ASSERT_TRUE(skin) << error;
    PaintManager main(skin);
    auto root = buildLayout("MainWnd.xml", main, createStandIn, &error);
    ASSERT_TRUE(root) << error;
    main.attach(std::move(root));
    main.setClientSize(main.windowInfo().size);
    const QImage before = main.render();
    // The exit prompt declares font 2 at 15 px; the main window's title keeps its 17 px bold font 2.
    PaintManager prompt(skin);
    ASSERT_TRUE(buildLayout("MessageWnd.xml", prompt, createStandIn, &error)) << error;
    EXPECT_EQ(prompt.font(2).pixelSize(), 15);
    EXPECT_EQ(main.font(2).pixelSize(), 17);
    EXPECT_TRUE(main.font(2).bold());
    main.invalidate(QRect(QPoint(0, 0), main.clientSize()));
    EXPECT_TRUE(main.render() == before) << "the main window changed after the prompt was built";
}

TEST(SkinWindows, RowTemplatesBuildAsOftenAsNeeded) {
    std::string error;
    auto skin = SkinArchive::openEmbedded(&error);
    ASSERT_TRUE(skin) << error;
    PaintManager manager(skin);
    auto list = std::make_unique<List>();
    List* rows = list.get();
    manager.attach(std::move(list));
    manager.setClientSize(QSize(500, 200));
    for (int i = 0; i < 20; ++i) {
        auto row = buildLayout("file_list_item.xml", manager, createStandIn, &error);
        ASSERT_TRUE(row) << error;
        rows->add(std::move(row));
    }
    manager.updateLayout();
    EXPECT_EQ(rows->count(), 20);
    EXPECT_GT(rows->scrollRange(), 0);
    EXPECT_NE(findChild(*rows->itemAt(19), "play"), findChild(*rows->itemAt(0), "play"));
}

}  // namespace
}  // namespace vexa::toolkit
