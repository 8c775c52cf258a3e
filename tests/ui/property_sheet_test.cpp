// The camera settings dialog of the toolkit: one control per property, every change reported at
// once (sliders on their step grid), closing reported only when the user closes it.
#include "toolkit/property_sheet.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <vector>

#include "toolkit/window.h"

namespace vexa::toolkit {
namespace {

class Owner : public Window {
  public:
    std::string windowClassName() const override { return "Tolvo_Camera_Wnd"; }
};

struct Change {
    std::uint32_t id;
    int value;
    bool operator==(const Change&) const = default;
};

std::vector<PropertyItem> CameraLikeItems() {
    using Kind = PropertyItem::Kind;
    return {
        {0x980900, "Brightness", Kind::kSlider, -10, 30, 4, 2, {}},
        {0x98090c, "White Balance, Automatic", Kind::kCheck, 0, 1, 1, 1, {}},
        {0x980918,
         "Power Line Frequency",
         Kind::kMenu,
         0,
         2,
         1,
         1,
         {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}}},
        {0x980a00, "Restore Defaults", Kind::kAction, 0, 0, 0, 0, {}},
    };
}

class PropertySheetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(owner.create(nullptr, "camera", kStylePopup, QRect(100, 100, 300, 300)));
    }
    std::unique_ptr<PropertySheet> Open(const std::vector<PropertyItem>& items) {
        return PropertySheet::open(
            owner, "Virtual Camera", QPoint(130, 130), items,
            [this](std::uint32_t id, int v) {
                changes.push_back({id, v});
            },
            [this] { ++closed; }, "没有设置");
    }
    template <class W>
    W* Control(PropertySheet& sheet, std::uint32_t id) {
        return sheet.dialog()->findChild<W*>(QString::number(id));
    }

    Owner owner;
    std::vector<Change> changes;
    int closed = 0;
};

TEST_F(PropertySheetTest, EachKindOfPropertyGetsItsControlAndReportsChangesAtOnce) {
    auto sheet = Open(CameraLikeItems());
    ASSERT_TRUE(sheet->isOpen());
    EXPECT_EQ(sheet->dialog()->windowTitle(), "Virtual Camera");
    EXPECT_EQ(sheet->dialog()->pos(), QPoint(130, 130));

    auto* slider = sheet->dialog()->findChild<QSlider*>();
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->minimum(), -10);
    EXPECT_EQ(slider->maximum(), 30);
    EXPECT_EQ(slider->value(), 2);
    slider->setValue(-3);  // off the grid of 4 from -10: the value below on it is -6
    slider->setValue(30);  // (30 + 10) / 4 steps exactly
    auto* check = Control<QCheckBox>(*sheet, 0x98090c);
    ASSERT_NE(check, nullptr);
    EXPECT_TRUE(check->isChecked());
    check->setChecked(false);
    auto* menu = Control<QComboBox>(*sheet, 0x980918);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->count(), 3);
    EXPECT_EQ(menu->currentText(), "50 Hz");
    emit menu->activated(2);
    auto* action = Control<QPushButton>(*sheet, 0x980a00);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), "Restore Defaults");
    action->click();

    const std::vector<Change> want = {
        {0x980900, -6}, {0x980900, 30}, {0x98090c, 0}, {0x980918, 2}, {0x980a00, 1}};
    EXPECT_EQ(changes, want);
    EXPECT_EQ(closed, 0);
}

TEST_F(PropertySheetTest, ClosingByTheUserIsReportedButDestroyingTheSheetIsNot) {
    auto sheet = Open(CameraLikeItems());
    sheet->dialog()->close();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(sheet->isOpen());
    auto empty = Open({});
    const auto labels = empty->dialog()->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front()->text(), "没有设置");
    empty.reset();
    EXPECT_EQ(closed, 1);
}

// The size: the content's, widened for the whole title beside the window manager's buttons and to
// a readable minimum, cut to the work area; the place moved just inside the work area.
TEST(PropertySheetPlace, TheDialogIsWideEnoughForItsTitleAndStaysInTheWorkArea) {
    const QSize screen(1920, 1080);
    EXPECT_EQ(propertySheetSize(QSize(166, 37), 100, screen), QSize(320, 37));    // the old squashed one
    EXPECT_EQ(propertySheetSize(QSize(166, 37), 300, screen), QSize(440, 37));    // a long camera name
    EXPECT_EQ(propertySheetSize(QSize(520, 390), 100, screen), QSize(520, 390));  // content rules
    EXPECT_EQ(propertySheetSize(QSize(2500, 1500), 100, screen), screen);
    const QRect work(0, 32, 1920, 1048);
    EXPECT_EQ(propertySheetPosition(QPoint(130, 130), QSize(320, 80), work), QPoint(130, 130));
    EXPECT_EQ(propertySheetPosition(QPoint(1800, 1050), QSize(320, 80), work), QPoint(1600, 1000));
    EXPECT_EQ(propertySheetPosition(QPoint(-50, 0), QSize(320, 80), work), QPoint(0, 32));
}

// A camera without controls: the dialog shows its note whole, titled with the camera's name.
TEST_F(PropertySheetTest, AnEmptySheetShowsItsNoteAndTitleWhole) {
    auto empty = Open({});
    QWidget* dialog = empty->dialog();
    EXPECT_EQ(dialog->windowTitle(), "Virtual Camera");
    const QLabel* note = dialog->findChild<QLabel*>();
    ASSERT_NE(note, nullptr);
    EXPECT_GE(dialog->width(), 320);
    EXPECT_GE(dialog->width(), dialog->fontMetrics().horizontalAdvance("Virtual Camera") + 140);
    EXPECT_GE(note->width(), note->sizeHint().width());
    EXPECT_GE(dialog->height(), dialog->sizeHint().height());
}

}  // namespace
}  // namespace vexa::toolkit
