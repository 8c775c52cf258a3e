// vexa-record on a Wayland-style desktop: a fake ScreenCast portal grants a real PipeWire node whose
// pictures a test source paints (tests/support/portal_test_bed.h). The file's pictures, crop,
// cursor and damage; a scaled output's stream and the pointer its cursor metadata carries; a refused
// request; PipeWire dying in the middle of a recording.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
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
using vexa::test::GreyPicture;
using vexa::test::LastLine;
using vexa::test::PortalTestBed;
using vexa::test::ProducedCursor;
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

// A scaled output's screen in stream pixels: black, grey (128) from (grey_x, grey_y) rightwards and
// downwards, and the pointer as its cursor metadata.
ProducedPicture ScaledScene(int grey_x, int grey_y, const ProducedCursor& pointer) {
    ProducedPicture p;
    p.paint = [=](uint8_t* px, int stride, int w, int h) {
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(px + static_cast<ptrdiff_t>(y) * stride);
            for (int x = 0; x < w; ++x) row[x] = x >= grey_x && y >= grey_y ? 0x808080u : 0u;
        }
    };
    p.cursor = pointer;
    return p;
}

// A pointer of this many desktop pixels as a desktop with this output scale sends it, at stream
// position (x, y): a bitmap of size x scale pixels, white with its bottom quarter half-transparent
// white (premultiplied), and the hot spot (4, 6) scaled alike.
ProducedCursor ScaledPointer(int x, int y, double scale, int size = 24) {
    ProducedCursor c;
    const int side = static_cast<int>(size * scale);
    c.x = x, c.y = y, c.size = side;
    c.hot_x = static_cast<int>(4 * scale), c.hot_y = static_cast<int>(6 * scale);
    c.pixel = [side](int, int row) { return row >= side * 3 / 4 ? 0x80808080u : 0xFFFFFFFFu; };
    return c;
}

PortalTestBed::Options ScaledBed(int stream_width, int stream_height, int desktop_width, int desktop_height) {
    PortalTestBed::Options options;
    options.width = stream_width;
    options.height = stream_height;
    options.desktop_width = desktop_width;
    options.desktop_height = desktop_height;
    return options;
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
        Start(options);
    }
    void Start(const PortalTestBed::Options& options) {
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
    // Sends what scene() returns 20 times a second while it runs.
    void Animate(std::function<ProducedPicture()> scene) {
        StopAnimation();
        animating_ = true;
        animator_ = std::thread([this, scene = std::move(scene)] {
            while (animating_) {
                (void)bed_->Producer().Send(scene());
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

    // With a pid file, the shell writes vexa-record's process id into it (for a stop by signal).
    CommandResult Record(const std::string& args, const std::string& pid_file = "") {
        const std::string front = pid_file.empty() ? "" : "echo $$ > " + pid_file + "; exec env ";
        return RunCommand(front + bed_->Env() + " XDG_STATE_HOME=" + homes_.File("state") +
                          " XDG_CONFIG_HOME=" + homes_.File("config") + " " + VEXA_RECORD_PATH +
                          " --capture-method portal --no-sound --output-dir " + folder_.Path().string() +
                          " " + args + " 2>&1");
    }

    std::string Log() const {
        return vexa::test::ReadFile(homes_.File("state/Vexa/VexaRecorder/VexaRecorder.log"));
    }

    // Packets of the one file being written (0 while there is none).
    size_t WrittenPackets() const {
        const std::vector<std::string> files = folder_.Files();
        const auto written = files.size() == 1 ? vexa::test::ProbeFile(files[0]) : std::nullopt;
        return written && !written->streams.empty() ? written->PacketsOf(0).size() : 0;
    }

    // The last picture of a recording of the given size; none after a failure or at another size.
    static std::optional<GreyPicture> LastPicture(const CommandResult& r, int width, int height) {
        if (r.exit_code != 0) return std::nullopt;
        const auto file = vexa::test::ProbeFile(LastLine(r.out));
        if (!file || file->streams.size() != 1 || file->streams[0].width != width ||
            file->streams[0].height != height)
            return std::nullopt;
        std::vector<GreyPicture> pictures = vexa::test::DecodeVideo(LastLine(r.out));
        if (pictures.empty()) return std::nullopt;
        return pictures.back();
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

// A scale-2 output as GNOME and KDE share it: the portal announces the monitor's 320x180 desktop
// pixels, the stream has 640x360, and the cursor metadata's position, bitmap (48x48 for a 24-pixel
// pointer) and hot spot are stream pixels. The whole screen is the whole stream with the pointer where
// its metadata puts it; a region chosen in desktop pixels is the same part of the stream at the
// stream's resolution, with the pointer at its place relative to the region and cut at its edge.
TEST_F(RecordPortal, AScaledOutputIsRecordedAtStreamResolutionWithThePointerWhereItsMetadataPutsIt) {
    ASSERT_NO_FATAL_FAILURE(Start(ScaledBed(640, 360, 320, 180)));
    // The bitmap covers stream 192..239 x 108..155 (position 200,120 less the hot spot 8,12): opaque
    // rows 108..143, half-transparent rows 144..155.
    Animate([] { return ScaledScene(320, 180, ScaledPointer(200, 120, 2)); });
    CommandResult r = Record("--duration 2");
    const std::optional<GreyPicture> whole = LastPicture(r, 640, 360);
    ASSERT_TRUE(whole) << "a 640x360 file wanted: " << r.out;
    EXPECT_NEAR(whole->At(480, 270), 128, 30) << "the stream's grey quarter: the whole stream is recorded";
    EXPECT_LT(whole->At(300, 170), 40);
    EXPECT_GT(whole->At(194, 110), 200) << "the pointer's top-left corner";
    EXPECT_GT(whole->At(237, 141), 200) << "the bottom right of its opaque part";
    EXPECT_NEAR(whole->At(215, 150), 128, 30) << "its half-transparent white over black";
    EXPECT_LT(whole->At(189, 120), 40) << "left of the pointer";
    EXPECT_LT(whole->At(243, 120), 40) << "right of it";
    EXPECT_LT(whole->At(215, 104), 40) << "above it";
    EXPECT_LT(whole->At(215, 159), 40) << "below it";

    // Desktop 105,60..204,139 (inclusive) is stream 210,120..409,279: a 200x160 file. The pointer
    // starts above and left of it: its part inside is file 0..29 x 0..35 (opaque rows 0..23).
    r = Record("--duration 2 --region 105,60,204,139");
    const std::optional<GreyPicture> part = LastPicture(r, 200, 160);
    ASSERT_TRUE(part) << "a 200x160 file wanted: " << r.out;
    EXPECT_NEAR(part->At(150, 100), 128, 30) << "grey from stream 320,180 on: file 110,60";
    EXPECT_LT(part->At(105, 100), 40);
    EXPECT_LT(part->At(150, 55), 40);
    EXPECT_GT(part->At(2, 2), 200) << "the pointer, cut at the region's corner";
    EXPECT_GT(part->At(26, 20), 200);
    EXPECT_NEAR(part->At(15, 30), 128, 30) << "its half-transparent rows";
    EXPECT_LT(part->At(33, 10), 40) << "right of the pointer";
    EXPECT_LT(part->At(15, 39), 40) << "below it";

    // A large (48-pixel) pointer is 96x96 on this output: drawn whole at stream 492..587 x 88..183.
    Animate([] { return ScaledScene(640, 360, ScaledPointer(500, 100, 2, 48)); });
    r = Record("--duration 1");
    const std::optional<GreyPicture> large = LastPicture(r, 640, 360);
    ASSERT_TRUE(large) << r.out;
    EXPECT_GT(large->At(494, 90), 200);
    EXPECT_GT(large->At(585, 157), 200) << "the bottom right of its opaque part";
    EXPECT_NEAR(large->At(585, 180), 128, 30) << "its last rows";
    EXPECT_LT(large->At(590, 150), 40);
    EXPECT_LT(large->At(540, 187), 40);
}

// A scale of 1.5 (640x360 desktop pixels on a 960x540 stream): a region's edges that fall between
// stream pixels round outwards, and the pointer's 36x36 bitmap lands at its metadata position less
// the scaled hot spot.
TEST_F(RecordPortal, AFractionallyScaledRegionRoundsOutwardsOnTheStreamGrid) {
    ASSERT_NO_FATAL_FAILURE(Start(ScaledBed(960, 540, 640, 360)));
    // Desktop 150,100 is stream 225,150; less the hot spot 6,9 the bitmap covers 219..254 x 141..176
    // (opaque rows 141..167).
    Animate([] { return ScaledScene(300, 0, ScaledPointer(225, 150, 1.5)); });
    // Desktop 101..300 x 51..200 (inclusive) spans stream 151.5..451.5 x 76.5..301.5: the stream
    // pixels 151..451 x 76..301 that it touches, 301x226 (encoded one column wider).
    const CommandResult r = Record("--duration 2 --region 101,51,300,200");
    const std::optional<GreyPicture> picture = LastPicture(r, 302, 226);
    ASSERT_TRUE(picture) << "a 302x226 file wanted: " << r.out;
    EXPECT_LT(picture->At(145, 200), 40) << "black left of stream column 300 (file 149)";
    EXPECT_NEAR(picture->At(153, 200), 128, 30) << "grey from it on";
    // The pointer: file 68..103 x 65..100 (opaque rows 65..91).
    EXPECT_GT(picture->At(71, 68), 200);
    EXPECT_GT(picture->At(100, 88), 200);
    EXPECT_NEAR(picture->At(85, 97), 128, 30);
    EXPECT_LT(picture->At(64, 75), 40);
    EXPECT_LT(picture->At(107, 75), 40);
    EXPECT_LT(picture->At(85, 61), 40);
    EXPECT_LT(picture->At(85, 104), 40);
}

// GNOME and KDE send the cursor id 0 while the pointer is hidden or over another monitor, and then
// a position alone (no new bitmap, hot spot 0) when it is back: nothing is drawn meanwhile, and then
// the same pointer at its new place.
TEST_F(RecordPortal, AHiddenPointerLeavesNoTraceAndComesBackWithItsShape) {
    ASSERT_NO_FATAL_FAILURE(Start(ScaledBed(640, 360, 320, 180)));
    std::atomic<int> phase{0};
    Animate([&phase] {
        ProducedCursor pointer = ScaledPointer(200, 120, 2);  // bitmap at 192..239 x 108..155
        if (phase == 1) {
            pointer = ProducedCursor();
            pointer.absent = true;
        } else if (phase == 2) {
            pointer = ProducedCursor();  // bitmap at 392..439 x 88..135
            pointer.x = 400;
            pointer.y = 100;
        }
        return ScaledScene(640, 360, pointer);
    });
    const std::string pid_file = homes_.File("pid");
    CommandResult r;
    std::thread recorder([&] { r = Record("", pid_file); });
    // A fragment reaches the file about once a second: 30 packets after a change (20 pictures a
    // second) hold pictures taken after it.
    const auto packets_reach = [&](size_t n) {
        return vexa::test::WaitUntil([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return WrittenPackets() >= n;
        });
    };
    const bool shown = packets_reach(3);
    phase = 1;
    const bool hidden = shown && packets_reach(WrittenPackets() + 30);
    phase = 2;
    const bool back = hidden && packets_reach(WrittenPackets() + 30);
    const bool has_pid = vexa::test::WaitUntil([&] { return !vexa::test::ReadFile(pid_file).empty(); });
    if (has_pid) kill(std::atoi(vexa::test::ReadFile(pid_file).c_str()), SIGINT);
    recorder.join();
    ASSERT_TRUE(has_pid);
    ASSERT_TRUE(shown && hidden && back) << r.out;
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::vector<GreyPicture> pictures = vexa::test::DecodeVideo(LastLine(r.out));
    ASSERT_GE(pictures.size(), 3u);
    const auto first_place = [](const GreyPicture& p) { return p.At(215, 125) > 200; };
    const auto second_place = [](const GreyPicture& p) { return p.At(415, 105) > 200; };
    EXPECT_TRUE(first_place(pictures.front()) && !second_place(pictures.front()));
    EXPECT_TRUE(second_place(pictures.back()) && !first_place(pictures.back())) << "the shape came back";
    size_t bare = 0;
    for (const GreyPicture& p : pictures) {
        if (first_place(p) || second_place(p)) continue;
        ++bare;
        EXPECT_LT(*std::max_element(p.luma.begin(), p.luma.end()), 60) << "a pointer drawn while hidden";
    }
    EXPECT_GT(bare, 0u) << "no picture without the pointer while it was hidden";
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
    std::atomic<bool> recorded{false};
    std::thread recorder([&] {
        r = Record("--duration 3");
        recorded = true;
    });
    const bool waiting =
        vexa::test::WaitUntil([&] { return Log().find("waits for the first one") != std::string::npos; });
    const bool linked = bed_->Producer().WaitStreaming(std::chrono::seconds(20));
    // Sent again until the recording has it: a picture sent while the link settles may be lost. One
    // that comes before the capture thread first looks is its first frame without the log line; the
    // file below shows which pictures the recording has.
    const bool pictured = vexa::test::WaitUntil([&] {
        (void)bed_->Producer().Send(Scene(1, 300, 230));
        return Log().find("the first picture came") != std::string::npos || recorded;
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
