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
#include "toolkit/xml_parser.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <QXmlStreamReader>

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
    auto opened = SkinArchive::openEmbedded();
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    const std::shared_ptr<SkinArchive> skin = opened.value();
    PaintManager manager(skin);
    auto root = buildLayout(expected.layout, manager, createStandIn);
    ASSERT_TRUE(root.ok()) << root.error().message();
    manager.attach(std::move(root).value());
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
    auto opened = SkinArchive::openEmbedded();
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    const std::shared_ptr<SkinArchive> skin = opened.value();
    const std::pair<const char*, QSize> sizes[] = {
        {"MainWnd.xml", {960, 593}}, {"FloatWnd.xml", {380, 48}}, {"MessageWnd.xml", {960, 593}}};
    for (const auto& [layout, size] : sizes) {
        PaintManager manager(skin);
        const auto root = buildLayout(layout, manager, createStandIn);
        ASSERT_TRUE(root.ok()) << root.error().message();
        EXPECT_EQ(manager.windowInfo().size, size) << layout;
    }
    PaintManager main(skin);
    ASSERT_TRUE(buildLayout("MainWnd.xml", main, createStandIn).ok());
    EXPECT_EQ(main.windowInfo().caption.bottom(), 50);
}

TEST(SkinWindows, EachWindowDrawsWithTheFontsItsLayoutDeclares) {
    auto opened = SkinArchive::openEmbedded();
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    const std::shared_ptr<SkinArchive> skin = opened.value();
    PaintManager main(skin);
    auto root = buildLayout("MainWnd.xml", main, createStandIn);
    ASSERT_TRUE(root.ok()) << root.error().message();
    main.attach(std::move(root).value());
    main.setClientSize(main.windowInfo().size);
    const QImage before = main.render();
    // The exit prompt declares font 2 at 15 px; the main window's title keeps its 17 px bold font 2.
    PaintManager prompt(skin);
    const auto promptRoot = buildLayout("MessageWnd.xml", prompt, createStandIn);
    ASSERT_TRUE(promptRoot.ok()) << promptRoot.error().message();
    EXPECT_EQ(prompt.font(2).pixelSize(), 15);
    EXPECT_EQ(main.font(2).pixelSize(), 17);
    EXPECT_TRUE(main.font(2).bold());
    main.invalidate(QRect(QPoint(0, 0), main.clientSize()));
    EXPECT_TRUE(main.render() == before) << "the main window changed after the prompt was built";
}

// The skin is strict XML: the loose spellings the layout reader tolerates change nothing in it, so
// Qt reading the raw text sees the same elements and attribute values in the same order.
void flatten(const XmlElement& element, std::vector<std::string>& out) {
    out.push_back("<" + element.tag);
    for (const auto& [name, value] : element.attributes) out.push_back(name + "=" + value);
    for (const XmlElement& child : element.children) flatten(child, out);
    out.push_back("/" + element.tag);
}

TEST(SkinWindows, LayoutsReadAsStrictXmlWould) {
    auto opened = SkinArchive::openEmbedded();
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    int layouts = 0;
    for (const std::string& name : opened.value()->zip().names()) {
        if (!name.ends_with(".xml")) continue;
        ++layouts;
        const auto text = opened.value()->layout(name);
        ASSERT_TRUE(text.ok()) << text.error().message();
        std::vector<std::string> strict;
        QXmlStreamReader reader(QByteArray::fromStdString(text.value()));
        while (!reader.atEnd()) {
            const auto token = reader.readNext();
            if (token == QXmlStreamReader::StartElement) {
                strict.push_back(std::string("<").append(reader.name().toString().toStdString()));
                for (const auto& a : reader.attributes())
                    strict.push_back(a.name().toString().toStdString() + "=" +
                                     a.value().toString().toStdString());
            } else if (token == QXmlStreamReader::EndElement) {
                strict.push_back(std::string("/").append(reader.name().toString().toStdString()));
            }
        }
        ASSERT_FALSE(reader.hasError()) << name << ": " << reader.errorString().toStdString();
        const auto doc = parseXml(text.value(), name);
        ASSERT_TRUE(doc.ok()) << doc.error().message();
        std::vector<std::string> ours;
        flatten(doc.value(), ours);
        EXPECT_EQ(ours, strict) << name;
    }
    EXPECT_EQ(layouts, 6);
}

TEST(SkinWindows, RowTemplatesBuildAsOftenAsNeeded) {
    auto opened = SkinArchive::openEmbedded();
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    const std::shared_ptr<SkinArchive> skin = opened.value();
    PaintManager manager(skin);
    auto list = std::make_unique<List>();
    List* rows = list.get();
    manager.attach(std::move(list));
    manager.setClientSize(QSize(500, 200));
    for (int i = 0; i < 20; ++i) {
        auto row = buildLayout("file_list_item.xml", manager, createStandIn);
        ASSERT_TRUE(row.ok()) << row.error().message();
        rows->add(std::move(row).value());
    }
    manager.updateLayout();
    EXPECT_EQ(rows->count(), 20);
    EXPECT_GT(rows->scrollRange(), 0);
    EXPECT_NE(findChild(*rows->itemAt(19), "play"), findChild(*rows->itemAt(0), "play"));
}

}  // namespace
}  // namespace vexa::toolkit
