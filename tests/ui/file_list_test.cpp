// The recordings list in a real (offscreen) window with the program's skin, on real folders: what it
// lists and in which order, the watcher's additions, growth and removals, lazily read durations,
// row colours and buttons, playing and deleting, and folders that cannot be read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "tests/net/captured_log.h"
#include "tests/support/temp_folder.h"
#include "tests/support/thread_probe.h"
#include "tests/support/wait_until.h"
#include "tests/ui/file_list_harness.h"
#include "tests/ui/sparse_recording.h"
#include "ui/failure_text.h"
#include "ui/file_list.h"

namespace vexa::ui {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { app_ = test::StartOffscreenUi("ui_file_list_test"); }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

constexpr int kRowsInView = 5;
using test::PumpUntil;

// Puts a folder first on PATH for one test.
class ScopedPathPrefix {
  public:
    explicit ScopedPathPrefix(const fs::path& folder) : old_(std::getenv("PATH") ? std::getenv("PATH") : "") {
        setenv("PATH", (folder.string() + ":" + old_).c_str(), 1);
    }
    ~ScopedPathPrefix() { setenv("PATH", old_.c_str(), 1); }

  private:
    std::string old_;
};

// A file of `size` bytes (sparse).
void MakeFile(const fs::path& path, std::uintmax_t size) {
    std::ofstream(path).flush();
    fs::resize_file(path, size);
}

class FileListTest : public ::testing::Test {
  protected:
    FileListTest() { fs::create_directories(folder_); }

    void Render() { harness_.Render(); }
    toolkit::PaintManager& Manager() { return harness_.Window().paintManager(); }

    std::vector<std::string> Column(std::string_view label) const {
        std::vector<std::string> texts;
        for (int i = 0; i < list_->count(); ++i) texts.push_back(list_->Row(i)->Label(label).text());
        return texts;
    }
    std::vector<std::string> Names() const { return Column("file"); }
    std::string Duration(int row) const {
        std::string text;
        for (const char* label : {"time1", "time2", "time3", "time4", "time5"})
            text += list_->Row(row)->Label(label).text();
        return text;
    }
    int RowOf(const std::string& name) const {
        const std::vector<std::string> names = Names();
        const auto it = std::find(names.begin(), names.end(), name);
        return it == names.end() ? -1 : static_cast<int>(it - names.begin());
    }
    QPoint CentreOf(const toolkit::Control& control) const { return control.rect().center(); }

    test::TempFolder temp_;
    fs::path folder_ = temp_.Path() / "Miravo文件";
    test::FileListUnderTest harness_{folder_.string()};
    CFileList* list_ = &harness_.List();
};

TEST_F(FileListTest, OnlyRecordingsAreListedNewestFirstWithTheirSizesAndTheFirstIsSelected) {
    // For names of this one pattern, the newest recording is the greatest name.
    const std::vector<std::pair<std::string, std::uintmax_t>> recordings = {
        {"20240105_100000.mp4", 1'572'864}, {"20240105_090000.m4a", 1536}, {"20231231_235959.MP4", 2048},
        {"20240229_000000.mp4", 1000},      {"20240105_095959.mp4", 0},
    };
    for (const auto& [name, size] : recordings) MakeFile(folder_ / name, size);
    for (const char* other :
         {"20241305_100000.mp4", "20240105_100000.mkv", "20240105-100000.mp4", "notes.txt", "recording.mp4",
          "20230229_120000.mp4", "20240105_100000.mp4.part"})
        MakeFile(folder_ / other, 10);
    fs::create_directory(folder_ / "20250101_000000.mp4");

    ASSERT_TRUE(list_->Init().ok());
    EXPECT_EQ(list_->Folder(), folder_.string());
    EXPECT_TRUE(list_->Watching());
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"20240229_000000.mp4", "20240105_100000.mp4", "20240105_095959.mp4",
                                        "20240105_090000.m4a", "20231231_235959.MP4"}));
    EXPECT_EQ(Column("size"), (std::vector<std::string>{"1000 B", "1.5 MB", "0 B", "1.5 KB", "2 KB"}));
    for (int i = 0; i < list_->count(); ++i)
        EXPECT_EQ(list_->Row(i)->Path(), (folder_ / Names()[i]).string());

    EXPECT_EQ(list_->currentSelection(), 0);
    EXPECT_TRUE(list_->Row(0)->ButtonsShown());
    EXPECT_FALSE(list_->Row(1)->ButtonsShown());
    EXPECT_EQ(list_->Row(0)->Label("size").textColor().rgba(), CFileListElement::kSelectedTextColor);
}

TEST_F(FileListTest, RowsKeepDescendingTimeAndRowsOfTheSameTimeTheirInsertionOrder) {
    const std::string dir = folder_.string() + "/";
    const auto add = [&](const std::string& name, std::chrono::seconds time, std::uint64_t size = 1) {
        list_->AddOrUpdateRow(dir + name, dir.size(), time, false, size);
    };
    add("a", 100s);
    add("b", 100s);
    add("c", 300s);
    add("d", 50s);
    add("e", 100s);
    add("a", 100s, 4096);  // the same path is updated, not added
    EXPECT_EQ(Names(), (std::vector<std::string>{"c", "a", "b", "e", "d"}));
    EXPECT_EQ(list_->Row(1)->Label("size").text(), "4 KB");
    EXPECT_EQ(list_->currentSelection(), -1);

    list_->AddOrUpdateRow(dir + "f", dir.size(), 200s, true, 1);
    EXPECT_EQ(list_->currentSelection(), 1);
    EXPECT_EQ(Names()[1], "f");
}

TEST_F(FileListTest, TheWatcherAddsARecordingSelectedFollowsItsGrowthAndDropsFilesDeletedElsewhere) {
    MakeFile(folder_ / "20240105_090000.mp4", 10);
    MakeFile(folder_ / "20240105_110000.mp4", 10);
    ASSERT_TRUE(list_->Init().ok());
    list_->selectItem(1);

    // A recording starts between the two: it appears at once, selected, and grows.
    const fs::path recording = folder_ / "20240105_100000.mp4";
    std::ofstream writer(recording, std::ios::binary);
    ASSERT_TRUE(PumpUntil([&] { return RowOf("20240105_100000.mp4") == 1; }));
    EXPECT_EQ(list_->currentSelection(), 1);
    EXPECT_EQ(list_->Row(1)->Label("size").textColor().rgba(), CFileListElement::kSelectedTextColor);
    EXPECT_EQ(list_->Row(2)->Label("size").textColor().rgba(), CFileListElement::kDeselectedTextColor);
    writer << std::string(1000, 'x') << std::flush;
    ASSERT_TRUE(PumpUntil([&] { return list_->Row(1)->Label("size").text() == "1000 B"; }));
    writer << std::string(1048, 'x') << std::flush;
    ASSERT_TRUE(PumpUntil([&] { return list_->Row(1)->Label("size").text() == "2 KB"; }));
    writer.close();
    EXPECT_EQ(Duration(1), "") << "a file being written has no duration yet";

    // Other files are ignored; a rename to another recording name moves the row.
    MakeFile(folder_ / "notes.txt", 5);
    fs::rename(folder_ / "20240105_090000.mp4", folder_ / "20240106_090000.mp4");
    ASSERT_TRUE(PumpUntil([&] { return RowOf("20240106_090000.mp4") == 0; }));
    EXPECT_EQ(Names(), (std::vector<std::string>{"20240106_090000.mp4", "20240105_110000.mp4",
                                                 "20240105_100000.mp4"}));
    EXPECT_EQ(list_->currentSelection(), 0);

    fs::remove(recording);
    ASSERT_TRUE(PumpUntil([&] { return list_->count() == 2; }));
    EXPECT_EQ(Names(), (std::vector<std::string>{"20240106_090000.mp4", "20240105_110000.mp4"}));
}

TEST_F(FileListTest, DurationsAreReadForRowsInViewAndForTheOthersOnceScrolledTo) {
    // Sixteen recordings, the newest 1 h 2 min 3 s, the oldest 100 h; one in between is damaged.
    const std::vector<std::chrono::seconds> durations = {3723s, 5s,  59s, 3600s, 61s, 7s,  8s,  9s,
                                                         10s,   11s, 12s, 13s,   14s, 15s, 16s, 360000s};
    for (size_t i = 0; i < durations.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "202401%02zu_120000.m4a", 28 - i);
        test::WriteSparseRecording((folder_ / name).string(), durations[i]);
    }
    std::filesystem::resize_file(folder_ / "20240125_120000.m4a", 200);  // the 3600 s one, cut short

    ASSERT_TRUE(list_->Init().ok());
    ASSERT_EQ(list_->count(), 16);
    Render();
    EXPECT_EQ(Duration(0), "01：02：03");
    EXPECT_EQ(Duration(1), "00：00：05");
    EXPECT_EQ(Duration(2), "00：00：59");
    EXPECT_EQ(Duration(3), "") << "damaged";
    EXPECT_EQ(Duration(4), "00：01：01");
    EXPECT_FALSE(list_->Row(0)->DurationPending());
    EXPECT_TRUE(list_->Row(15)->DurationPending()) << "rows out of view are not opened";
    EXPECT_EQ(Duration(15), "");

    list_->setScrollPos(list_->scrollRange());
    Render();
    EXPECT_EQ(Duration(15), "01：00：00") << "100 hours show as 01";
    EXPECT_EQ(Duration(14), "00：00：16");
    int pending = 0;
    for (int i = 0; i < list_->count(); ++i) pending += list_->Row(i)->DurationPending() ? 1 : 0;
    EXPECT_GE(pending, 1) << "the rows between were never in view";
    EXPECT_LE(pending, 16 - 2 * kRowsInView);

    // A pipe by a recording's name is not opened (opening it would wait for a writer).
    const std::string pipe = (folder_ / "20240201_120000.mp4").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    list_->AddOrUpdateRow(pipe, folder_.string().size() + 1, *ParseRecordingName("20240201_120000.mp4"), true,
                          0);
    EXPECT_EQ(Duration(0), "");
}

TEST_F(FileListTest, TheHotRowShowsItsButtonsAndTheSelectionColoursFollowIt) {
    for (const char* name : {"20240101_000001.mp4", "20240101_000002.mp4", "20240101_000003.mp4"})
        MakeFile(folder_ / name, 1);
    ASSERT_TRUE(list_->Init().ok());
    Render();
    CFileListElement* first = list_->Row(0);
    CFileListElement* last = list_->Row(2);
    EXPECT_EQ(last->Label("file").textColor().rgba(), 0xFFFFFFFFu) << "never selected: the template's white";

    Manager().mouseMove(CentreOf(*last));
    EXPECT_TRUE(last->ButtonsShown());
    EXPECT_TRUE(first->ButtonsShown()) << "selected";
    EXPECT_FALSE(list_->Row(1)->ButtonsShown());

    Manager().buttonDown(CentreOf(last->Label("file")));
    Manager().buttonUp(CentreOf(last->Label("file")));
    EXPECT_EQ(list_->currentSelection(), 2);
    for (const char* label : {"file", "time1", "time2", "time3", "time4", "time5", "size"}) {
        EXPECT_EQ(last->Label(label).textColor().rgba(), CFileListElement::kSelectedTextColor) << label;
        EXPECT_EQ(first->Label(label).textColor().rgba(), CFileListElement::kDeselectedTextColor) << label;
    }
    Manager().mouseMove(CentreOf(list_->Row(1)->Label("file")));
    EXPECT_FALSE(first->ButtonsShown());
    EXPECT_TRUE(last->ButtonsShown());
    EXPECT_TRUE(list_->Row(1)->ButtonsShown());
    Manager().mouseLeave();
    EXPECT_FALSE(list_->Row(1)->ButtonsShown());
}

// A fake xdg-open first on PATH writes its arguments to a file.
TEST_F(FileListTest, ADoubleClickOrThePlayButtonOpensTheRecording) {
    const fs::path bin = temp_.Path() / "bin";
    const fs::path record = temp_.Path() / "opened";
    test::WriteFile(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + record.string() + "'\n",
                    true);
    const ScopedPathPrefix fake_first(bin);
    MakeFile(folder_ / "20240101_000001.mp4", 1);
    MakeFile(folder_ / "20240101_000002.mp4", 1);
    ASSERT_TRUE(list_->Init().ok());
    Render();

    Manager().doubleClick(CentreOf(list_->Row(1)->Label("file")));
    ASSERT_TRUE(PumpUntil(
        [&] { return test::ReadFile(record) == (folder_ / "20240101_000001.mp4").string() + "\n"; }));
    fs::remove(record);
    const toolkit::Control& play = list_->Row(0)->Button("play");
    Render();
    Manager().buttonDown(CentreOf(play));
    Manager().buttonUp(CentreOf(play));
    EXPECT_TRUE(PumpUntil(
        [&] { return test::ReadFile(record) == (folder_ / "20240101_000002.mp4").string() + "\n"; }));
}

// Nothing on PATH can open a file and no file manager answers: each button says so in a message box
// naming the file, and the log says why.
TEST_F(FileListTest, PlayAndShowInFolderThatFindNothingToOpenWithSaySoAndLogIt) {
    const std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", temp_.File("no-programs").c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    const net::testing::CapturedLog log;
    MakeFile(folder_ / "20240101_000001.mp4", 1);
    ASSERT_TRUE(list_->Init().ok());
    std::vector<std::string> texts;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            texts.push_back(box->text().toStdString());
            box->accept();
        }
    });
    closer.start(20);
    ASSERT_TRUE(list_->Row(0)->Button("play").activate());
    ASSERT_TRUE(PumpUntil([&] { return texts.size() == 1; }));
    ASSERT_TRUE(list_->Row(0)->Button("open_dir").activate());
    ASSERT_TRUE(PumpUntil([&] { return texts.size() == 2; }));
    const std::string file = (folder_ / "20240101_000001.mp4").string();
    const Error no_opener(ErrorCode::kNotFound,
                          "cannot start xdg-open: it is not installed (not found on PATH)");
    EXPECT_EQ(texts,
              (std::vector{OpenFailedText(false, file, no_opener), OpenFailedText(true, file, no_opener)}));
    for (const std::string& logged : {"cannot play " + file, "cannot show " + file + " in its folder"})
        EXPECT_NE(log.Text().find("recordings list: " + logged + ": " + no_opener.message()),
                  std::string::npos);
    setenv("PATH", old_path.c_str(), 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

TEST_F(FileListTest, DeletingRemovesFileAndRowAndAFailureSaysSoAndKeepsTheRow) {
    MakeFile(folder_ / "20240101_000001.mp4", 1);
    MakeFile(folder_ / "20240101_000002.mp4", 1);
    ASSERT_TRUE(list_->Init().ok());

    ASSERT_TRUE(list_->Row(0)->Button("del").activate());
    ASSERT_TRUE(PumpUntil([&] { return list_->count() == 1; }));
    EXPECT_FALSE(fs::exists(folder_ / "20240101_000002.mp4"));
    EXPECT_EQ(Names(), std::vector<std::string>{"20240101_000001.mp4"});

    // A folder by a recording's name cannot be deleted as a file, whoever runs the test.
    const std::string dir = folder_.string() + "/";
    fs::create_directory(dir + "20240101_000003.mp4");
    list_->AddOrUpdateRow(dir + "20240101_000003.mp4", dir.size(), 3s, true, 0);
    QString text, caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            caption = box->windowTitle();
            icon = box->icon();
            box->accept();
        }
    });
    closer.start(20);
    ASSERT_TRUE(list_->Row(RowOf("20240101_000003.mp4"))->Button("del").activate());
    ASSERT_TRUE(PumpUntil([&] { return !text.isEmpty(); }));
    EXPECT_EQ(text.toStdString(), kDeleteFailedText);
    EXPECT_EQ(caption.toStdString(), "Miravo");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(list_->count(), 2);
    EXPECT_TRUE(fs::is_directory(dir + "20240101_000003.mp4"));
}

TEST_F(FileListTest, AFolderThatCannotBeReadLeavesTheListEmptyAndAnotherFolderCanBeChosen) {
    MakeFile(folder_ / "20240101_000001.mp4", 1);
    list_->ChangeFolder((temp_.Path() / "missing").string());
    EXPECT_EQ(list_->count(), 0);
    EXPECT_FALSE(list_->Watching());
    MakeFile(temp_.Path() / "a file", 1);
    list_->ChangeFolder((temp_.Path() / "a file").string());
    EXPECT_EQ(list_->count(), 0);
    EXPECT_FALSE(list_->Watching());

    list_->ChangeFolder(folder_.string());
    EXPECT_EQ(Names(), std::vector<std::string>{"20240101_000001.mp4"});
    ASSERT_TRUE(list_->Watching());
    MakeFile(folder_ / "20240101_000002.mp4", 1);
    ASSERT_TRUE(PumpUntil([&] { return list_->count() == 2; }));

    // The watched folder itself goes away: the list is read again, and is empty.
    fs::remove_all(folder_);
    EXPECT_TRUE(PumpUntil([&] { return list_->count() == 0; }));
}

// The folder watcher has left its poll() and sleeps until the window takes its batch.
bool WatcherOffersABatch() {
    const std::vector<pid_t> watchers = test::ThreadsNamed("folder-watcher");
    if (watchers.size() != 1) return false;
    const std::optional<test::BlockedCall> call = test::BlockedIn(watchers[0]);
    return call && call->number == SYS_futex;
}

TEST_F(FileListTest, ChangesWaitOutABusyWindowAndAStopDoesNotWaitForTheWindow) {
    ASSERT_TRUE(list_->Init().ok());
    EXPECT_EQ(list_->OnFolderChanges(reinterpret_cast<std::intptr_t>(this)), 0) << "not the list's buffer";

    // The window is busy for a second: the watcher keeps offering the batch until it is taken.
    MakeFile(folder_ / "20240101_000001.mp4", 1);
    ASSERT_TRUE(test::WaitUntil(WatcherOffersABatch));
    std::this_thread::sleep_for(1s);  // the busy window, not a wait for anything
    EXPECT_TRUE(PumpUntil([&] { return list_->count() == 1; }));

    // The watcher waits for a window that does not answer; stopping does not wait the 3 s out.
    MakeFile(folder_ / "20240101_000002.mp4", 1);
    ASSERT_TRUE(test::WaitUntil(WatcherOffersABatch));
    const auto before = std::chrono::steady_clock::now();
    list_->StopWatching();
    EXPECT_LT(std::chrono::steady_clock::now() - before, CFileList::kSendTimeout / 2);
    EXPECT_FALSE(list_->Watching());
    QCoreApplication::processEvents();
    EXPECT_EQ(list_->count(), 1) << "a batch given up is not applied later";
}

}  // namespace
}  // namespace vexa::ui
