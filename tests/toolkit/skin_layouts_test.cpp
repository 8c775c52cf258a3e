// Every layout of the embedded skin builds into the controls it names, draws with its own fonts, and
// reads as strict XML would; row templates build as often as needed.
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

#include <set>
#include <string>
#include <vector>

namespace vexa::toolkit {
namespace {

// The names of the elements of a layout that become controls (fonts and defaults carry names too).
void controlNames(const XmlElement& element, std::vector<std::string>& names) {
    static const std::set<std::string> kNotControls = {"Window", "Font", "Default", "Image"};
    if (const std::string* name = element.attribute("name"); name && !kNotControls.contains(element.tag))
        names.push_back(*name);
    for (const XmlElement& child : element.children) controlNames(child, names);
}

// Which names the program looks up, and of which tags, is the skin archive check's table
// (tests/skin/check_skin.py); here every layout builds, and every named element becomes a control
// that can be found by its name.
TEST(SkinLayouts, EveryLayoutBuildsAControlForEachNamedElement) {
    auto opened = SkinArchive::openEmbedded();
    ASSERT_TRUE(opened.ok()) << opened.error().message();
    const std::shared_ptr<SkinArchive> skin = opened.value();
    for (const char* layout : {"MainWnd.xml", "FloatWnd.xml", "MessageWnd.xml", "audio_list_item.xml",
                               "camera_list_item.xml", "file_list_item.xml"}) {
        SCOPED_TRACE(layout);
        const auto text = skin->layout(layout);
        ASSERT_TRUE(text.ok()) << text.error().message();
        const auto document = parseXml(text.value(), layout);
        ASSERT_TRUE(document.ok()) << document.error().message();
        std::vector<std::string> names;
        controlNames(document.value(), names);
        EXPECT_FALSE(names.empty());

        PaintManager manager(skin);
        auto root = buildLayout(layout, manager, createStandIn);
        ASSERT_TRUE(root.ok()) << root.error().message();
        manager.attach(std::move(root).value());
        std::set<std::string> built;
        manager.root()->forEach([&](Control& control) {
            built.insert(control.name());
            return true;
        });
        for (const std::string& name : names) EXPECT_TRUE(built.contains(name)) << name;
    }
}

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

// The skin is strict XML, so Qt reading the raw bytes sees the same elements and attribute values in
// the same order as the layout reader.
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
