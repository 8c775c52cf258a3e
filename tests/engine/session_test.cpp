// The recording session on a scripted screen and a clock the test moves: session time, pause,
// the stop sequence, variable frame timing and the file that comes out.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/capture.h"
#include "engine/screen/display.h"
#include "platform/testing/fake_audio_system.h"
#include "platform/testing/fake_screen_backend.h"
#include "platform/testing/manual_clock.h"
#include "tests/support/media_probe.h"
#include "tests/engine/screen_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/thread_probe.h"

namespace vexa::engine {
namespace {

using platform::FakeScreenBackend;
using platform::ManualClock;
using screen_test::Arrow;
using screen_test::WaitUntil;
constexpr int64_t kSecond = 1'000'000'000;

class SessionTest : public ::testing::Test {
  protected:
    std::string Path() const { return folder_.File("out.mp4"); }

    // A session with one screen stream on a fake screen that offers only the polling method.
    std::unique_ptr<CCapture> ScreenSession(int width, int height, bool cursor, const CaptureRect& rect = {},
                                            platform::RowOrder order = platform::RowOrder::kTopDown,
                                            int fps = 30) {
        auto session = CCapture::Create(Path(), clock_).value();
        auto screen = std::make_unique<FakeScreenBackend>(width, height, order);
        screen->SetDamageSupported(false);
        screen_ = screen.get();
        const Error added = session->AddScreenStream(1, kVideoBitRate, fps, cursor, rect, std::move(screen));
        EXPECT_TRUE(added.ok()) << added.message();
        return session;
    }

    // The polling method grabs on the session clock's deadlines, one frame period apart: the first
    // at the start, then only when the test moves the clock past the next one.
    void WaitForFirstPoll() {
        ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 1; }));
    }
    // Moves the clock (past a deadline) and waits for the grab that follows.
    void Step(int64_t ticks) {
        const int before = screen_->GrabCount();
        clock_.Advance(ticks);
        ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() > before; }));
    }

    static double Seconds(int64_t pts, const test::ProbedStream& s) {
        return static_cast<double>(pts) * s.tb_num / s.tb_den;
    }

    ManualClock clock_;
    FakeScreenBackend* screen_ = nullptr;
    test::TempFolder folder_;
};

TEST_F(SessionTest, PauseAndResumeAreIdempotentAndFreezeTime) {
    auto session = ScreenSession(64, 48, false);
    ASSERT_TRUE(session->Start().ok());
    WaitForFirstPoll();
    clock_.Advance(2 * kSecond);
    EXPECT_EQ(session->SessionTimeNow(), 2 * kSecond);
    session->Pause();
    clock_.Advance(kSecond);
    session->Pause();  // a second pause changes nothing
    clock_.Advance(kSecond);
    EXPECT_EQ(session->SessionTimeNow(), 2 * kSecond);
    session->Resume();
    session->Resume();  // resuming while not paused changes nothing
    clock_.Advance(kSecond);
    EXPECT_EQ(session->SessionTimeNow(), 3 * kSecond);
    // Stopping while paused: the stop lies in the pause, so the recording ends at the frozen time.
    session->Pause();
    clock_.Advance(5 * kSecond);
    session.reset();
    auto file = test::ProbeFile(Path());
    ASSERT_TRUE(file);
    EXPECT_NEAR(file->StreamEndSeconds(0), 3.0, 0.01);
}

// The record page marks the stop when the user asks and deletes the session later, on the recording
// thread: the file ends at the request (here inside a pause, so at the frozen time), whatever the
// clock does until the deletion, and neither a second mark nor a pause moves it.
TEST_F(SessionTest, AStopMarkedAtTheRequestEndsTheFileThereHoweverLateTheSessionIsDeleted) {
    auto session = ScreenSession(64, 48, false);
    ASSERT_TRUE(session->Start().ok());
    WaitForFirstPoll();
    clock_.Advance(2 * kSecond);
    session->Pause();
    clock_.Advance(kSecond);
    session->MarkStopped();
    EXPECT_TRUE(session->Stopped());
    EXPECT_FALSE(session->Paused());
    EXPECT_EQ(session->StopPosition(), 2 * kSecond);
    clock_.Advance(3 * kSecond);
    session->MarkStopped();
    session->Pause();
    clock_.Advance(3 * kSecond);
    EXPECT_FALSE(session->Paused());
    EXPECT_EQ(session->StopPosition(), 2 * kSecond);
    session.reset();
    auto file = test::ProbeFile(Path());
    ASSERT_TRUE(file);
    EXPECT_NEAR(file->StreamEndSeconds(0), 2.0, 0.01);
}

TEST_F(SessionTest, PauseBeforeTheStartIsRefused) {
    auto session = ScreenSession(64, 48, false);
    session->Pause();  // during the count-down, say
    clock_.Advance(kSecond);
    ASSERT_TRUE(session->Start().ok());
    EXPECT_FALSE(session->Paused());
    clock_.Advance(2 * kSecond);
    EXPECT_EQ(session->SessionTimeNow(), 2 * kSecond);
}

TEST_F(SessionTest, PollingGrabsOnDeadlinesOnePeriodApartAndSkipsMissedOnes) {
    constexpr int64_t kPeriod = kSecond / 30;  // the frame period at 30 fps
    const int64_t start = clock_.Now();
    auto session = ScreenSession(64, 48, false);
    // The capture thread has slept and woken twice more: it has looked at the clock since.
    auto settle = [] { ASSERT_TRUE(test::NamedThreadTurnsOver("vexa-scr-cap")); };
    screen_->Fill(0xFF000000);
    ASSERT_TRUE(session->Start().ok());
    WaitForFirstPoll();  // due at once: the schedule is 0, 1, 2, ... periods
    settle();
    EXPECT_EQ(screen_->GrabCount(), 1) << "grabs without the clock reaching a deadline";

    screen_->Fill(0xFF404040);
    Step(7 * kPeriod / 2);  // late: the deadlines at 1, 2 and 3 periods have passed
    settle();
    EXPECT_EQ(screen_->GrabCount(), 2) << "a late grab was followed by a burst";
    clock_.Set(start + 39 * kPeriod / 10);
    settle();
    EXPECT_EQ(screen_->GrabCount(), 2) << "the next grab is due at 4 periods, not sooner";
    screen_->Fill(0xFF808080);
    Step(start + 4 * kPeriod - clock_.Now());
    clock_.Set(start + kSecond);
    session.reset();

    auto file = test::ProbeFile(Path());
    ASSERT_TRUE(file);
    const auto packets = file->PacketsOf(0);
    ASSERT_EQ(packets.size(), 3u);
    const double period = 1.0 / 30;
    EXPECT_NEAR(Seconds(packets[0].pts, file->streams[0]), 0.0, 1e-3);
    EXPECT_NEAR(Seconds(packets[1].pts, file->streams[0]), 3.5 * period, 1e-3);
    EXPECT_NEAR(Seconds(packets[2].pts, file->streams[0]), 4 * period, 1e-3);
}

TEST_F(SessionTest, SessionDeletedBeforeStartLeavesNoFile) {
    auto session = ScreenSession(64, 48, false);
    session.reset();
    EXPECT_TRUE(folder_.Files().empty());
}

TEST_F(SessionTest, StopRightAfterStartGivesAValidFile) {
    auto session = ScreenSession(64, 48, true);
    ASSERT_TRUE(session->Start().ok());
    session.reset();
    // A finished file; a stream without packets may be left out by the container.
    auto file = test::ProbeFile(Path());
    ASSERT_TRUE(file);
    EXPECT_LE(file->packets.size(), 1u);
}

TEST_F(SessionTest, StillScreenMakesNoPacketsAndTheLastPacketRunsToTheStop) {
    auto session = ScreenSession(64, 48, false);
    screen_->Fill(0xFF102030);
    ASSERT_TRUE(session->Start().ok());
    WaitForFirstPoll();         // picture A at 0 s
    screen_->Fill(0xFF405060);  // picture B at 1 s
    Step(kSecond);
    Step(4 * kSecond);  // a still screen for 4 s, then a pause of 2 s
    session->Pause();
    clock_.Advance(2 * kSecond);
    session->Resume();
    Step(5 * kSecond);  // 4 + 5 = 9 s of still screen after B
    session.reset();

    auto file = test::ProbeFile(Path());
    ASSERT_TRUE(file);
    const auto packets = file->PacketsOf(0);
    // The pictures that warmed the encoder up stay out of the file; the first real one is a key frame,
    // the next one not.
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_TRUE(packets[0].key);
    EXPECT_FALSE(packets[1].key);
    const test::ProbedStream& s = file->streams[0];
    EXPECT_NEAR(Seconds(packets[0].pts, s), 0.0, 0.01);
    EXPECT_NEAR(Seconds(packets[0].duration, s), 1.0, 0.01);
    EXPECT_NEAR(Seconds(packets[1].pts, s), 1.0, 0.01);
    // The still span is covered by B's duration, up to the stop less the paused time.
    EXPECT_NEAR(Seconds(packets[1].duration, s), 9.0, 0.01);
}

TEST_F(SessionTest, OddRegionIsEncodedAtEvenSize) {
    // Region 0,0,1364,766 inclusive: 1365 × 767 pixels.
    auto session = ScreenSession(1920, 1080, false, ToCaptureRect(RegionRect{0, 0, 1364, 766}));
    ASSERT_TRUE(session->Start().ok());
    WaitForFirstPoll();
    session.reset();
    auto file = test::ProbeFile(Path());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->streams[0].width, 1366);
    EXPECT_EQ(file->streams[0].height, 768);
    EXPECT_EQ(file->PacketsOf(0).size(), 1u);
}

// Top half white, bottom half black: whatever the row order of the source, the top of the
// recorded picture is bright.
void ExpectUpright(const std::string& path) {
    const auto pictures = test::DecodeVideo(path);
    ASSERT_FALSE(pictures.empty());
    const test::GreyPicture& p = pictures.front();
    EXPECT_GT(p.At(p.width / 2, 2), 200);
    EXPECT_LT(p.At(p.width / 2, p.height - 3), 50);
}

TEST_F(SessionTest, BottomUpAndTopDownSourcesReachTheEncoderUpright) {
    for (platform::RowOrder order : {platform::RowOrder::kBottomUp, platform::RowOrder::kTopDown}) {
        auto session = ScreenSession(64, 48, false, {}, order);
        screen_->Fill(0xFF000000);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 64; ++x) screen_->SetPixel(x, y, 0xFFFFFFFF);
        ASSERT_TRUE(session->Start().ok());
        WaitForFirstPoll();
        clock_.Advance(kSecond);  // the picture lasts until the stop
        session.reset();
        ExpectUpright(Path());
    }
}

TEST_F(SessionTest, CursorMovesOverAStillScreenBecomeRecordsUntilTheThirtySecond) {
    auto session = ScreenSession(64, 48, true);
    screen_->SetCursor(Arrow(1, 1));
    ASSERT_TRUE(session->Start().ok());
    WaitForFirstPoll();  // the first full frame with its first cursor record
    const std::shared_ptr<SessionStats> shared = session->SharedStats();
    SessionStats& stats = *shared;
    for (int move = 1; move <= 32; ++move) {
        screen_->SetCursor(Arrow(1 + move, 1));
        clock_.Advance(kSecond / 30);
        ASSERT_TRUE(
            WaitUntil([&] { return stats.cursor_records.load() >= static_cast<uint64_t>(move + 1); }));
        if (move == 31) {
            // The 32nd record of the held frame passes it on: the next move needs a full frame.
            EXPECT_EQ(stats.frames_captured.load(), 1u);
        }
    }
    clock_.Advance(kSecond);
    session.reset();
    EXPECT_EQ(stats.frames_captured.load(), 2u);
    EXPECT_EQ(stats.cursor_records.load(), 33u);
    EXPECT_EQ(stats.frames_encoded.load(), 33u);
    auto file = test::ProbeFile(Path());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->PacketsOf(0).size(), 33u);
}

// A white cursor crosses a still screen of dark vertical stripes in three places. In every picture the
// cursor shows where it is, and wherever it was before the stripes are back: no trail is left, whatever
// the row order of the source.
TEST_F(SessionTest, CursorMovingOverAStillScreenLeavesTheBackgroundAsItWas) {
    struct Place {
        int x, y;
    };
    const Place places[] = {{4, 4}, {28, 12}, {44, 30}};
    constexpr int kReferenceRow = 44;  // below every place the cursor visits
    for (platform::RowOrder order : {platform::RowOrder::kTopDown, platform::RowOrder::kBottomUp}) {
        SCOPED_TRACE(order == platform::RowOrder::kTopDown ? "top-down" : "bottom-up");
        auto session = ScreenSession(64, 48, true, {}, order);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) screen_->SetPixel(x, y, 0xFF000000u | ((x * 6) & 0x7F) * 0x010101u);
        platform::CursorImage cursor = Arrow(places[0].x, places[0].y);
        cursor.width = cursor.height = 8;
        cursor.argb.assign(64, 0xFFFFFFFFu);
        screen_->SetCursor(cursor);
        ASSERT_TRUE(session->Start().ok());
        WaitForFirstPoll();
        const std::shared_ptr<SessionStats> stats = session->SharedStats();
        ASSERT_TRUE(WaitUntil([&] { return stats->cursor_records.load() >= 1; }));
        for (size_t i = 1; i < std::size(places); ++i) {
            cursor.x = places[i].x;
            cursor.y = places[i].y;
            screen_->SetCursor(cursor);
            clock_.Advance(kSecond / 30);
            // The grab count moves before the cursor is read: wait for the record itself, so the next
            // move cannot overtake this one.
            ASSERT_TRUE(WaitUntil([&] { return stats->cursor_records.load() >= i + 1; }));
        }
        clock_.Advance(kSecond);
        session.reset();
        EXPECT_EQ(stats->frames_captured.load(), 1u);  // one screen picture, the moves as records

        const auto pictures = test::DecodeVideo(Path());
        ASSERT_EQ(pictures.size(), std::size(places));
        for (size_t shown = 0; shown < pictures.size(); ++shown) {
            const test::GreyPicture& p = pictures[shown];
            for (size_t i = 0; i < std::size(places); ++i) {
                for (int dy = 1; dy < 7; ++dy) {
                    for (int dx = 1; dx < 7; ++dx) {
                        const int x = places[i].x + dx, y = places[i].y + dy;
                        if (i == shown) {
                            ASSERT_GT(p.At(x, y), 200) << "no cursor in picture " << shown;
                        } else {
                            ASSERT_NEAR(p.At(x, y), p.At(x, kReferenceRow), 8)
                                << "picture " << shown << " at " << x << "," << y;
                        }
                    }
                }
            }
        }
    }
}

TEST_F(SessionTest, MovingMouseAloneMakesNoFramesWithoutCursor) {
    auto session = ScreenSession(64, 48, false);
    ASSERT_TRUE(session->Start().ok());
    WaitForFirstPoll();
    for (int move = 0; move < 5; ++move) {
        screen_->SetCursor(Arrow(move, move));
        Step(kSecond / 30);
    }
    session.reset();
    auto file = test::ProbeFile(Path());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->PacketsOf(0).size(), 1u);
}

TEST_F(SessionTest, RecordedCursorIsDrawnWhereThePointerIs) {
    auto session = ScreenSession(64, 48, true);
    screen_->Fill(0xFF000000);
    platform::CursorImage big = Arrow(20, 10);
    big.width = big.height = 8;
    big.argb.assign(64, 0xFFFFFFFFu);
    screen_->SetCursor(big);
    ASSERT_TRUE(session->Start().ok());
    WaitForFirstPoll();
    clock_.Advance(kSecond);
    session.reset();
    const auto pictures = test::DecodeVideo(Path());
    ASSERT_FALSE(pictures.empty());
    EXPECT_GT(pictures[0].At(24, 14), 200);  // inside the cursor
    EXPECT_LT(pictures[0].At(40, 30), 50);   // background
}

class DamageSessionTest : public SessionTest {
  protected:
    std::unique_ptr<CCapture> DamageSession() {
        auto session = CCapture::Create(Path(), clock_).value();
        auto screen = std::make_unique<FakeScreenBackend>(64, 48);
        screen_ = screen.get();
        EXPECT_TRUE(session->AddScreenStream(1, kVideoBitRate, 30, false, {}, std::move(screen)).ok());
        return session;
    }
    void Damage(int64_t present, platform::ScreenRect rect = {0, 0, 64, 48}) {
        platform::DamageReport r;
        r.kind = platform::DamageReport::Kind::kUpdate;
        r.present_time = present;
        r.dirty.push_back(rect);
        screen_->QueueDamage(r);
    }
};

TEST_F(DamageSessionTest, UpdatesWithinOneFramePeriodCollapse) {
    auto session = DamageSession();
    ASSERT_TRUE(session->Start().ok());
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 1; }));  // the first picture at 0
    const int64_t start = clock_.Now();
    // Updates at 60 Hz recorded at 30 frames per second: times one period apart. Each update comes
    // 0.1 ms early, so that every second one falls inside the period of the one before whichever way
    // the period is rounded.
    for (int i = 1; i <= 6; ++i) Damage(start + i * kSecond / 60 - kSecond / 10'000);
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 7; }));
    clock_.Advance(kSecond);
    const std::shared_ptr<SessionStats> stats = session->SharedStats();
    session.reset();
    // Every second update falls on the period of the one before and replaces it; each grab is
    // either passed on or counted.
    EXPECT_EQ(stats->frames_replaced.load(), 3u);
    EXPECT_EQ(stats->frames_captured.load() + stats->frames_replaced.load() + stats->frames_dropped.load(),
              7u);
    auto file = test::ProbeFile(Path());
    ASSERT_TRUE(file);
    const auto packets = file->PacketsOf(0);
    ASSERT_GE(packets.size(), 2u);
    for (size_t i = 1; i < packets.size(); ++i) {
        EXPECT_GE(Seconds(packets[i].pts - packets[i - 1].pts, file->streams[0]), 1.0 / 30 - 1e-3);
    }
}

TEST_F(DamageSessionTest, DamageOutsideTheCropIsIgnored) {
    auto session = CCapture::Create(Path(), clock_).value();
    auto screen = std::make_unique<FakeScreenBackend>(64, 48);
    screen_ = screen.get();
    ASSERT_TRUE(
        session->AddScreenStream(1, kVideoBitRate, 30, false, CaptureRect{0, 0, 32, 24}, std::move(screen))
            .ok());
    ASSERT_TRUE(session->Start().ok());
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 1; }));
    Damage(clock_.Now() + kSecond, {40, 30, 64, 48});
    Damage(clock_.Now() + 2 * kSecond, {9, 10, 20, 21});
    Damage(clock_.Now() + 3 * kSecond, {9, 10, 20, 21});
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 3; }));
    clock_.Advance(4 * kSecond);
    EXPECT_EQ(screen_->GrabCount(), 3);  // one block each time
    const std::shared_ptr<SessionStats> stats = session->SharedStats();
    session.reset();
    auto file = test::ProbeFile(Path());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->PacketsOf(0).size(), 3u);
    // The whole crop straight into the first picture, again into the canvas at the first partial
    // change, then only the change on the chroma grid: columns 8-19, rows 10-21.
    EXPECT_EQ(stats->pixels_converted.load(), 2u * 32u * 24u + 12u * 12u);
}

TEST_F(DamageSessionTest, ChangeCapturedAfterTheStopIsNotEncoded) {
    auto session = DamageSession();
    ASSERT_TRUE(session->Start().ok());
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 1; }));
    clock_.Advance(kSecond);
    Damage(clock_.Now() + 10 * kSecond);  // presented long after the stop below
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 2; }));
    const std::shared_ptr<SessionStats> shared = session->SharedStats();
    SessionStats& stats = *shared;
    session.reset();
    EXPECT_EQ(stats.frames_captured.load(), 2u);
    EXPECT_EQ(stats.frames_encoded.load(), 1u);
    auto file = test::ProbeFile(Path());
    ASSERT_TRUE(file);
    ASSERT_EQ(file->PacketsOf(0).size(), 1u);
    EXPECT_NEAR(file->StreamEndSeconds(0), 1.0, 0.01);
}

// The whole screen is recorded and the screen grows to 128 × 96 with new content on its right half:
// the source reports the change through the session's counter, chooses the method and the crop
// again, and the picture (scaled into the encoder's 64 × 48) shows the new half.
TEST_F(DamageSessionTest, ScreenThatGrowsIsRecordedWholeWithEitherMethod) {
    for (bool damage : {false, true}) {
        SCOPED_TRACE(damage ? "damage" : "polling");
        auto session = CCapture::Create(Path(), clock_).value();
        auto screen = std::make_unique<FakeScreenBackend>(64, 48);
        screen->SetDamageSupported(damage);
        screen_ = screen.get();
        ASSERT_TRUE(session->AddScreenStream(1, kVideoBitRate, 30, false, {}, std::move(screen)).ok());
        ASSERT_TRUE(session->Start().ok());
        WaitForFirstPoll();
        screen_->Resize(128, 96);
        if (damage) {  // reported at once: the first picture of the new screen is taken
            ASSERT_TRUE(WaitUntil(
                [&] { return session->Stats().reselections.load() >= 1 && screen_->GrabCount() >= 2; }));
        }
        for (int y = 0; y < 96; ++y)
            for (int x = 64; x < 128; ++x) screen_->SetPixel(x, y, 0xFFFFFFFF);
        if (damage) {
            const int before = screen_->GrabCount();
            Damage(clock_.Now() + kSecond / 30, {64, 0, 128, 96});
            ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() > before; }));
        } else {
            Step(kSecond / 30);
        }
        EXPECT_GE(session->DisplayChanges(), 1);
        EXPECT_GE(session->Stats().reselections.load(), 1u);
        clock_.Advance(kSecond);
        session.reset();

        const auto pictures = test::DecodeVideo(Path());
        ASSERT_FALSE(pictures.empty());
        const test::GreyPicture& last = pictures.back();
        ASSERT_EQ(last.width, 64);
        EXPECT_GT(last.At(48, 24), 200) << "the new right half";
        EXPECT_LT(last.At(16, 24), 50) << "the old left half";
    }
}

TEST_F(DamageSessionTest, FailureReselectsAndFallsBackToPolling) {
    auto session = DamageSession();
    ASSERT_TRUE(session->Start().ok());
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 1; }));
    screen_->SetDamageSupported(false);
    platform::DamageReport failed;
    failed.kind = platform::DamageReport::Kind::kFailed;
    screen_->QueueDamage(failed);
    ASSERT_TRUE(WaitUntil([&] { return screen_->Method() == platform::CaptureMethod::kPolling; }));
    EXPECT_GE(session->Stats().reselections.load(), 1u);
}

// The crop rule, without threads: an empty or off-screen rectangle means the whole screen.
TEST(DisplayCrop, EmptyAndOffScreenRectanglesMeanTheWholeScreen) {
    platform::ManualClock clock;
    test::TempFolder folder;
    auto session = CCapture::Create(folder.File("x.mp4"), clock).value();
    struct Case {
        CaptureRect rect;
        platform::ScreenRect crop;
    } cases[] = {
        {{0, 0, 0, 0}, {0, 0, 1920, 1080}},
        {{2000, 1200, 2500, 1500}, {0, 0, 1920, 1080}},        // wholly right of and below the screen
        {{100, 50, 1466, 818}, {100, 50, 1466, 818}},          // inside
        {{1800, 1000, 2100, 1200}, {1800, 1000, 1920, 1080}},  // partly off-screen: clipped
        {{-50, -20, 100, 100}, {0, 0, 100, 100}},              // negative corners are clamped
    };
    for (const Case& c : cases) {
        CDisplay display(*session, std::make_unique<FakeScreenBackend>(1920, 1080));
        ASSERT_TRUE(display.Init(false, c.rect).ok());
        const platform::ScreenRect crop = display.Crop();
        EXPECT_EQ(crop.left, c.crop.left);
        EXPECT_EQ(crop.top, c.crop.top);
        EXPECT_EQ(crop.right, c.crop.right);
        EXPECT_EQ(crop.bottom, c.crop.bottom);
    }
}

TEST(SessionVolume, ChangesAreRefusedUntilTheSetUpIsComplete) {
    platform::ManualClock clock;
    test::TempFolder folder;
    platform::FakeAudioSystem system;
    platform::FakeDeviceScript script;
    script.id = "spk";
    script.name = "Speaker";
    script.accepted = {{platform::SampleType::kFloat, 32, 2, 0x3, 48000}};
    script.mix_format = script.accepted.front();
    const std::shared_ptr<platform::FakeAudioDevice> speaker = system.AddDevice(script);
    auto created = CCapture::Create(folder.File("x.mp4"), clock);
    ASSERT_TRUE(created.ok());
    std::unique_ptr<CCapture> session = std::move(created).value();
    const int row = 0;
    const SoundSourceEntry entries[] = {{0, 100, "spk", &row}, {}};
    ASSERT_TRUE(
        session->AddAudioStream("libmp3lame", AudioRateTriple(AudioBitRateA(50)), entries, system).ok());
    // The mode set-up may still add the screen stream: the list is not the slider's to walk.
    session->SetSourceVolume(&row, 40);
    EXPECT_FLOAT_EQ(speaker->Gain(), 1.0f);
    session->EndSetUp();
    session->SetSourceVolume(&row, 40);
    EXPECT_FLOAT_EQ(speaker->Gain(), 0.4f);
}

TEST(DisplayInit, FailsWithoutAnyMethodGivingTheReasonOfEach) {
    platform::ManualClock clock;
    test::TempFolder folder;
    auto session = CCapture::Create(folder.File("x.mp4"), clock).value();
    auto screen = std::make_unique<FakeScreenBackend>(64, 48);
    screen->SetDamageSupported(false);
    screen->SetPollingSupported(false);
    CDisplay display(*session, std::move(screen));
    const Error e = display.Init(false, {});
    EXPECT_EQ(e.code(), ErrorCode::kUnsupported);
    EXPECT_EQ(e.message(),
              "no screen capture method works (damage: the fake screen refuses damage; polling: the fake "
              "screen refuses polling)");
}

}  // namespace
}  // namespace vexa::engine
