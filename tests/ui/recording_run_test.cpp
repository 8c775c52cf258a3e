// The record page's recording thread on a scripted screen, without windows: what it reports, in
// which order, and what it leaves on the disk when stopped during the count-down, after a start,
// when its file cannot be made or opened, and when the file can no longer grow.
#include "ui/recording_run.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <condition_variable>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>

#include "platform/testing/fake_screen_backend.h"
#include "tests/support/media_probe.h"
#include "tests/support/temp_folder.h"

namespace vexa::ui {
namespace {

using namespace std::chrono_literals;

// What the thread reported, in order; the test waits for an event.
class Reports {
  public:
    RecordingRun::Report Sink() {
        return [this](RunEvent event) {
            std::lock_guard lock(mutex_);
            events_.push_back(event);
            changed_.notify_all();
        };
    }
    bool WaitFor(RunEvent event) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(
            lock, 10s, [&] { return std::find(events_.begin(), events_.end(), event) != events_.end(); });
    }
    std::vector<RunEvent> All() {
        std::lock_guard lock(mutex_);
        return events_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<RunEvent> events_;
};

// A screen recording of a scripted 320 x 240 screen (polled 30 times a second) into `folder`.
engine::RecordingRequest ScreenRequest(const std::string& folder,
                                       platform::FakeScreenBackend** screen = nullptr) {
    auto backend = std::make_shared<std::unique_ptr<platform::ScreenBackend>>();
    auto fake = std::make_unique<platform::FakeScreenBackend>(320, 240);
    fake->SetDamageSupported(false);
    if (screen) *screen = fake.get();
    *backend = std::move(fake);
    engine::RecordingRequest r;
    r.output_dir = folder;
    r.frame_rate_text = "30";
    r.screen_backend = [backend] { return std::move(*backend); };
    return r;
}

bool WaitUntil(const std::function<bool()>& done) {
    for (auto end = std::chrono::steady_clock::now() + 10s; !done();) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(RecordingRun, AStopDuringTheCountDownStartsNothingAndTheNextStartRecordsAfterItsThreadEnded) {
    test::TempFolder first, second;
    engine::SessionSlot slot;
    Reports reports;
    auto run =
        std::make_unique<RecordingRun>(ScreenRequest(first.File("out")), slot, nullptr, reports.Sink());
    ASSERT_TRUE(run->Launch().ok());
    ASSERT_TRUE(WaitUntil([&] { return !run->Path().empty(); }));  // prepared; waits for the count-down
    const std::string never_started = run->Path();
    run->RequestStop();

    auto next = std::make_unique<RecordingRun>(ScreenRequest(second.File("out")), slot, std::move(run),
                                               reports.Sink());
    ASSERT_TRUE(next->Launch().ok());
    next->CountDownDone();
    ASSERT_TRUE(reports.WaitFor(RunEvent::kStarted));
    std::this_thread::sleep_for(300ms);
    const std::string recorded = next->Path();
    next.reset();  // stops, finishes the file and waits for the thread

    EXPECT_EQ(reports.All(), std::vector{RunEvent::kStarted});
    EXPECT_FALSE(std::filesystem::exists(never_started));
    EXPECT_EQ(slot.Peek(), nullptr);
    const auto file = test::ProbeFile(recorded);
    ASSERT_TRUE(file);
    ASSERT_EQ(file->streams.size(), 1u);
    EXPECT_EQ(file->streams[0].width, 320);
    EXPECT_GE(file->packets.size(), 1u);
}

TEST(RecordingRun, AFolderThatCannotBeMadeAndAFileThatCannotBeOpenedAreReportedWithTheirCauses) {
    test::TempFolder folder;
    test::WriteFile(folder.File("plain"), "a file where the folder would be");
    engine::SessionSlot slot;
    Reports prepare;
    RecordingRun unmade(ScreenRequest(folder.File("plain") + "/sub"), slot, nullptr, prepare.Sink());
    ASSERT_TRUE(unmade.Launch().ok());
    ASSERT_TRUE(prepare.WaitFor(RunEvent::kPrepareFailed));
    EXPECT_EQ(unmade.Failure().message(),
              "cannot create folder " + folder.File("plain") + "/sub: " + std::strerror(ENOTDIR));

    // Folders where the files of the next seconds would go.
    for (std::time_t t = std::time(nullptr), end = t + 10; t <= end; ++t) {
        std::tm local{};
        localtime_r(&t, &local);
        std::filesystem::create_directories(
            engine::BuildOutputPath(folder.File("taken"), engine::RecordingMode::kScreen, local));
    }
    Reports start;
    RecordingRun unopened(ScreenRequest(folder.File("taken")), slot, nullptr, start.Sink());
    ASSERT_TRUE(unopened.Launch().ok());
    unopened.CountDownDone();
    ASSERT_TRUE(start.WaitFor(RunEvent::kStartFailed));
    EXPECT_EQ(start.All(), std::vector{RunEvent::kStartFailed});
    EXPECT_EQ(unopened.Failure().message().rfind("cannot open output file " + unopened.Path(), 0), 0u)
        << unopened.Failure().message();
    EXPECT_EQ(prepare.All(), std::vector{RunEvent::kPrepareFailed});
}

// While it lives, no file of this process may grow past `bytes` (as on a full disk).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        const rlimit limit{bytes, previous_.rlim_max};
        ok_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &previous_); }
    [[nodiscard]] bool Ok() const { return ok_; }

  private:
    rlimit previous_{};
    bool ok_ = false;
};

TEST(RecordingRun, AFileThatCannotGrowIsReportedOnceWithItsCauseAndTheRunWaitsForTheStop) {
    test::TempFolder folder;
    engine::SessionSlot slot;
    Reports reports;
    platform::FakeScreenBackend* screen = nullptr;
    auto run = std::make_unique<RecordingRun>(ScreenRequest(folder.Path().string(), &screen), slot, nullptr,
                                              reports.Sink());
    FileSizeLimit limit(8192);  // the header fits, the first fragment of noise does not
    ASSERT_TRUE(limit.Ok());
    ASSERT_TRUE(run->Launch().ok());
    run->CountDownDone();
    ASSERT_TRUE(reports.WaitFor(RunEvent::kStarted));
    std::mt19937 noise(7);
    ASSERT_TRUE(WaitUntil([&] {
        for (int i = 0; i < 2000; ++i)
            screen->SetPixel(static_cast<int>(noise() % 320), static_cast<int>(noise() % 240), noise());
        return reports.All().size() > 1;
    }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(reports.All(), (std::vector{RunEvent::kStarted, RunEvent::kEndedItself}));
    EXPECT_EQ(run->Failure().code(), ErrorCode::kNoSpace);
    EXPECT_NE(slot.Peek(), nullptr);  // kept until the page stops it
    const std::string path = run->Path();
    run.reset();
    EXPECT_EQ(slot.Peek(), nullptr);
    EXPECT_GT(std::filesystem::file_size(path), 0u);
}

}  // namespace
}  // namespace vexa::ui
