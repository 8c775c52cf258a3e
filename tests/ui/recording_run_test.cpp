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
#include "tests/net/captured_log.h"
#include "tests/support/media_probe.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_until.h"

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

// A screen recording of a scripted 320 x 240 screen (polled 30 times a second) into `folder`;
// `screen`, when given, is pointed at the screen, which lives as long as the recording.
engine::RecordingRequest ScreenRequest(const std::string& folder,
                                       platform::FakeScreenBackend** screen = nullptr) {
    auto fake = std::make_unique<platform::FakeScreenBackend>(320, 240);
    fake->SetDamageSupported(false);
    if (screen) *screen = fake.get();
    auto backend = std::make_shared<std::unique_ptr<platform::ScreenBackend>>(std::move(fake));
    engine::RecordingRequest r;
    r.output_dir = folder;
    r.frame_rate_text = "30";
    r.screen_backend = [backend] { return std::move(*backend); };
    return r;
}

using test::WaitUntil;

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

    platform::FakeScreenBackend* screen = nullptr;
    auto next = std::make_unique<RecordingRun>(ScreenRequest(second.File("out"), &screen), slot,
                                               std::move(run), reports.Sink());
    ASSERT_TRUE(next->Launch().ok());
    next->CountDownDone();
    ASSERT_TRUE(reports.WaitFor(RunEvent::kStarted));
    ASSERT_TRUE(WaitUntil([&] { return screen->GrabCount() >= 3; }));  // pictures were taken
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
    auto unmade = std::make_unique<RecordingRun>(ScreenRequest(folder.File("plain") + "/sub"), slot, nullptr,
                                                 prepare.Sink());
    ASSERT_TRUE(unmade->Launch().ok());
    ASSERT_TRUE(prepare.WaitFor(RunEvent::kPrepareFailed));
    EXPECT_EQ(unmade->Failure().message(),
              "cannot create folder " + folder.File("plain") + "/sub: " + std::strerror(ENOTDIR));

    unmade->CountDownDone();
    unmade.reset();  // joins the thread: whatever it would report has been reported
    EXPECT_EQ(prepare.All(), std::vector{RunEvent::kPrepareFailed});
    EXPECT_EQ(slot.Peek(), nullptr);
}

// The folder goes while recording. The run reports the failure once with its cause (as soon as the
// writer sees it, or at the stop), and never logs the recording as finished.
TEST(RecordingRun, AFolderDeletedWhileRecordingIsReportedOnceAndNeverLoggedAsFinished) {
    test::TempFolder folder;
    engine::SessionSlot slot;
    Reports reports;
    const net::testing::CapturedLog log;
    auto run =
        std::make_unique<RecordingRun>(ScreenRequest(folder.File("out")), slot, nullptr, reports.Sink());
    ASSERT_TRUE(run->Launch().ok());
    run->CountDownDone();
    ASSERT_TRUE(reports.WaitFor(RunEvent::kStarted));
    const std::string path = run->Path();
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(path); }));
    std::filesystem::remove_all(folder.File("out"));
    run->RequestStop();
    ASSERT_TRUE(WaitUntil([&] { return reports.All().size() == 2; }));
    EXPECT_EQ(run->Failure().message(), path + " was deleted while it was being written");
    run.reset();  // the stop sequence has ended
    const RunEvent failed = reports.All().back();
    EXPECT_TRUE(failed == RunEvent::kEndedItself || failed == RunEvent::kFailedAtStop);
    EXPECT_EQ(reports.All().size(), 2u);
    EXPECT_EQ(log.Text().find("recording finished"), std::string::npos) << log.Text();
}

}  // namespace
}  // namespace vexa::ui
