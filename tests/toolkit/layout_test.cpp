#include "toolkit/container.h"
#include "toolkit/dialog_builder.h"
#include "toolkit/paint_manager.h"

#include <gtest/gtest.h>

namespace vexa::toolkit {
namespace {

class LayoutTest : public ::testing::Test {
  protected:
    Control& build(const std::string& xml, QSize size) {
        auto root = buildLayoutText(xml, manager, nullptr);
        EXPECT_TRUE(root.ok()) << root.error().message();
        if (root.ok()) manager.attach(std::move(root).value());
        manager.setClientSize(size);
        manager.updateLayout();
        return *manager.root();
    }
    QRect at(std::string_view name) const {
        const Control* c = manager.findControl(name);
        EXPECT_NE(c, nullptr) << name;
        return c ? c->rect() : QRect();
    }
    PaintManager manager{nullptr};
};

TEST_F(LayoutTest, HorizontalSharesWhatFixedChildrenLeave) {
    build(R"(<HorizontalLayout inset="10,5,10,5" childpadding="4">
               <Control name="a" width="50"/>
               <Control name="b"/>
               <Control name="hidden" width="100" visible="false"/>
               <Control name="c" width="30" padding="6,2,0,0"/>
             </HorizontalLayout>)",
          QSize(300, 40));
    EXPECT_EQ(at("a"), QRect(10, 5, 50, 30));
    EXPECT_EQ(at("b"), QRect(64, 5, 186, 30));  // 280 inner - 50 - 36 - 2 gaps of 4
    EXPECT_EQ(at("c"), QRect(260, 7, 30, 28));  // left padding moves it, top padding shortens it
}

TEST_F(LayoutTest, VerticalWithFixedHeightsWidthsAndLimits) {
    build(R"(<VerticalLayout inset="2,2,2,2" childpadding="2">
               <Control name="top" height="20" width="40" padding="3,1,0,1"/>
               <Control name="fill1"/>
               <Control name="fill2" maxheight="10"/>
             </VerticalLayout>)",
          QSize(100, 100));
    EXPECT_EQ(at("top"), QRect(5, 3, 40, 20));
    // 96 inner - 22 - 2 gaps = 70 shared by two stretching children; the limited one keeps 10.
    EXPECT_EQ(at("fill1"), QRect(2, 26, 96, 35));
    EXPECT_EQ(at("fill2"), QRect(2, 63, 96, 10));
}

TEST_F(LayoutTest, FloatsSitRelativeToTheParentNotItsInset) {
    build(R"(<VerticalLayout inset="20,20,20,20">
               <Container name="box" height="60" padding="0,10,0,0">
                 <Control name="float" float="true" pos="10,20,40,50"/>
                 <Control name="stacked" width="20" height="10" padding="1,2,0,0"/>
               </Container>
             </VerticalLayout>)",
          QSize(200, 200));
    EXPECT_EQ(at("box"), QRect(20, 30, 160, 60));
    EXPECT_EQ(at("float"), QRect(30, 50, 30, 30));
    EXPECT_EQ(at("stacked"), QRect(21, 32, 20, 10));
}

TEST_F(LayoutTest, HidingAChildReflowsTheOthers) {
    build(R"(<HorizontalLayout><Control name="a" width="10"/><Control name="b"/></HorizontalLayout>)",
          QSize(100, 10));
    EXPECT_EQ(at("b"), QRect(10, 0, 90, 10));
    manager.findControl("a")->setVisible(false);
    manager.updateLayout();
    EXPECT_EQ(at("b"), QRect(0, 0, 100, 10));
}

TEST_F(LayoutTest, ScrollingLayoutShowsABarAndScrollsChildren) {
    std::string rows;
    for (int i = 0; i < 5; ++i) rows += "<Control name=\"r" + std::to_string(i) + "\" height=\"30\"/>";
    auto& root = build("<VerticalLayout vscrollbar=\"true\">" + rows + "</VerticalLayout>", QSize(100, 100));
    auto& layout = static_cast<Container&>(root);
    ASSERT_NE(layout.verticalScrollBar(), nullptr);
    EXPECT_TRUE(layout.verticalScrollBar()->isVisible());
    EXPECT_EQ(layout.scrollRange(), 50);
    EXPECT_EQ(at("r0"), QRect(0, 0, 92, 30));  // beside the 8-pixel bar
    layout.setScrollPos(20);
    EXPECT_EQ(at("r1").top(), 10);
    layout.scrollIntoView(manager.findControl("r4"));
    EXPECT_EQ(layout.scrollPos(), 50);
    EXPECT_EQ(at("r4").bottom(), 99);
    layout.setScrollPos(500);
    EXPECT_EQ(layout.scrollPos(), 50);
    // Removing rows shrinks the range and brings the content back.
    layout.remove(manager.findControl("r4"));
    layout.remove(manager.findControl("r3"));
    manager.updateLayout();
    EXPECT_FALSE(layout.verticalScrollBar()->isVisible());
    EXPECT_EQ(at("r0"), QRect(0, 0, 100, 30));
}

TEST_F(LayoutTest, HitTestSkipsHiddenAndMouseDisabledControls) {
    build(R"(<HorizontalLayout name="root">
               <Control name="a" width="50"/>
               <HorizontalLayout name="row" mouse="false"><Control name="inner" mouse="false"/></HorizontalLayout>
             </HorizontalLayout>)",
          QSize(100, 10));
    EXPECT_EQ(manager.findControlAt(QPoint(10, 5))->name(), "a");
    EXPECT_EQ(manager.findControlAt(QPoint(70, 5))->name(), "root");
    manager.findControl("a")->setVisible(false);
    manager.updateLayout();
    EXPECT_EQ(manager.findControlAt(QPoint(10, 5))->name(), "root");
}

}  // namespace
}  // namespace vexa::toolkit
