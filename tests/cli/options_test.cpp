// vexa-record's command line: what it accepts, what it refuses, and the values it hands on; and its
// reader of standard input: lines across reads, the longest line, input that is no command stream.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli/control_loop.h"
#include "cli/options.h"

namespace vexa::cli {
namespace {

ParseResult Parse(std::vector<std::string> args) {
    return ParseOptions(args);
}

TEST(CliOptions, DefaultsAndEveryValueOption) {
    ParseResult r = Parse({"--mode",
                           "audio",
                           "--duration",
                           "2.5",
                           "--output-dir",
                           "/tmp/x",
                           "--fps",
                           "30",
                           "--region",
                           "10,20,1375,786",
                           "--no-cursor",
                           "--video-quality",
                           "100",
                           "--audio-quality",
                           "1",
                           "--speaker",
                           "0",
                           "--mic",
                           "vexa_mic",
                           "--mic",
                           "1",
                           "--volume",
                           "0=50",
                           "--stats"});
    ASSERT_EQ(r.error, "");
    const CliOptions& o = r.options;
    EXPECT_EQ(o.mode, engine::RecordingMode::kSoundOnly);
    EXPECT_DOUBLE_EQ(o.duration_seconds, 2.5);
    EXPECT_EQ(*o.output_dir, "/tmp/x");
    EXPECT_EQ(*o.fps_text, "30");
    EXPECT_EQ(o.region->right, 1375);
    EXPECT_EQ(o.region->bottom, 786);
    EXPECT_FALSE(*o.show_cursor);
    EXPECT_EQ(*o.video_quality, 100);
    EXPECT_EQ(*o.audio_quality, 1);
    EXPECT_EQ(o.microphones, (std::vector<std::string>{"vexa_mic", "1"}));
    EXPECT_EQ(o.volumes.front(), "0=50");
    EXPECT_TRUE(o.stats);

    ParseResult none = Parse({});
    ASSERT_EQ(none.error, "");
    EXPECT_EQ(none.options.mode, engine::RecordingMode::kScreen);
    EXPECT_FALSE(none.options.region);
    EXPECT_FALSE(none.options.constant_rate) << "the stored setting decides";
    EXPECT_TRUE(*Parse({"--constant-rate"}).options.constant_rate);
    EXPECT_FALSE(*Parse({"--constant-rate", "--variable-rate"}).options.constant_rate) << "the last one wins";
    EXPECT_DOUBLE_EQ(none.options.duration_seconds, 0);
}

TEST(CliOptions, BadValuesAreRefusedWithTheirOption) {
    const std::vector<std::vector<std::string>> bad = {
        {"--mode", "video"},
        {"--duration", "abc"},
        {"--duration", "-1"},
        {"--duration", "0"},  // leaving it out records until a signal; zero is no duration
        {"--duration", "1e-12"},
        {"--region", "1,2,3"},
        {"--region", "10,10,5,20"},
        {"--region", "a,b,c,d"},
        {"--video-quality", "0"},
        {"--video-quality", "101"},
        {"--audio-quality", "x"},
        {"--volume", "0"},
        {"--output-dir", ""},
        {"--bogus"},
        {"--fps"},
    };
    for (const auto& args : bad) {
        ParseResult r = Parse(args);
        EXPECT_NE(r.error, "") << args.front();
        EXPECT_NE(r.error.find(args.front()), std::string::npos) << r.error;
    }
}

TEST(CliOptions, CaptureMethodIsAutoUnlessForced) {
    EXPECT_EQ(Parse({}).options.capture_method, platform::MethodChoice::kAuto);
    EXPECT_EQ(Parse({"--capture-method", "auto"}).options.capture_method, platform::MethodChoice::kAuto);
    EXPECT_EQ(Parse({"--capture-method", "damage"}).options.capture_method, platform::MethodChoice::kDamage);
    EXPECT_EQ(Parse({"--capture-method", "poll"}).options.capture_method, platform::MethodChoice::kPolling);
    EXPECT_EQ(Parse({"--capture-method", "portal"}).options.capture_method, platform::MethodChoice::kPortal);
    for (const char* bad : {"polling", "Poll", "", "gdi"}) {
        ParseResult r = Parse({"--capture-method", bad});
        EXPECT_NE(r.error.find("--capture-method"), std::string::npos) << bad;
    }
    EXPECT_NE(std::string(UsageText()).find("--capture-method auto|damage|poll|portal"), std::string::npos);
}

TEST(CliOptions, FrameRateTextIsPassedAsTheComboWouldHaveIt) {
    // 0, 75 and text are the recorder's business (it records at 24); the parser keeps the text.
    for (const char* text : {"0", "75", "abc"}) {
        ParseResult r = Parse({"--fps", text});
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(*r.options.fps_text, text);
    }
}

// Each write is read once before the next; then the rest up to the end of input.
TEST(LineReader, LinesAcrossReadsUpToTheLongestAreHandedOnAndALongerOneEndsTheReading) {
    const std::string longest(LineReader::kMaxLine, 'a');
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"volume 0=50\nvol", "ume 1=20\n", "tail"}, {"volume 0=50", "volume 1=20"}},
        {{longest.substr(0, 100), longest.substr(100) + "\nok\n"}, {longest, "ok"}},
        {{"first\n" + longest, "a\nok\n"}, {"first"}}};
    for (const auto& [writes, expected] : cases) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        LineReader reader(fds[0]);
        std::vector<std::string> lines;
        auto take = [&](const std::string& line) { lines.push_back(line); };
        bool reading = true;
        for (const std::string& text : writes) {
            ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
            reading = reading && reader.ReadAvailable(take);
        }
        close(fds[1]);
        while (reading) reading = reader.ReadAvailable(take);  // to the end of input
        close(fds[0]);
        EXPECT_EQ(lines, expected);
    }
}

TEST(LineReader, EndlessInputWithoutLineEndsIsGivenUpAfterTheLongestLine) {
    const int zero = open("/dev/zero", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(zero, 0);
    LineReader reader(zero);
    int reads = 1;
    while (reads <= 100 && reader.ReadAvailable(nullptr)) ++reads;
    close(zero);
    EXPECT_LE(reads, 2);
}

}  // namespace
}  // namespace vexa::cli
