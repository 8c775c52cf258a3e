#include "toolkit/button.h"
#include "toolkit/combo.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/label.h"
#include "toolkit/list.h"
#include "toolkit/paint_manager.h"
#include "toolkit/slider.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <thread>

namespace vexa::toolkit {
namespace {

struct Recorder : NotifyReceiver {
    struct Entry {
        std::string type;
        std::string sender;
        std::uintptr_t wparam;
        std::intptr_t lparam;
    };
    std::vector<Entry> seen;
    void notify(Notification& n) override {
        seen.push_back({n.type, n.sender ? n.sender->name() : "", n.wparam, n.lparam});
    }
    [[nodiscard]] int count(const std::string& type) const {
        return static_cast<int>(
            std::count_if(seen.begin(), seen.end(), [&](const Entry& e) { return e.type == type; }));
    }
};

class ControlsTest : public ::testing::Test {
  protected:
    void build(const std::string& xml, QSize size = {400, 300}) {
        auto root = buildLayoutText(xml, manager, nullptr);
        ASSERT_TRUE(root.ok()) << root.error().message();
        manager.attach(std::move(root).value());
        manager.setClientSize(size);
        manager.updateLayout();
        manager.addNotifier(&recorder);
    }
    template <class T = Control>
    T& get(std::string_view name) {
        auto* c = manager.find<T>(name);
        EXPECT_NE(c, nullptr) << name;
        return *c;
    }
    void click(std::string_view name) {
        const QPoint p = get(name).rect().center();
        manager.mouseMove(p);
        manager.buttonDown(p);
        manager.buttonUp(p);
    }
    PaintManager manager{nullptr};
    Recorder recorder;
};

TEST_F(ControlsTest, ButtonClicksOnlyWhenReleasedOverItAndEnabled) {
    build(R"(<HorizontalLayout><Button name="ok" width="50"/><Control/></HorizontalLayout>)");
    click("ok");
    ASSERT_EQ(recorder.count("click"), 1);
    EXPECT_EQ(recorder.seen[0].sender, "ok");
    // Pressed, dragged off and released elsewhere: no click.
    manager.buttonDown(get("ok").rect().center());
    manager.mouseMove(QPoint(200, 10));
    manager.buttonUp(QPoint(200, 10));
    EXPECT_EQ(recorder.count("click"), 1);
    get("ok").setEnabled(false);
    click("ok");
    EXPECT_EQ(recorder.count("click"), 1);
}

TEST_F(ControlsTest, OptionGroupKeepsExactlyOneSelected) {
    build(R"(<HorizontalLayout>
               <Option name="a" group="g" selected="true"/><Option name="b" group="g"/>
               <Option name="c" group="g" selected="true"/><Option name="solo"/>
             </HorizontalLayout>)");
    // In a group the last "selected" of the layout wins.
    EXPECT_FALSE(get<Option>("a").isSelected());
    EXPECT_TRUE(get<Option>("c").isSelected());
    click("b");
    EXPECT_TRUE(get<Option>("b").isSelected());
    EXPECT_FALSE(get<Option>("a").isSelected());
    EXPECT_FALSE(get<Option>("c").isSelected());
    EXPECT_EQ(recorder.count("selectchanged"), 1);
    EXPECT_EQ(recorder.seen.back().sender, "b");
    click("b");  // clicking the selected member changes nothing
    EXPECT_TRUE(get<Option>("b").isSelected());
    EXPECT_EQ(recorder.count("selectchanged"), 1);
    get<Option>("a").setSelected(true, false);  // silently
    EXPECT_FALSE(get<Option>("b").isSelected());
    EXPECT_EQ(recorder.count("selectchanged"), 1);
    click("solo");
    click("solo");
    EXPECT_FALSE(get<Option>("solo").isSelected());
    EXPECT_EQ(recorder.count("selectchanged"), 3);
    EXPECT_EQ(recorder.count("click"), 4);
}

TEST_F(ControlsTest, CheckBoxToggles) {
    build(R"(<HorizontalLayout><CheckBox name="chk" width="40"/></HorizontalLayout>)");
    auto& box = get<CheckBox>("chk");
    click("chk");
    EXPECT_TRUE(box.isChecked());
    box.setChecked(false, false);
    EXPECT_EQ(recorder.count("selectchanged"), 1);
    click("chk");
    EXPECT_TRUE(box.isChecked());
    EXPECT_EQ(recorder.count("selectchanged"), 2);
}

TEST_F(ControlsTest, SliderWithImmReportsWhileDragging) {
    build(R"(<VerticalLayout>
               <Slider name="imm" height="20" width="110" thumbsize="10,10" imm="true"/>
               <Slider name="plain" height="20" width="110" thumbsize="10,10" min="0" max="100" value="0"/>
             </VerticalLayout>)");
    const int left = get("imm").rect().left();
    const int y = get("imm").rect().center().y();
    manager.buttonDown(QPoint(left + 5, y));  // thumb centre travels from 5 to 105
    for (int x = 10; x <= 60; x += 10) manager.mouseMove(QPoint(left + 5 + x, y));
    EXPECT_EQ(recorder.count("valuechanged"), 6);
    EXPECT_EQ(get<Slider>("imm").value(), 60);
    manager.buttonUp(QPoint(left + 5 + 60, y));
    EXPECT_EQ(recorder.count("valuechanged"), 6);  // nothing new at release

    recorder.seen.clear();
    const int py = get("plain").rect().center().y();
    manager.buttonDown(QPoint(left + 5, py));
    for (int x = 10; x <= 50; x += 10) manager.mouseMove(QPoint(left + 5 + x, py));
    EXPECT_EQ(recorder.count("valuechanged"), 0);
    manager.buttonUp(QPoint(left + 5 + 50, py));
    EXPECT_EQ(recorder.count("valuechanged"), 1);
    EXPECT_EQ(get<Slider>("plain").value(), 50);
    // Dragging beyond the track clamps.
    manager.buttonDown(QPoint(left + 5, py));
    manager.mouseMove(QPoint(left + 500, py));
    manager.buttonUp(QPoint(left + 500, py));
    EXPECT_EQ(get<Slider>("plain").value(), 100);
}

TEST_F(ControlsTest, ComboSelectsWithAndWithoutNotification) {
    build(R"(<HorizontalLayout><Combo name="frames" selectedid="1">
               <ListLabelElement text="10" tag="10"/><ListLabelElement text="20" tag="20"/>
               <ListLabelElement text="30" tag="30"/></Combo></HorizontalLayout>)");
    auto& combo = get<Combo>("frames");
    EXPECT_EQ(combo.currentSelection(), 1);
    EXPECT_EQ(recorder.count("itemselect"), 0);
    EXPECT_TRUE(combo.selectItem(2));
    ASSERT_EQ(recorder.count("itemselect"), 1);
    EXPECT_EQ(recorder.seen.back().wparam, 2u);
    EXPECT_EQ(recorder.seen.back().lparam, 1);
    EXPECT_EQ(combo.itemAt(combo.currentSelection())->tag(), 30);
    EXPECT_TRUE(combo.selectItem(0, false));
    EXPECT_EQ(recorder.count("itemselect"), 1);
    EXPECT_FALSE(combo.selectItem(3));
    EXPECT_FALSE(combo.selectItem(-2));
    EXPECT_EQ(combo.currentSelection(), 0);
    combo.removeAll();
    EXPECT_EQ(combo.count(), 0);
    EXPECT_EQ(combo.currentSelection(), -1);
    combo.addItem("F7", 0x76);
    EXPECT_TRUE(combo.selectItem(0));
    EXPECT_EQ(recorder.count("itemselect"), 2);
    // Offscreen there is no window: activating does not drop down, and nothing breaks.
    EXPECT_TRUE(combo.activate());
    EXPECT_FALSE(combo.isDroppedDown());
}

TEST_F(ControlsTest, ListSelectionHotRowAndDoubleClick) {
    build(R"(<HorizontalLayout><List name="list" itemhotbkcolor="#FF324346" itemselectedbkcolor="#FF315359">
               <ListContainerElement name="row0" height="30"><Label name="l0" width="50"/><Button name="b0" width="20"/></ListContainerElement>
               <ListContainerElement name="row1" height="30"><Label name="l1"/></ListContainerElement>
             </List><Control name="outside" width="50"/></HorizontalLayout>)");
    auto& list = get<List>("list");
    EXPECT_EQ(list.currentSelection(), -1);
    int rowEvents = 0;
    get("row1").addEventHandler([&](ControlEvent& e) {
        if (e.type == EventType::DoubleClick) ++rowEvents;
        return true;
    });
    // A click on a label inside a row selects that row.
    click("l1");
    EXPECT_EQ(list.currentSelection(), 1);
    ASSERT_EQ(recorder.count("itemselect"), 1);
    EXPECT_EQ(recorder.seen[0].sender, "list");
    EXPECT_EQ(list.hotItem(), &get("row1"));
    // Moving onto a button inside row 0 makes row 0 hot and keeps it hot.
    manager.mouseMove(get("l0").rect().center());
    EXPECT_EQ(list.hotItem(), &get("row0"));
    manager.mouseMove(get("b0").rect().center());
    EXPECT_EQ(list.hotItem(), &get("row0"));
    manager.mouseMove(get("outside").rect().center());
    EXPECT_EQ(list.hotItem(), nullptr);
    manager.doubleClick(get("l1").rect().center());
    EXPECT_EQ(rowEvents, 1);
    ASSERT_EQ(recorder.count("itemactivate"), 1);
    EXPECT_EQ(recorder.seen.back().sender, "row1");
    EXPECT_TRUE(list.selectItem(0, false));
    EXPECT_EQ(recorder.count("itemselect"), 1);
    // Removing the selected row leaves no selection rather than a stale one.
    list.remove(&get("row0"));
    EXPECT_EQ(list.currentSelection(), -1);
    EXPECT_EQ(list.count(), 1);
}

TEST_F(ControlsTest, NotifyHandlersRunFirstAndMayStopTheNotification) {
    build(
        R"(<HorizontalLayout><Button name="a" width="40"/><Button name="b" width="40"/></HorizontalLayout>)");
    std::vector<std::string> order;
    get("a").addNotifyHandler([&](Notification& n) {
        order.push_back("handler " + n.type);
        return true;
    });
    get("b").addNotifyHandler([&](Notification&) { return false; });
    click("a");
    click("b");
    ASSERT_EQ(order.size(), 1u);
    EXPECT_EQ(order[0], "handler click");
    ASSERT_EQ(recorder.count("click"), 1);
    EXPECT_EQ(recorder.seen[0].sender, "a");
}

TEST_F(ControlsTest, AsyncNotificationsArriveLaterAndFromOtherThreads) {
    build(R"(<HorizontalLayout><Button name="a"/></HorizontalLayout>)");
    Control* sender = &get("a");
    manager.sendNotify(sender, "stop_record", 7, 8, true);
    EXPECT_TRUE(recorder.seen.empty());
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i)
                manager.postNotify(sender, "tick", static_cast<std::uintptr_t>(t), i);
        });
    }
    for (auto& w : workers) w.join();
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(recorder.count("stop_record"), 1);
    EXPECT_EQ(recorder.seen[0].sender, "a");
    EXPECT_EQ(recorder.seen[0].wparam, 7u);
    EXPECT_EQ(recorder.count("tick"), 200);
    // Each thread's notifications keep their order.
    std::vector<std::intptr_t> last(4, -1);
    for (const auto& e : recorder.seen) {
        if (e.type != "tick") continue;
        EXPECT_EQ(e.lparam, last[e.wparam] + 1);
        last[e.wparam] = e.lparam;
    }
}

TEST_F(ControlsTest, AsyncNotificationOfADestroyedSenderIsDropped) {
    build(R"(<HorizontalLayout name="root"><Button name="a"/></HorizontalLayout>)");
    manager.sendNotify(&get("a"), "late", 0, 0, true);
    static_cast<Container&>(get("root")).remove(&get("a"));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(recorder.count("late"), 0);
}

TEST_F(ControlsTest, AttributeListsApplyAtRunTimeAndIgnoreMalformedValues) {
    build(R"(<HorizontalLayout><Button name="a" width="40" bkcolor="#FF101010"/></HorizontalLayout>)");
    auto& a = get<Button>("a");
    a.applyAttributeList(
        R"(bordersize="1" bordercolor="#FF656565" bkcolor="#FF303030" normalimage="file='microphone.png' source='15,0,30,23' dest='5,2,20,25'")");
    EXPECT_EQ(a.borderSize(), 1);
    EXPECT_EQ(a.borderColor().rgba(), 0xFF656565u);
    EXPECT_EQ(a.bkColor().rgba(), 0xFF303030u);
    EXPECT_EQ(a.normalImage(), "file='microphone.png' source='15,0,30,23' dest='5,2,20,25'");
    a.applyAttributeList(
        R"(bordersize="-3" bkcolor="#XYZ" width="wide" padding="1,2" textcolor="red" visible="maybe")");
    EXPECT_EQ(a.borderSize(), 1);
    EXPECT_EQ(a.bkColor().rgba(), 0xFF303030u);
    EXPECT_EQ(a.fixedWidth(), 40);
    EXPECT_TRUE(a.padding().isNull());
    EXPECT_TRUE(a.isVisible());
    (void)manager.render();  // an image naming a missing file simply draws nothing
}

TEST_F(ControlsTest, LongTextsStayWholeInEditsAndLabels) {
    // An output folder of 120 CJK characters is 360 bytes of UTF-8.
    std::string folder = "/home/user/";
    for (int i = 0; i < 120; ++i) folder += "\xE5\xBD\x95";  // 录
    folder += "/Videos";
    build("<Window><Default name=\"Label\" value=\"text=&quot;" + folder +
          "&quot;\"/><VerticalLayout><Edit name=\"dir\" maxchar=\"10\" text=\"" + folder +
          "\"/><Label name=\"caption\"/><Edit name=\"other\"/></VerticalLayout></Window>");
    auto& edit = get<Edit>("dir");
    EXPECT_EQ(edit.text(), folder);  // from the layout, despite maxchar
    EXPECT_EQ(edit.maxChar(), 10);
    EXPECT_EQ(get("caption").text(), folder);  // from the window's defaults
    edit.setText(folder + "/2024");
    EXPECT_EQ(edit.text(), folder + "/2024");
    auto& other = get<Edit>("other");
    other.applyAttributeList("text=\"" + folder + "\"");
    EXPECT_EQ(other.text(), folder);
    (void)manager.render();
}

TEST_F(ControlsTest, DefaultsApplyBeforeOwnAttributes) {
    build(R"(<Window size="100,100"><Default name="Button" value="width=&quot;33&quot; height=&quot;7&quot;"/>
               <HorizontalLayout><Button name="a" height="9"/></HorizontalLayout></Window>)");
    EXPECT_EQ(get("a").fixedWidth(), 33);
    EXPECT_EQ(get("a").fixedHeight(), 9);
}

TEST_F(ControlsTest, ListsTakeTheWindowsScrollBarStyle) {
    build(R"(<Window size="100,100"><Default name="ScrollBar" value="width=&quot;12&quot;"/>
               <List name="list"/></Window>)");
    ASSERT_NE(get<List>("list").verticalScrollBar(), nullptr);
    EXPECT_EQ(get<List>("list").verticalScrollBar()->barWidth(), 12);
}

TEST_F(ControlsTest, HoverRepaintsOnlyTheButton) {
    build(
        R"(<HorizontalLayout><Button name="a" width="40" hotbkcolor="#FF606060"/><Control/></HorizontalLayout>)");
    (void)manager.render();
    EXPECT_TRUE(manager.dirtyRect().isNull());
    manager.mouseMove(get("a").rect().center());
    EXPECT_EQ(manager.dirtyRect(), get("a").rect());
}

TEST_F(ControlsTest, BuilderReportsFaultsAndAsksTheFactoryFirst) {
    EXPECT_EQ(buildLayoutText("<Window>\n<Bogus/></Window>", manager, nullptr, "W.xml").error().message(),
              "W.xml line 2: unknown control tag <Bogus>");
    EXPECT_EQ(buildLayoutText("<Label><Control/></Label>", manager, nullptr).error().message(),
              "layout line 1: <Label> cannot hold controls");
    const auto cut = buildLayoutText("<Window", manager, nullptr);
    EXPECT_EQ(cut.error().code(), ErrorCode::kInvalidArgument);
    std::vector<std::string> asked;
    auto root = buildLayoutText("<VerticalLayout><Custom name=\"c\"/><Label/></VerticalLayout>", manager,
                                [&](std::string_view tag) -> std::unique_ptr<Control> {
                                    asked.emplace_back(tag);
                                    if (tag == "Custom") return std::make_unique<Button>();
                                    return nullptr;
                                });
    ASSERT_TRUE(root.ok()) << root.error().message();
    EXPECT_EQ(asked, (std::vector<std::string>{"VerticalLayout", "Custom", "Label"}));
    EXPECT_TRUE(manager.findControl("c")->isA("Button"));
}

}  // namespace
}  // namespace vexa::toolkit
