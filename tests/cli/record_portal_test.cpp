// vexa-record on a Wayland-style desktop: a fake ScreenCast portal grants a real PipeWire node whose
// pictures a test source paints (tests/support/portal_test_bed.h). The file's pictures, crop,
// cursor and damage; a refused request; PipeWire dying in the middle of a recording.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/media_probe.h"
#include "tests/support/portal_test_bed.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_until.h"

namespace {

using vexa::test::CommandResult;
using vexa::test::LastLine;
using vexa::test::PortalTestBed;
using vexa::test::ProducedPicture;
using vexa::test::RunCommand;

constexpr int kWidth = 640;
constexpr int kHeight = 360;
// The region 100,50 .. 419,289 (inclusive): 320 x 240 of the 640 x 360 screen.
constexpr const char* kRegion = "--region 100,50,419,289";

// Black left of x = 260 above y = 200 and grey (128) below it, white from x = 260 on; the patch
// (x, y, 40 x 40) alternates between black and white with n. Pixels are BGRx.
ProducedPicture Scene(int n, int patch_x, int patch_y) {
    ProducedPicture p;
    p.paint = [=](uint8_t* px, int stride, int w, int h) {
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(px + static_cast<ptrdiff_t>(y) * stride);
            for (int x = 0; x < w; ++x) {
                uint32_t v = x >= 260 ? 0xFFFFFF : (y >= 200 ? 0x808080 : 0x000000);
                if (x >= patch_x && x < patch_x + 40 && y >= patch_y && y < patch_y + 40)
                    v = n % 2 ? 0xFFFFFF : 0x000000;
                row[x] = v;
            }
        }
    };
    p.damage = {{patch_x, patch_y, 40, 40}};
    vexa::test::ProducedCursor cursor;
    cursor.x = 150;  // a green 16 x 16 pointer over the black part of the crop
    cursor.y = 80;
    cursor.size = 16;
    cursor.bgra = 0xFF00FF00;
    p.cursor = cursor;
    return p;
}

class RecordPortal : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const std::string missing = PortalTestBed::Missing(); !missing.empty()) GTEST_SKIP() << missing;
    }

    void Start(const std::vector<std::string>& portal_args = {}) {
        PortalTestBed::Options options;
        options.width = kWidth;
        options.height = kHeight;
        options.portal_args = portal_args;
        bed_ = std::make_unique<PortalTestBed>(options);
        ASSERT_TRUE(bed_->Ready()) << bed_->Error();
    }

    // Paints a new scene 20 times a second, its patch at (patch_x, patch_y), while it runs.
    void Animate(int patch_x, int patch_y) {
        StopAnimation();
        animating_ = true;
        animator_ = std::thread([=, this] {
            for (int n = 0; animating_; ++n) {
                (void)bed_->Producer().Send(Scene(n, patch_x, patch_y));
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    }
    void StopAnimation() {
        animating_ = false;
        if (animator_.joinable()) animator_.join();
    }
    void TearDown() override {
        StopAnimation();
        bed_.reset();
    }

    CommandResult Record(const std::string& args) {
        return RunCommand(bed_->Env() + " XDG_STATE_HOME=" + homes_.File("state") +
                          " XDG_CONFIG_HOME=" + homes_.File("config") + " " + VEXA_RECORD_PATH +
                          " --capture-method portal --no-sound --output-dir " + folder_.Path().string() +
                          " " + args + " 2>&1");
    }

    std::string Log() const {
        return vexa::test::ReadFile(homes_.File("state/Vexa/VexaRecorder/VexaRecorder.log"));
    }

    std::string SelectSourcesCall(size_t nth) const {
        size_t seen = 0;
        for (const std::string& call : bed_->Calls())
            if (call.find("\"SelectSources\"") != std::string::npos && seen++ == nth) return call;
        return {};
    }

    std::unique_ptr<PortalTestBed> bed_;
    vexa::test::TempFolder folder_;
    vexa::test::TempFolder homes_;
    std::thread animator_;
    std::atomic<bool> animating_{false};
};

TEST_F(RecordPortal, TheRegionOfTheSharedScreenIsRecordedWithItsPointerAndOnlyItsOwnChanges) {
    ASSERT_NO_FATAL_FAILURE(Start());
    Animate(300, 230);  // inside the region: a new frame every 50 ms
    CommandResult r = Record(std::string("--duration 2 ") + kRegion);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string inside = LastLine(r.out);
    auto file = vexa::test::ProbeFile(inside);
    ASSERT_TRUE(file) << r.out;
    ASSERT_EQ(file->streams.size(), 1u);
    EXPECT_EQ(file->streams[0].width, 320);
    EXPECT_EQ(file->streams[0].height, 240);
    EXPECT_NEAR(file->StreamEndSeconds(0), 2.0, 0.25);
    EXPECT_GE(file->PacketsOf(0).size(), 15u) << "the patch changed 40 times";

    const auto pictures = vexa::test::DecodeVideo(inside);
    ASSERT_FALSE(pictures.empty());
    const vexa::test::GreyPicture& first = pictures.front();
    // Screen (x, y) is picture (x - 100, y - 50).
    EXPECT_LT(first.At(80, 100), 40) << "black at 180,150";
    EXPECT_NEAR(first.At(80, 200), 128, 30) << "grey at 180,250";
    EXPECT_GT(first.At(200, 100), 215) << "white at 300,150";
    EXPECT_GT(first.At(58, 38), 120) << "the green pointer at 150,80 (luma of green is about 150)";
    EXPECT_LT(first.At(58, 60), 40) << "black below the pointer";

    // Changes outside the region make no frames; the second recording presents the first's token.
    Animate(500, 300);
    r = Record(std::string("--duration 2 ") + kRegion);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    file = vexa::test::ProbeFile(LastLine(r.out));
    ASSERT_TRUE(file) << r.out;
    EXPECT_LE(file->PacketsOf(0).size(), 2u) << "the patch changed outside the region only";
    EXPECT_NEAR(file->StreamEndSeconds(0), 2.0, 0.25);
    EXPECT_EQ(SelectSourcesCall(0).find("restore_token"), std::string::npos) << SelectSourcesCall(0);
    EXPECT_NE(SelectSourcesCall(1).find("\"restore_token\": \"token-1\""), std::string::npos)
        << SelectSourcesCall(1);
}

TEST_F(RecordPortal, ARefusedRequestStartsNothingAndSaysWhy) {
    ASSERT_NO_FATAL_FAILURE(Start({"--refuse"}));
    const CommandResult r = Record("--duration 1");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "vexa-record: cannot record the screen: the user declined sharing the screen\n");
    EXPECT_TRUE(folder_.Files().empty());
}

// A still desktop whose portal sends a picture only on a change: the recording neither fails nor
// gives up waiting; the first picture, however late, stands for the screen since the start (the
// desktop sent nothing before because nothing changed), so the file lasts as long as the recording.
TEST_F(RecordPortal, AStillScreenWaitsForItsFirstPictureAndTheFileLastsTheWholeRecording) {
    ASSERT_NO_FATAL_FAILURE(Start());
    CommandResult r;
    std::thread recorder([&] { r = Record("--duration 3"); });
    const bool waiting =
        vexa::test::WaitUntil([&] { return Log().find("waits for the first one") != std::string::npos; });
    const bool linked = bed_->Producer().WaitStreaming(std::chrono::seconds(20));
    // Sent again until the file holds it: a picture sent while the link settles may be lost.
    const bool pictured = vexa::test::WaitUntil([&] {
        (void)bed_->Producer().Send(Scene(1, 300, 230));
        return Log().find("the first picture came") != std::string::npos;
    });
    recorder.join();
    ASSERT_TRUE(waiting) << Log();
    ASSERT_TRUE(linked && pictured) << Log();
    ASSERT_EQ(r.exit_code, 0) << r.out;
    auto file = vexa::test::ProbeFile(LastLine(r.out));
    ASSERT_TRUE(file) << r.out;
    const std::vector<vexa::test::ProbedPacket> packets = file->PacketsOf(0);
    ASSERT_GE(packets.size(), 1u);
    EXPECT_EQ(packets.front().pts, 0) << "the first picture stands for the screen since the start";
    EXPECT_NEAR(file->StreamEndSeconds(0), 3.0, 0.25) << "the last picture lasts until the stop";
    EXPECT_NEAR(file->duration_seconds, 3.0, 0.25);
}

// PipeWire dies once the file (written as it records) holds five pictures; the log shows the broken
// stream before the end of the recording.
TEST_F(RecordPortal, PipeWireDyingMidRecordingLeavesACompleteFile) {
    ASSERT_NO_FATAL_FAILURE(Start());
    Animate(300, 230);
    CommandResult r;
    std::thread recorder([&] { r = Record("--duration 6"); });
    const bool recorded = vexa::test::WaitUntil([&] {
        const std::vector<std::string> files = folder_.Files();
        const auto written = files.size() == 1 ? vexa::test::ProbeFile(files[0]) : std::nullopt;
        return written && !written->streams.empty() && written->PacketsOf(0).size() >= 5;
    });
    StopAnimation();
    bed_->KillPipeWire();
    recorder.join();
    ASSERT_TRUE(recorded) << r.out;
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::string log = Log();
    const size_t broken = log.find("ERROR screen capture: ");
    ASSERT_NE(broken, std::string::npos) << log;
    EXPECT_LT(broken, log.find("recording finished")) << "PipeWire died after the recording:\n" << log;
    auto file = vexa::test::ProbeFile(LastLine(r.out));
    ASSERT_TRUE(file) << r.out;
    EXPECT_GE(file->PacketsOf(0).size(), 5u);
    EXPECT_NEAR(file->StreamEndSeconds(0), 6.0, 0.3) << "the last picture lasts until the stop";
    EXPECT_FALSE(vexa::test::DecodeVideo(LastLine(r.out)).empty());
}

}  // namespace
