// The folder chooser offscreen (Qt's own dialog): it answers after the call returns, keeps its owner
// from input meanwhile, hands over paths the file system can open, and never answers to a gone owner.
#include "toolkit/folder_chooser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QWindow>

#include <filesystem>

#include "tests/support/temp_folder.h"
#include "toolkit/window.h"

namespace vexa::toolkit {
namespace {

class OwnerWindow : public Window {
  public:
    std::string windowClassName() const override { return "Vexa_Test_Owner"; }
};

constexpr const char* kTitle = "选择录制文件存储目录";

QFileDialog* OpenChooser() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (dialog && dialog->isVisible() && dialog->windowTitle() == QString::fromUtf8(kTitle))
            return dialog;
    }
    return nullptr;
}

// Runs the event loop until deferred deletions are done.
void Settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

struct Answer {
    int calls = 0;
    std::optional<std::string> folder;
};

class FolderChooserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(owner_.create(nullptr, "owner", kStylePopup, QRect(0, 0, 200, 100)));
        owner_.show();
        std::filesystem::create_directories(picked_);
    }
    void Choose(const std::string& initial) {
        chooseFolder(owner_, kTitle, initial, [this](std::optional<std::string> folder) {
            answer_.calls++;
            answer_.folder = std::move(folder);
            owner_enabled_at_answer_ = owner_.isEnabled();
        });
    }

    vexa::test::TempFolder folder_;
    const std::string picked_ = folder_.File("录制 文件");
    OwnerWindow owner_;
    Answer answer_;
    bool owner_enabled_at_answer_ = false;
};

TEST_F(FolderChooserTest, TheAnswerComesAfterTheCallWithThePathOfTheChosenFolderAndTheOwnerFreedFirst) {
    Choose(folder_.Path().string());
    QFileDialog* dialog = OpenChooser();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(answer_.calls, 0);
    EXPECT_FALSE(owner_.isEnabled());
    EXPECT_TRUE(dialog->isEnabled());  // not a child of the disabled owner
    EXPECT_EQ(std::filesystem::path(QFile::encodeName(dialog->directory().absolutePath()).toStdString()),
              folder_.Path());
    ASSERT_NE(dialog->windowHandle(), nullptr);
    EXPECT_EQ(dialog->windowHandle()->transientParent(), owner_.widget()->windowHandle());

    dialog->selectFile(QFile::decodeName(picked_.c_str()));
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, as its button calls it
    EXPECT_EQ(answer_.calls, 1);
    EXPECT_EQ(answer_.folder, picked_);  // byte for byte, so the file system finds it again
    EXPECT_TRUE(std::filesystem::is_directory(*answer_.folder));
    EXPECT_TRUE(owner_enabled_at_answer_);
    Settle();
    EXPECT_EQ(OpenChooser(), nullptr);
    EXPECT_EQ(answer_.calls, 1);
}

TEST_F(FolderChooserTest, CancellingAnswersNothingChosenAndAStartThatIsNoFolderIsIgnored) {
    const std::string not_a_folder = folder_.File("missing");
    Choose(not_a_folder);
    QFileDialog* dialog = OpenChooser();
    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(QFile::encodeName(dialog->directory().absolutePath()).toStdString(), not_a_folder);
    dialog->reject();
    EXPECT_EQ(answer_.calls, 1);
    EXPECT_EQ(answer_.folder, std::nullopt);
    EXPECT_TRUE(owner_.isEnabled());
    Settle();
}

TEST_F(FolderChooserTest, AnOwnerDestroyedFirstTakesTheChooserWithItAndNothingAnswers) {
    Choose(folder_.Path().string());
    ASSERT_NE(OpenChooser(), nullptr);
    owner_.destroy();
    Settle();
    EXPECT_EQ(OpenChooser(), nullptr);
    for (QWidget* widget : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<QFileDialog*>(widget), nullptr);
    EXPECT_EQ(answer_.calls, 0);
}

}  // namespace
}  // namespace vexa::toolkit
