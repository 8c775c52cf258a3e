// A constant-rate recording through a video editor's engine: vexa-record --constant-rate on the
// virtual display with moving content, then melt (the MLT engine under several Linux editors) reads
// it in a project at the recording's rate. Every picture melt renders must be the file's picture
// of the same time as FFmpeg decodes it, so every change on the screen is where it happened.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/media_probe.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace {

using vexa::test::RunCommand;

double MeanLevel(const vexa::test::GreyPicture& p) {
    double sum = 0;
    for (const uint8_t v : p.luma) sum += v;
    return p.luma.empty() ? 0 : sum / static_cast<double>(p.luma.size());
}

// The pictures whose level differs clearly from the one before: the visible events.
std::vector<size_t> Events(const std::vector<double>& levels) {
    std::vector<size_t> events;
    for (size_t k = 1; k < levels.size(); ++k)
        if (std::fabs(levels[k] - levels[k - 1]) > 1.0) events.push_back(k);
    return events;
}

TEST(ConstantRateEditTest, MeltReadsEveryPictureAtItsTime) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs the virtual display (tools/with-test-env.sh)";
    if (RunCommand("command -v melt >/dev/null").exit_code != 0) GTEST_SKIP() << "melt is not installed";
    vexa::test::TempFolder folder;
    const std::string homes =
        "XDG_STATE_HOME=" + folder.File("state") + " XDG_CONFIG_HOME=" + folder.File("config");
    const vexa::test::CommandResult recorded =
        RunCommand(std::string(VEXA_MOTION_PATH) + " --rate 4 & m=$!; " + homes + " " + VEXA_RECORD_PATH +
                   " --duration 4 --fps 30 --constant-rate --no-sound --region 0,0,319,239 --output-dir " +
                   folder.File("out") + " 2>&1; rc=$?; kill $m; exit $rc");
    ASSERT_EQ(recorded.exit_code, 0) << recorded.out;
    const std::string file = vexa::test::LastLine(recorded.out);
    ASSERT_TRUE(std::filesystem::exists(file)) << recorded.out;

    const std::vector<vexa::test::GreyPicture> decoded = vexa::test::DecodeVideo(file);
    ASSERT_GE(decoded.size(), 100u) << "about 4 s at 30 fps";

    // A project of the recording's size and rate, rendered to lossless grey pictures.
    const std::string profile = folder.File("profile");
    std::ofstream(profile) << "description=recording\nwidth=320\nheight=240\nframe_rate_num=30\nframe_rate_"
                              "den=1\nprogressive=1\n"
                              "sample_aspect_num=1\nsample_aspect_den=1\ndisplay_aspect_num=4\n"
                              "display_aspect_den=3\ncolorspace=601\n";
    const std::string rendered = folder.File("melt.mkv");
    const vexa::test::CommandResult melt =
        RunCommand("melt -quiet '" + file + "' -profile '" + profile + "' -consumer avformat:'" + rendered +
                   "' vcodec=ffv1 pix_fmt=gray an=1 real_time=0 2>&1");
    ASSERT_EQ(melt.exit_code, 0) << melt.out;
    const std::vector<vexa::test::GreyPicture> edited = vexa::test::DecodeVideo(rendered);
    ASSERT_EQ(edited.size(), decoded.size()) << "melt sees as many pictures as the file has";

    std::vector<double> file_levels, melt_levels;
    for (size_t k = 0; k < decoded.size(); ++k) {
        file_levels.push_back(MeanLevel(decoded[k]));
        melt_levels.push_back(MeanLevel(edited[k]));
    }
    // melt converts the levels its own way (range, matrix): map its levels onto the file's with the
    // straight line that fits best; then a picture of another time shows as a jump the size of an
    // event, far beyond what the conversion leaves.
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const double n = static_cast<double>(melt_levels.size());
    for (size_t k = 0; k < melt_levels.size(); ++k) {
        sx += melt_levels[k];
        sy += file_levels[k];
        sxx += melt_levels[k] * melt_levels[k];
        sxy += melt_levels[k] * file_levels[k];
    }
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    const double offset = (sy - slope * sx) / n;
    const std::vector<size_t> events = Events(file_levels);
    EXPECT_GE(events.size(), 4u) << "the moving content changes four times a second";
    for (size_t k = 0; k < decoded.size(); ++k)
        ASSERT_NEAR(slope * melt_levels[k] + offset, file_levels[k], 0.5) << "picture " << k;
}

}  // namespace
