// The screen source and the session when something underneath fails: a cursor record that cannot be
// allocated, a start gate that cannot be waited on, a capture thread stuck in the system at the stop,
// an encoder that falls behind, a file that cannot grow any more, a packet the muxer refuses.
// A binary of its own: it replaces the array form of nothrow operator new to make chosen
// allocations fail, holds threads with a signal and limits the size of the files it writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/capture.h"
#include "engine/recording.h"
#include "platform/log/log.h"
#include "platform/testing/fake_screen_backend.h"
#include "platform/testing/manual_clock.h"
#include "tests/support/media_probe.h"
#include "tests/engine/screen_test_support.h"
#include "tests/support/temp_folder.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

// Allocations of exactly this many bytes through new (std::nothrow) T[n] fail while the count lasts.
std::atomic<size_t> fail_size{0};
std::atomic<int> fail_count{0};

}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (size == fail_size.load() && fail_count.load() > 0 && fail_count.fetch_sub(1) > 0) return nullptr;
    try {
        return ::operator new[](size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace vexa::engine {
namespace {

using platform::FakeScreenBackend;
using screen_test::Arrow;
using screen_test::WaitUntil;
constexpr int64_t kSecond = 1'000'000'000;
constexpr int kCursorSize = 20;
// A cursor record holds the block around the cursor on the chroma grid, two pixels more a side:
// 22 × 22 × 4 bytes, a size nothing else has.
constexpr int kRecordSide = kCursorSize + 2;

// Keeps the log's lines for the test to look through.
class LogLines final : public log::Sink {
  public:
    LogLines() {
        previous_ = log::SetSink(std::shared_ptr<log::Sink>(this, [](log::Sink*) {}));
    }
    ~LogLines() override { log::SetSink(previous_); }
    void Write(std::string_view line) override {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    }
    [[nodiscard]] bool Has(const std::string& text) { return Count(text) > 0; }
    [[nodiscard]] size_t Count(const std::string& text) {
        std::lock_guard lock(mutex_);
        return static_cast<size_t>(std::count_if(lines_.begin(), lines_.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        }));
    }

  private:
    std::shared_ptr<log::Sink> previous_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// The id of this process's thread named `name`; 0 when there is none.
pid_t FindThread(const std::string& name) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string comm = test::ReadFile(task.path() / "comm");
        while (!comm.empty() && comm.back() == '\n') comm.pop_back();
        if (comm == name) return static_cast<pid_t>(std::stol(task.path().filename().string()));
    }
    return 0;
}

// Holds one thread of this process inside a signal handler until the hold ends: a thread that falls
// behind without a line of the code under test changed. The thread is signalled only while it waits
// in ppoll for work, where it holds no lock, so nothing else waits for it meanwhile.
class ThreadHold {
  public:
    ThreadHold() {
        if (pipe2(release_, O_CLOEXEC) != 0) release_[0] = release_[1] = -1;
        release_fd_ = release_[0];
        struct sigaction hold {};
        hold.sa_handler = &HoldHere;
        sigemptyset(&hold.sa_mask);
        sigaction(SIGUSR1, &hold, &previous_);
    }
    ~ThreadHold() {
        Release();
        sigaction(SIGUSR1, &previous_, nullptr);
        for (int fd : release_)
            if (fd >= 0) close(fd);
    }
    ThreadHold(const ThreadHold&) = delete;
    ThreadHold& operator=(const ThreadHold&) = delete;

    // True once the thread is held.
    [[nodiscard]] bool Hold(pid_t tid) {
        if (tid == 0 || release_[0] < 0) return false;
        const std::string syscall_file = "/proc/self/task/" + std::to_string(tid) + "/syscall";
        const std::string in_ppoll = std::to_string(SYS_ppoll) + " ";
        if (!WaitUntil([&] { return test::ReadFile(syscall_file).rfind(in_ppoll, 0) == 0; })) return false;
        if (syscall(SYS_tgkill, getpid(), tid, SIGUSR1) != 0) return false;
        return WaitUntil([] { return held_.load(); });
    }
    void Release() {
        if (!held_.load()) return;
        const char go = 1;
        (void)!write(release_[1], &go, 1);
        (void)WaitUntil([] { return !held_.load(); });
    }

  private:
    static void HoldHere(int) {
        const int saved = errno;
        held_ = true;
        char go = 0;
        while (read(release_fd_, &go, 1) < 0 && errno == EINTR) {
        }
        held_ = false;
        errno = saved;
    }

    static inline std::atomic<bool> held_{false};
    static inline int release_fd_ = -1;
    int release_[2] = {-1, -1};
    struct sigaction previous_ {};
};

// While it lives, files this process writes cannot grow past `bytes`: a write that would is cut
// there and the next one fails with EFBIG, as on a full disk. SIGXFSZ is ignored meanwhile.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &previous_signal_);
        getrlimit(RLIMIT_FSIZE, &previous_);
        const rlimit limit{bytes, previous_.rlim_max};
        ok_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        sigaction(SIGXFSZ, &previous_signal_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    [[nodiscard]] bool Ok() const { return ok_; }

  private:
    rlimit previous_{};
    struct sigaction previous_signal_ {};
    bool ok_ = false;
};

class CaptureFaultsTest : public ::testing::Test {
  protected:
    std::unique_ptr<CCapture> Session() {
        auto session = CCapture::Create(folder_.File("out.mp4"), clock_);
        EXPECT_TRUE(session.ok()) << session.error().message();
        return session.ok() ? std::move(session).value() : nullptr;
    }
    bool AddScreen(CCapture& session, bool damage, bool cursor, int width = 64, int height = 48) {
        auto screen =
            std::make_unique<FakeScreenBackend>(width, height, platform::RowOrder::kTopDown, kCursorSize);
        screen->SetDamageSupported(damage);
        screen_ = screen.get();
        return session.AddScreenStream(1, kVideoBitRate, 30, cursor, {}, std::move(screen)).ok();
    }
    // The clock moves one frame period on and the screen, changed by `change` just before, is
    // grabbed then; false when no grab came.
    [[nodiscard]] bool NextPicture(const std::function<void()>& change, int64_t step = kSecond / 30) {
        const int grabs = screen_->GrabCount();
        change();
        clock_.Advance(step);
        return WaitUntil([&] { return screen_->GrabCount() > grabs; });
    }

    // A new picture one second later: the polling grab takes it, and the encoder gets the one before.
    [[nodiscard]] bool NextPicture() {
        return NextPicture(
            [&] { screen_->Fill(0xFF000000u | static_cast<uint32_t>(screen_->GrabCount() * 0x1F3D5B)); },
            kSecond);
    }

    platform::ManualClock clock_;
    test::TempFolder folder_;
    FakeScreenBackend* screen_ = nullptr;
    LogLines log_;
};

// The first picture cannot get its cursor record. It is skipped rather than held without one, so the
// cursor move that follows has a record to follow instead of nothing.
TEST_F(CaptureFaultsTest, AFrameWhoseCursorRecordCannotBeMadeIsSkippedAndTakenAgain) {
    auto session = Session();
    ASSERT_TRUE(AddScreen(*session, true, true));
    screen_->SetCursor(Arrow(1, 1));
    fail_size = static_cast<size_t>(kRecordSide) * kRecordSide * 4;
    fail_count = 1;
    const std::shared_ptr<SessionStats> stats = session->SharedStats();
    ASSERT_TRUE(session->Start().ok());
    EXPECT_TRUE(WaitUntil([&] { return stats->cursor_records.load() >= 1; }))
        << "the picture was not taken again";
    EXPECT_EQ(fail_count.load(), 0) << "the allocation never failed";

    // A pointer move alone: a record appended to the held frame.
    screen_->SetCursor(Arrow(9, 9));
    platform::DamageReport moved;
    moved.kind = platform::DamageReport::Kind::kUpdate;
    moved.mouse_update_time = clock_.Now() + kSecond / 10;
    screen_->QueueDamage(moved);
    ASSERT_TRUE(WaitUntil([&] { return stats->cursor_records.load() >= 2; }));
    clock_.Advance(kSecond);
    session.reset();
    EXPECT_EQ(stats->frames_captured.load(), 1u);
    auto file = test::ProbeFile(folder_.File("out.mp4"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->PacketsOf(0).size(), 2u);  // the picture with the cursor, then the move
}

// The gate's descriptor is swapped for a pipe whose reader is gone: every wait on it fails. The
// capture thread must end instead of waiting again for ever.
TEST_F(CaptureFaultsTest, AFailingWaitAtTheStartGateEndsTheCaptureThread) {
    auto session = Session();
    int broken[2];
    ASSERT_EQ(pipe(broken), 0);
    close(broken[0]);
    ASSERT_GE(dup2(broken[1], session->StartGate().NativeHandle()), 0);
    close(broken[1]);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);  // the stop's releases write into the broken pipe

    ASSERT_TRUE(AddScreen(*session, false, false));
    const bool ended = WaitUntil([&] { return log_.Has("the wait at the start gate failed"); });
    if (!ended) {
        ADD_FAILURE() << "the capture thread is still waiting at the failed gate";
        (void)session.release();  // its thread never ends: leave it rather than hang the test
    } else {
        session.reset();
        EXPECT_FALSE(log_.Has("has not ended"));
    }
    sigaction(SIGPIPE, &previous, nullptr);
}

// The capture thread is stuck inside a grab when the stop comes. The stop logs it, finishes the file
// meanwhile (trailer written and the file made regular: a readable MP4 with the picture passed on
// before), and frees the stream only after the thread has ended.
TEST_F(CaptureFaultsTest, StopFinishesTheFileWhileACaptureThreadIsStuck) {
    auto session = Session();
    ASSERT_TRUE(AddScreen(*session, false, false));
    ASSERT_TRUE(session->Start().ok());
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 1; }));  // picture A at 0 s
    screen_->Fill(0xFF808080);
    clock_.Advance(kSecond);  // picture B at 1 s passes A on
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 2; }));
    screen_->HoldGrabs(true);
    clock_.Advance(kSecond);  // the grab at 2 s gets stuck
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 3; }));

    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        session.reset();
        stopped = true;
    });
    const std::string path = folder_.File("out.mp4");
    std::optional<test::ProbedFile> file;
    const int log_level = av_log_get_level();
    av_log_set_level(AV_LOG_FATAL);  // quiet about the unfinished file meanwhile
    const bool finished =
        WaitUntil([&] { return log_.Has("as a regular file") && (file = test::ProbeFile(path)); }, 10'000);
    av_log_set_level(log_level);
    const bool stopped_early = stopped.load();
    screen_->HoldGrabs(false);
    stopper.join();

    ASSERT_TRUE(finished) << "the file is not finished while the capture thread is stuck";
    EXPECT_FALSE(stopped_early) << "the stop did not wait for the stuck thread";
    EXPECT_TRUE(log_.Has("the screen capture thread has not ended"));
    EXPECT_TRUE(log_.Has("the stuck screen capture thread has ended"));
    EXPECT_EQ(file->PacketsOf(0).size(), 1u);           // A; B was still held by the stuck thread
    EXPECT_NEAR(file->StreamEndSeconds(0), 2.0, 0.01);  // A lasts to the stop
}

// The encoding thread is held while the screen changes ten more times. Four pictures wait for it; from
// then on each newer picture replaces the one the capture holds, which is counted as dropped. Once
// the encoder is back, the file has the first four pictures and the last, and the fourth lasts until
// the last.
TEST_F(CaptureFaultsTest, PicturesTheEncoderCannotTakeInTimeAreDroppedAndCounted) {
    if (test::ReadFile("/proc/self/syscall").empty())
        GTEST_SKIP() << "needs /proc/PID/syscall to hold a thread";
    constexpr int kChanges = 10;
    auto grey = [](int i) { return 0xFF000000u | static_cast<uint32_t>(20 + 20 * i) * 0x010101u; };
    auto session = Session();
    ASSERT_TRUE(AddScreen(*session, false, false));
    const std::shared_ptr<SessionStats> stats = session->SharedStats();
    screen_->Fill(grey(0));
    ASSERT_TRUE(session->Start().ok());
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 1; }));
    {
        ThreadHold encoder;
        ASSERT_TRUE(encoder.Hold(FindThread("vexa-scr-enc"))) << "the screen encoding thread was not held";
        for (int i = 1; i <= kChanges; ++i) ASSERT_TRUE(NextPicture([&] { screen_->Fill(grey(i)); }));
        EXPECT_TRUE(WaitUntil([&] { return stats->frames_dropped.load() >= kChanges - 4; }));
        EXPECT_EQ(stats->frames_encoded.load(), 0u);
    }
    clock_.Advance(kSecond);
    session.reset();
    EXPECT_EQ(stats->frames_dropped.load(), static_cast<uint64_t>(kChanges - 4));
    EXPECT_EQ(stats->frames_encoded.load(), 5u);

    auto file = test::ProbeFile(folder_.File("out.mp4"));
    ASSERT_TRUE(file);
    const auto packets = file->PacketsOf(0);
    ASSERT_EQ(packets.size(), 5u);
    const test::ProbedStream& s = file->streams[0];
    const auto frames = [&](int64_t units) { return static_cast<double>(units) * s.tb_num / s.tb_den * 30; };
    EXPECT_NEAR(frames(packets[3].pts), 3, 0.01);
    EXPECT_NEAR(frames(packets[3].duration), kChanges - 3, 0.01);
    EXPECT_NEAR(frames(packets[4].pts), kChanges, 0.01);
    const auto pictures = test::DecodeVideo(folder_.File("out.mp4"));
    ASSERT_EQ(pictures.size(), 5u);
    const int shown[] = {0, 1, 2, 3, kChanges};
    for (size_t i = 0; i < pictures.size(); ++i)
        EXPECT_NEAR(pictures[i].At(32, 24), 20 + 20 * shown[i], 4) << "picture " << i;
}

// The file may grow by 64 bytes only: the next fragment is cut there. The recording ends by itself
// with the system's reason, for whoever waits on it, and the file is cut back to its last whole
// fragment, which an independent decoder reads without an error.
TEST_F(CaptureFaultsTest, AFileThatCannotGrowEndsTheRecordingWithTheCauseAndKeepsItsWholeFragments) {
    auto session = Session();
    ASSERT_TRUE(AddScreen(*session, false, false));
    const std::shared_ptr<SessionStats> stats = session->SharedStats();
    const std::string path = folder_.File("out.mp4");
    ASSERT_TRUE(session->Start().ok());
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 1; }));
    for (int n = 0; n < 60 && std::filesystem::file_size(path) < 2000; ++n) ASSERT_TRUE(NextPicture());
    const uintmax_t kept = std::filesystem::file_size(path);  // fragments reach the file whole
    {
        FileSizeLimit limit(static_cast<rlim_t>(kept + 64));
        ASSERT_TRUE(limit.Ok());
        for (int n = 0; n < 60 && session->FailureStop().ok(); ++n) ASSERT_TRUE(NextPicture());
        ASSERT_EQ(session->FailureEvent().Wait(50'000'000), platform::WaitResult::kSignaled);
        const Error cause = session->FailureStop();
        EXPECT_EQ(cause.code(), ErrorCode::kNoSpace);
        EXPECT_EQ(cause.message(), "cannot write to " + path + ": " + std::strerror(EFBIG));
        session.reset();  // the stop, as the user's
        EXPECT_EQ(stats->failure.Get(), cause);
    }
    EXPECT_TRUE(log_.Has("the recording stops by itself: cannot write to " + path));
    EXPECT_EQ(std::filesystem::file_size(path), kept);
    const auto pictures = test::DecodeVideo(path);
    EXPECT_GE(pictures.size(), 2u);
    EXPECT_EQ(test::FfprobeDecodeErrors(path), "");
}

// Whatever has a recording's name stays untouched: a link planted there (its target too), another
// recording. The recording takes the next free number and is finished in place.
TEST_F(CaptureFaultsTest, TakenNamesAreLeftAloneAndTheRecordingTakesTheNextFreeNumber) {
    const char* const taken[] = {"target", "out_2.mp4"};
    for (const char* name : taken) test::WriteFile(folder_.File(name), name);
    std::filesystem::create_symlink(folder_.File("target"), folder_.File("out.mp4"));
    auto session = Session();
    ASSERT_TRUE(AddScreen(*session, false, false));
    ASSERT_TRUE(session->Start().ok());
    const std::string path = folder_.File("out_3.mp4");
    EXPECT_EQ(session->Path(), path);
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 1; }));
    ASSERT_TRUE(NextPicture());
    clock_.Advance(kSecond);
    const std::shared_ptr<SessionStats> stats = session->SharedStats();
    session.reset();

    for (const char* name : taken) EXPECT_EQ(test::ReadFile(folder_.File(name)), name);
    const RecordingOutcome outcome = JudgeRecording(path, *stats);
    EXPECT_TRUE(outcome.file_kept && outcome.failure.ok() && outcome.unfinished.ok());
    EXPECT_EQ(test::DecodeVideo(path).size(), 2u);
}

// A packet of a stream the file does not have is refused by the muxer alone: the file is fine, so
// the packet is dropped and the recording goes on.
TEST_F(CaptureFaultsTest, APacketTheMuxerRefusesIsDroppedAndTheRecordingGoesOn) {
    auto session = Session();
    ASSERT_TRUE(AddScreen(*session, false, false));
    const std::shared_ptr<SessionStats> stats = session->SharedStats();
    ASSERT_TRUE(session->Start().ok());
    ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 1; }));
    for (int n = 0; n < 60 && stats->packets_written.load() == 0; ++n) ASSERT_TRUE(NextPicture());
    PacketNode* stray = PacketPool::Instance().Take();
    ASSERT_NE(stray, nullptr);
    ASSERT_EQ(av_new_packet(stray->packet, 16), 0);
    stray->packet->stream_index = 7;
    session->QueuePacket(stray);
    ASSERT_TRUE(WaitUntil([&] { return stats->write_errors.load() == 1; }));
    const uint64_t written = stats->packets_written.load();
    for (int n = 0; n < 60 && stats->packets_written.load() == written; ++n) ASSERT_TRUE(NextPicture());
    EXPECT_GT(stats->packets_written.load(), written);
    EXPECT_TRUE(session->FailureStop().ok());
    EXPECT_TRUE(log_.Has("cannot write a packet to"));
    session.reset();
    EXPECT_TRUE(stats->failure.Get().ok());
}

}  // namespace
}  // namespace vexa::engine
