// Set-up failures of a recording say what failed and why, leave nothing behind, and the log tells
// what a recording was made of. Fakes only: a scripted screen and a clock the test moves.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "engine/recording.h"
#include "engine/video_encoder.h"
#include "platform/av_error.h"
#include "platform/log/log.h"
#include "platform/testing/fake_screen_backend.h"
#include "platform/testing/manual_clock.h"
#include "tests/support/temp_folder.h"

extern "C" {
#include <libavutil/error.h>
}

namespace vexa::engine {
namespace {

using platform::FakeScreenBackend;

// Keeps the log's lines while it is installed.
class LogCapture final : public log::Sink {
  public:
    LogCapture() {
        previous_ = log::SetSink(std::shared_ptr<log::Sink>(this, [](log::Sink*) {}));
    }
    ~LogCapture() override { log::SetSink(previous_); }
    void Write(std::string_view line) override {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    }
    // The lines that contain text.
    std::vector<std::string> With(const std::string& text) {
        std::lock_guard lock(mutex_);
        std::vector<std::string> found;
        for (const std::string& line : lines_)
            if (line.find(text) != std::string::npos) found.push_back(line);
        return found;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::shared_ptr<log::Sink> previous_;
};

// The names of this process's threads, as the system shows them.
std::vector<std::string> ThreadNames() {
    std::vector<std::string> names;
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return names;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::string name = test::ReadFile(std::string("/proc/self/task/") + entry->d_name + "/comm");
        while (!name.empty() && name.back() == '\n') name.pop_back();
        names.push_back(name);
    }
    closedir(dir);
    return names;
}

bool HasThread(const std::string& name) {
    const std::vector<std::string> names = ThreadNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(AvErrorTest, FfmpegNumbersKeepTheSystemsReasonAndAFittingCode) {
    const Error full = AvError(AVERROR(ENOSPC), "cannot open output file /x/y.mp4");
    EXPECT_EQ(full.message(), std::string("cannot open output file /x/y.mp4: ") + std::strerror(ENOSPC));
    EXPECT_EQ(full.code(), ErrorCode::kNoSpace);
    EXPECT_EQ(full.native_code(), static_cast<uint32_t>(ENOSPC));
    EXPECT_EQ(AvError(AVERROR(EACCES), "w").code(), ErrorCode::kPermission);
    EXPECT_EQ(AvError(AVERROR_ENCODER_NOT_FOUND, "w").code(), ErrorCode::kUnsupported);
    EXPECT_EQ(AvError(AVERROR_ENCODER_NOT_FOUND, "w").message(), "w: Encoder not found");
    EXPECT_EQ(AvError(AVERROR_BUG, "w").code(), ErrorCode::kInternal);
}

// No encoder can take a picture of 30000 × 30000: the message gives every candidate's own reason,
// in the order they were tried.
TEST(VideoEncoderTest, WhenNoEncoderOpensEveryCandidatesReasonIsListed) {
    VideoEncoderSettings settings;
    settings.quality_index = 20;
    settings.fps = 30;
    settings.width = 30000;
    settings.height = 30000;
    const Error e = OpenVideoEncoder(settings).error();
    ASSERT_FALSE(e.ok());
    const std::string& m = e.message();
    const std::string head = "no H.264 encoder could be opened (";
    ASSERT_EQ(m.rfind(head, 0), 0u) << m;
    EXPECT_EQ(m.back(), ')') << m;
    size_t at = head.size();
    for (const char* name : VideoEncoderCandidates()) {
        const size_t found = m.find(std::string(name) + ": ", at);
        ASSERT_NE(found, std::string::npos) << name << " in " << m;
        at = found + 1;
    }
    // The software encoder is built in; it refuses the size itself.
    EXPECT_NE(m.find("libx264: cannot open at 30000x30000"), std::string::npos) << m;
    EXPECT_NE(e.code(), ErrorCode::kUnsupported);
    for (const char* name : VideoEncoderCandidates()) {
        const Error one = OpenNamedVideoEncoder(name, settings).error();
        EXPECT_NE(m.find(std::string(name) + ": " + one.message()), std::string::npos) << name;
    }
}

class PrepareTest : public ::testing::Test {
  protected:
    // Screen mode on a fake screen; `methods` false leaves it without any capture method.
    RecordingRequest ScreenRequest(const std::string& folder, bool methods = true) {
        RecordingRequest r;
        r.mode = RecordingMode::kScreen;
        r.output_dir = folder;
        r.frame_rate_text = "30";
        r.show_cursor = false;
        r.clock = &clock_;
        r.folder_created = [this] { ++folder_created_; };
        r.screen_backend = [this, methods] {
            auto screen = std::make_unique<FakeScreenBackend>(64, 48);
            screen->SetDamageSupported(false);
            screen->SetPollingSupported(methods);
            screen_ = screen.get();
            return screen;
        };
        return r;
    }

    platform::ManualClock clock_;
    test::TempFolder folder_;
    FakeScreenBackend* screen_ = nullptr;
    int folder_created_ = 0;
};

TEST_F(PrepareTest, AFolderThatCannotBeMadeFailsWithTheFoldersNameAndTheSystemsReason) {
    test::WriteFile(folder_.File("plain"), "not a folder");
    const std::string wanted = folder_.File("plain/recordings");
    SessionSlot slot;
    const Result<std::string> prepared = Prepare(ScreenRequest(wanted), slot);
    ASSERT_FALSE(prepared.ok());
    EXPECT_EQ(prepared.error().message(), "cannot create folder " + wanted + ": " + std::strerror(ENOTDIR));
    EXPECT_EQ(prepared.error().native_code(), static_cast<uint32_t>(ENOTDIR));
    EXPECT_EQ(slot.Peek(), nullptr);
    EXPECT_EQ(folder_created_, 0);

    // Something else of the folder's name: the recordings list is told, the recording refused.
    EXPECT_EQ(EnsureOutputFolder(ScreenRequest(folder_.File("plain"))).code(), ErrorCode::kInvalidArgument);
    EXPECT_EQ(folder_created_, 1);
    // A missing folder one level down is made; an empty one is the current folder.
    EXPECT_TRUE(EnsureOutputFolder(ScreenRequest(folder_.File("new"))).ok());
    EXPECT_EQ(folder_created_, 2);
    EXPECT_TRUE(EnsureOutputFolder(ScreenRequest("")).ok());
    EXPECT_EQ(folder_created_, 2);
}

TEST_F(PrepareTest, EveryFailedSetUpLeavesTheSlotEmptyAndNoFile) {
    struct Case {
        const char* name;
        std::function<void(RecordingRequest&)> change;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"no capture method", [](RecordingRequest&) {},
         "no screen capture method works (damage: the fake screen refuses damage; polling: the fake screen "
         "refuses polling)"},
        {"sound only without sound", [](RecordingRequest& r) { r.mode = RecordingMode::kSoundOnly; },
         "a sound-only recording needs a speaker or a microphone"},
        {"camera window closed",
         [](RecordingRequest& r) {
             r.mode = RecordingMode::kCamera;
             r.acquire_camera = [] { return nullptr; };
         },
         "no camera is open for the recording"},
        {"unknown mode", [](RecordingRequest& r) { r.mode = static_cast<RecordingMode>(7); },
         "unknown recording mode 7"},
    };
    for (const Case& c : cases) {
        RecordingRequest request = ScreenRequest(folder_.Path().string(), false);
        c.change(request);
        SessionSlot slot;
        const Result<std::string> prepared = Prepare(request, slot);
        ASSERT_FALSE(prepared.ok()) << c.name;
        EXPECT_EQ(prepared.error().message(), c.message) << c.name;
        EXPECT_EQ(slot.Peek(), nullptr) << c.name;
        EXPECT_FALSE(Start(slot).ok()) << c.name;
    }
    EXPECT_TRUE(folder_.Files().empty());
}

TEST_F(PrepareTest, AFileThatCannotBeOpenedFailsTheStartWithItsPath) {
    auto session = CCapture::Create(folder_.File("missing/out.mp4"), clock_).value();
    ASSERT_TRUE(
        session->AddScreenStream(1, kVideoBitRate, 30, false, {}, std::make_unique<FakeScreenBackend>(64, 48))
            .ok());
    const Error e = session->Start();
    EXPECT_EQ(e.code(), ErrorCode::kNotFound);
    EXPECT_EQ(e.message(),
              "cannot open output file " + folder_.File("missing/out.mp4") + ": " + std::strerror(ENOENT));
}

// The caller reports a failed start; the teardown of that session adds nothing to the log and
// removes the empty file, which would look like a recording. The disk is full for this process: no
// file it writes may grow (SIGXFSZ ignored, so writes fail).
TEST_F(PrepareTest, AFullDiskFailsTheStartWithTheReasonAndTheTeardownStaysQuietAndLeavesNoFile) {
    const auto previous_signal = signal(SIGXFSZ, SIG_IGN);
    rlimit previous{}, full{};
    getrlimit(RLIMIT_FSIZE, &previous);
    full.rlim_max = previous.rlim_max;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    LogCapture log;
    auto session = CCapture::Create(folder_.File("full.mp4"), clock_).value();
    ASSERT_TRUE(
        session->AddScreenStream(1, kVideoBitRate, 30, false, {}, std::make_unique<FakeScreenBackend>(64, 48))
            .ok());
    const Error e = session->Start();
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, previous_signal);
    EXPECT_EQ(e.code(), ErrorCode::kNoSpace);
    EXPECT_EQ(e.message(),
              "cannot write the header of " + folder_.File("full.mp4") + ": " + std::strerror(EFBIG));
    EXPECT_TRUE(std::filesystem::exists(folder_.File("full.mp4")));
    session.reset();
    EXPECT_TRUE(log.With("ERROR").empty());
    EXPECT_FALSE(std::filesystem::exists(folder_.File("full.mp4")));
}

TEST_F(PrepareTest, ARecordingLogsWhatItIsMadeOfAndItsThreadsCarryTheirNames) {
    LogCapture log;
    SessionSlot slot;
    const Result<std::string> prepared = Prepare(ScreenRequest(folder_.Path().string()), slot);
    ASSERT_TRUE(prepared.ok()) << prepared.error().message();
    EXPECT_TRUE(HasThread("vexa-scr-cap"));
    EXPECT_TRUE(HasThread("vexa-scr-enc"));
    ASSERT_TRUE(Start(slot).ok());
    EXPECT_TRUE(HasThread("vexa-writer"));
    const std::string encoder = slot.Peek()->Stats().video_encoder;
    slot.Take().reset();

    const auto asked = log.With("preparing a recording: screen, whole screen, 30 fps, cursor off");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].find("no sound; file " + *prepared), std::string::npos) << asked[0];
    const auto stream =
        log.With("screen stream: polling method, 64x48 at 0,0, cursor off, encoder " + encoder);
    EXPECT_EQ(stream.size(), 1u);
    EXPECT_EQ(log.With("recording started: " + *prepared + ", 1 stream").size(), 1u);
    EXPECT_TRUE(log.With("ERROR").empty());
}

}  // namespace
}  // namespace vexa::engine
