// Folder watching on a temporary folder: the records of file operations in order, moves across
// folders, an overflowing queue, the folder itself going away, and a watcher that sleeps while idle.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/directory_watcher.h"
#include "tests/support/temp_folder.h"
#include "tests/support/thread_probe.h"
#include "tests/support/wait_until.h"

namespace vexa::desktop {

// Found by argument-dependent lookup, so it lives beside the type.
[[maybe_unused]] static void PrintTo(const FolderChange& change, std::ostream* out) {
    *out << "{" << change.action << ", \"" << change.name << "\"}";
}

namespace {

using Change = FolderChange;
namespace fs = std::filesystem;

class DirectoryWatcherTest : public ::testing::Test {
  protected:
    void StartWatching(const std::string& folder) {
        Result<std::unique_ptr<DirectoryWatcher>> watcher =
            DirectoryWatcher::Start(folder, [this](std::vector<FolderChange> changes) {
                std::unique_lock lock(mutex_);
                watcher_thread_ = static_cast<pid_t>(syscall(SYS_gettid));
                changed_.notify_all();
                changed_.wait(lock, [&] { return !held_; });
                batches_.push_back(std::move(changes));
                changed_.notify_all();
            });
        ASSERT_TRUE(watcher.ok()) << watcher.error().message();
        watcher_ = std::move(*watcher);
    }

    // Every record delivered so far, in order, once there are at least `count`.
    std::vector<Change> WaitForRecords(size_t count) {
        std::unique_lock lock(mutex_);
        std::vector<Change> all;
        changed_.wait_for(lock, std::chrono::seconds(10), [&] {
            all.clear();
            for (const auto& batch : batches_) all.insert(all.end(), batch.begin(), batch.end());
            return all.size() >= count;
        });
        return all;
    }

    static void WriteOnce(const fs::path& file, const std::string& text) {
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(fd);
    }

    test::TempFolder folder_;
    std::unique_ptr<DirectoryWatcher> watcher_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::vector<Change>> batches_;  // under mutex_
    bool held_ = false;                         // under mutex_: the callback waits while set
    pid_t watcher_thread_ = 0;                  // under mutex_
};

TEST_F(DirectoryWatcherTest, FileOperationsGiveTheirRecordsInOrder) {
    StartWatching(folder_.Path().string());
    const fs::path a = folder_.Path() / "20240102_030405.mp4";
    const fs::path b = folder_.Path() / "录屏 b.mp4";
    WriteOnce(a, "moov");
    fs::rename(a, b);
    fs::remove(b);
    const std::vector<Change> expected = {
        {Change::kAdded, a.filename()},      {Change::kModified, a.filename()},  // the write
        {Change::kModified, a.filename()},                                       // the close
        {Change::kRenamedOld, a.filename()}, {Change::kRenamedNew, b.filename()},
        {Change::kRemoved, b.filename()},
    };
    EXPECT_EQ(WaitForRecords(expected.size()), expected);
}

TEST_F(DirectoryWatcherTest, MovingInFromElsewhereAddsAndMovingOutRemoves) {
    test::TempFolder elsewhere;
    const fs::path outside = elsewhere.Path() / "x.m4a";
    test::WriteFile(outside, "sound");
    const fs::path inside = folder_.Path() / "y.m4a";
    StartWatching(folder_.Path().string());
    fs::rename(outside, inside);
    fs::create_directory(folder_.Path() / "sub");
    fs::rename(inside, outside);
    const std::vector<Change> expected = {
        {Change::kAdded, "y.m4a"}, {Change::kAdded, "sub"}, {Change::kRemoved, "y.m4a"}};
    EXPECT_EQ(WaitForRecords(expected.size()), expected);
}

TEST_F(DirectoryWatcherTest, AnOverflowingQueueIsOneReloadRecord) {
    int limit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (limit <= 0 || limit > 1'000'000) GTEST_SKIP() << "queue limit " << limit;
    StartWatching(folder_.Path().string());
    {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    WriteOnce(folder_.Path() / "first", "");
    {
        std::unique_lock lock(mutex_);
        ASSERT_TRUE(changed_.wait_for(lock, std::chrono::seconds(10), [&] { return watcher_thread_ != 0; }));
    }
    // While the watcher waits in the callback, three events per round fill the kernel's queue.
    const fs::path file = folder_.Path() / "f";
    for (int round = 0; round <= limit / 3 + 1; ++round) {
        close(open(file.c_str(), O_WRONLY | O_CREAT, 0644));
        unlink(file.c_str());
    }
    {
        std::lock_guard lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }
    std::unique_lock lock(mutex_);
    const std::vector<Change> reload = {{Change::kReload, ""}};
    const bool reloaded = changed_.wait_for(lock, std::chrono::seconds(10),
                                            [&] { return !batches_.empty() && batches_.back() == reload; });
    EXPECT_TRUE(reloaded);
}

TEST_F(DirectoryWatcherTest, TheFolderItselfGoingAwayIsAReloadAndTheLastBatch) {
    const fs::path watched = folder_.Path() / "out";
    fs::create_directory(watched);
    StartWatching(watched.string());
    fs::remove(watched);
    const std::vector<Change> reload = {{Change::kReload, ""}};
    EXPECT_EQ(WaitForRecords(1), reload);
    watcher_->Stop();
    std::lock_guard lock(mutex_);
    EXPECT_EQ(batches_.size(), 1u);
}

// Idle means asleep in poll() with no time-out: no timer can wake the thread while nothing changes.
TEST_F(DirectoryWatcherTest, AnIdleWatcherSleepsWithoutATimeOutUntilItIsStopped) {
    StartWatching(folder_.Path().string());
    WriteOnce(folder_.Path() / "wake", "x");
    ASSERT_EQ(WaitForRecords(3).size(), 3u);  // create, write, close: all of it has been read
    pid_t thread = 0;
    {
        std::lock_guard lock(mutex_);
        thread = watcher_thread_;
    }
    EXPECT_TRUE(test::WaitUntil([&] { return test::SleepsInPollWithoutTimeout(thread); }))
        << "the watcher does not wait for the next change without a time-out";
    watcher_.reset();  // returns once the thread has ended
    EXPECT_FALSE(fs::exists("/proc/self/task/" + std::to_string(thread)));
}

TEST_F(DirectoryWatcherTest, AMissingFolderOrAFileCannotBeWatched) {
    const std::string missing = (folder_.Path() / "missing").string();
    Result<std::unique_ptr<DirectoryWatcher>> watcher = DirectoryWatcher::Start(missing, [](auto) {});
    ASSERT_FALSE(watcher.ok());
    EXPECT_EQ(watcher.error().code(), ErrorCode::kNotFound);
    EXPECT_NE(watcher.error().message().find(missing), std::string::npos);
    test::WriteFile(folder_.Path() / "file", "");
    EXPECT_EQ(DirectoryWatcher::Start(folder_.File("file"), [](auto) {}).error().code(),
              ErrorCode::kInvalidArgument);
}

}  // namespace
}  // namespace vexa::desktop
