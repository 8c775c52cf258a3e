// The record page's recording thread on a scripted screen, without windows: what it reports, in
// which order, and what it leaves on the disk when stopped during the count-down, after a start,
// and when its folder cannot be made. (Failures of the file itself are the page's end-to-end tests.)
#include "ui/recording_run.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
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
engine::RecordingRequest ScreenRequest(const std::string& folder) {
    auto fake = std::make_unique<platform::FakeScreenBackend>(320, 240);
    fake->SetDamageSupported(false);
    auto backend = std::make_shared<std::unique_ptr<platform::ScreenBackend>>(std::move(fake));
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

TEST(RecordingRun, AFolderThatCannotBeMadeIsReportedWithItsCauseAndNothingStarts) {
    test::TempFolder folder;
    test::WriteFile(folder.File("plain"), "a file where the folder would be");
    engine::SessionSlot slot;
    Reports prepare;
    RecordingRun unmade(ScreenRequest(folder.File("plain") + "/sub"), slot, nullptr, prepare.Sink());
    ASSERT_TRUE(unmade.Launch().ok());
    ASSERT_TRUE(prepare.WaitFor(RunEvent::kPrepareFailed));
    EXPECT_EQ(unmade.Failure().message(),
              "cannot create folder " + folder.File("plain") + "/sub: " + std::strerror(ENOTDIR));

    unmade.CountDownDone();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(prepare.All(), std::vector{RunEvent::kPrepareFailed});
    EXPECT_EQ(slot.Peek(), nullptr);
}

}  // namespace
}  // namespace vexa::ui
