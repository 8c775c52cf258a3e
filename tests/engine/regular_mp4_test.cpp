// Finishing in place, checked with FFmpeg's own programs: ffmpeg writes the fragmented files the way
// the recorder's muxer does, and ffprobe's packet list (time stamps, sizes, key flags and the byte
// position of each packet's data) of the finished file must equal the fragmented file's.
#include "engine/regular_mp4.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <vector>

#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace vexa::engine {
namespace {

using test::RunCommand;

struct TopBox {
    std::string type;
    uint64_t offset;
    uint64_t size;
};

std::vector<TopBox> TopBoxes(const std::string& path) {
    const std::string data = test::ReadFile(path);
    std::vector<TopBox> boxes;
    uint64_t at = 0;
    while (at + 8 <= data.size()) {
        auto byte = [&](uint64_t i) { return static_cast<uint8_t>(data[i]); };
        uint64_t size =
            (uint64_t{byte(at)} << 24) | (byte(at + 1) << 16) | (byte(at + 2) << 8) | byte(at + 3);
        if (size == 1)
            for (int i = 0; i < 8; ++i) size = (i ? size << 8 : 0) | byte(at + 8 + i);
        if (size < 8 || at + size > data.size()) break;
        boxes.push_back({data.substr(at + 4, 4), at, size});
        at += size;
    }
    return boxes;
}

// One line per packet: stream, pts, dts, size, position, flags.
std::vector<std::string> Packets(const std::string& path) {
    const test::CommandResult r =
        RunCommand("ffprobe -v error -show_entries packet=stream_index,pts,dts,size,pos,flags -of csv=p=0 '" +
                   path + "'");
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        // The six fields asked for (a packet with side data, such as the skipped priming samples a
        // regular file's edit list gives, has more).
        size_t end = 0;
        for (int field = 0; field < 6 && end != std::string::npos; ++field)
            end = line.find(',', end + (field > 0));
        lines.push_back(line.substr(0, end));
    }
    return lines;
}

double Duration(const std::string& path, const char* entry) {
    const test::CommandResult r =
        RunCommand(std::string("ffprobe -v error -show_entries ") + entry + " -of csv=p=0 '" + path + "'");
    return std::atof(r.out.c_str());
}

class RegularMp4Test : public ::testing::Test {
  protected:
    // Three seconds of 30 pictures a second with B-frames (composition offsets) and MP3 sound (an edit
    // list for the encoder's delay), fragments of half a second, as the recorder's muxer writes them.
    std::string Fragmented(const std::string& name, const char* extra = "") {
        const std::string path = folder_.File(name);
        const test::CommandResult r = RunCommand(
            std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x120:rate=30 -f lavfi -i "
                        "sine=frequency=440:sample_rate=48000 -t 3 -c:v libx264 -preset veryfast -bf 2 -g 45 "
                        "-c:a libmp3lame ") +
            extra + " -movflags +empty_moov+delay_moov+default_base_moof -frag_duration 500000 '" + path +
            "'");
        EXPECT_EQ(r.exit_code, 0) << r.out;
        return path;
    }
    test::TempFolder folder_;
};

TEST_F(RegularMp4Test, EverySampleIsIndexedWhereItLiesAndTheFileBecomesRegular) {
    const std::string path = Fragmented("a.mp4");
    const std::vector<std::string> before = Packets(path);
    const std::string bytes_before = test::ReadFile(path);
    ASSERT_GT(before.size(), 200u);
    ASSERT_TRUE(FinishInPlace(path).ok());

    EXPECT_EQ(Packets(path), before);  // same times, sizes, key flags and positions: nothing moved
    // The top level is now the file type, one media-data box over all that was there, the index,
    // and free space where the copy of the fragment index was.
    const std::vector<TopBox> boxes = TopBoxes(path);
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].type, "ftyp");
    EXPECT_EQ(boxes[1].type, "mdat");
    EXPECT_EQ(boxes[2].type, "moov");
    EXPECT_EQ(boxes[3].type, "free");
    EXPECT_EQ(boxes[2].offset, bytes_before.size()) << "the index goes after the data";
    const std::string after = test::ReadFile(path);
    size_t changed = 0;
    for (size_t i = 0; i < bytes_before.size(); ++i) changed += after[i] != bytes_before[i];
    EXPECT_LE(changed, 16u) << "one box header changes in the data";
    // Each track lasts as long as its samples, less the sound encoder's delay.
    EXPECT_NEAR(Duration(path, "stream=duration"), 3.0, 0.05);
    EXPECT_NEAR(Duration(path, "format=duration"), 3.0, 0.05);
    const test::CommandResult decode =
        RunCommand("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1");
    EXPECT_EQ(decode.out, "");
}

// A track whose first sample comes late (the picture starts half a second after the sound) keeps
// its start: the finished file's packets carry the same times, and every picture decodes.
TEST_F(RegularMp4Test, ATrackThatStartsLateKeepsItsStart) {
    const std::string path = folder_.File("late.mp4");
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:sample_rate=48000 "
                         "-f lavfi -i testsrc=size=160x120:rate=30 -map 1:v -map 0:a -t 3 "
                         "-vf setpts=PTS+0.5/TB -fps_mode passthrough "
                         "-c:v libx264 -preset veryfast -bf 2 -c:a libmp3lame -movflags "
                         "+empty_moov+delay_moov+default_base_moof -frag_duration 500000 '" +
                         path + "'")
                  .exit_code,
              0);
    const std::string count =
        "ffprobe -v error -select_streams v -count_frames -show_entries "
        "stream=start_time,nb_read_frames -of csv=p=0 '" +
        path + "'";
    const std::vector<std::string> before = Packets(path);
    const std::string frames_before = RunCommand(count).out;
    EXPECT_EQ(frames_before, "0.500000,75\n");  // the muxer wrote an empty edit for the delay
    ASSERT_TRUE(FinishInPlace(path).ok());
    EXPECT_EQ(Packets(path), before);
    EXPECT_EQ(RunCommand(count).out, frames_before);  // the same start, and every picture decoded
}

// A file cut inside its last fragment (a crash) is finished up to the last whole one, whose packets
// all stay; the cut part is replaced by the index.
TEST_F(RegularMp4Test, AFileCutInsideAFragmentKeepsEveryWholeFragment) {
    const std::string path = Fragmented("cut.mp4", "-an");
    const std::vector<std::string> whole = Packets(path);
    const std::vector<TopBox> boxes = TopBoxes(path);
    ASSERT_GE(boxes.size(), 6u);
    const TopBox& last_mdat = boxes[boxes.size() - 2].type == "mdat" ? boxes[boxes.size() - 2] : boxes.back();
    ASSERT_EQ(last_mdat.type, "mdat");
    std::filesystem::resize_file(path, last_mdat.offset + last_mdat.size / 2);

    ASSERT_TRUE(FinishInPlace(path).ok());
    const std::vector<std::string> kept = Packets(path);
    ASSERT_GE(kept.size(), 30u);
    ASSERT_LT(kept.size(), whole.size());
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), whole.begin()));
    EXPECT_EQ(TopBoxes(path).back().type, "moov");
}

// GStreamer's duration of a file (gst-discoverer-1.0), or -1 when it is not installed.
double GstDuration(const std::string& path) {
    if (RunCommand("command -v gst-discoverer-1.0 >/dev/null").exit_code != 0) return -1;
    const test::CommandResult r = RunCommand("gst-discoverer-1.0 '" + path + "'");
    const size_t at = r.out.find("Duration: ");
    int h = 0, m = 0;
    double sec = 0;
    if (at == std::string::npos || std::sscanf(r.out.c_str() + at, "Duration: %d:%d:%lf", &h, &m, &sec) != 3)
        return 0;
    return h * 3600 + m * 60 + sec;
}

// A finish cut short after its index reached the disk but before the one write that makes the file
// regular (a crash, a power cut): the file is the fragmented file with a second header and a copy
// of the fragment index at its end. Every sample is still read where it lies (GStreamer, which finds
// fragments through the index at the file's end, read half a second without the copy), and
// finishing it again gives the file a whole finish gives, byte for byte.
TEST_F(RegularMp4Test, AFinishCutBeforeItsLastWriteLeavesAReadableFileThatFinishesAgain) {
    const std::string path = Fragmented("interrupted.mp4");
    const std::string whole = folder_.File("whole.mp4");
    std::filesystem::copy_file(path, whole);
    const std::vector<std::string> before = Packets(path);
    std::string bytes = test::ReadFile(path);
    const ReadAt read = [&](uint64_t offset, void* buffer, size_t n) {
        if (offset > bytes.size() || n > bytes.size() - offset) return false;
        std::memcpy(buffer, bytes.data() + offset, n);
        return true;
    };
    const Result<InPlaceFinish> plan = PlanInPlaceFinish(read, bytes.size());
    ASSERT_TRUE(plan.ok()) << plan.error().message();
    ASSERT_EQ(plan->index_offset, bytes.size());
    bytes.append(plan->index.begin(), plan->index.end());
    bytes.append(plan->fragment_index.begin(), plan->fragment_index.end());
    test::WriteFile(path, bytes);

    EXPECT_EQ(Packets(path), before);
    if (const double gst = GstDuration(path); gst >= 0) {
        EXPECT_NEAR(gst, 3.0, 0.1);
    }
    ASSERT_TRUE(FinishInPlace(path).ok());
    ASSERT_TRUE(FinishInPlace(whole).ok());
    EXPECT_TRUE(test::ReadFile(path) == test::ReadFile(whole));
    EXPECT_EQ(Packets(path), before);
}

// The index cannot be written (the file may not grow): the failure names the reason, and the file is
// the fragmented file it was, byte for byte.
TEST_F(RegularMp4Test, AnIndexThatCannotBeWrittenLeavesTheFragmentedFileAsItWas) {
    const std::string path = Fragmented("full.mp4");
    const std::string before = test::ReadFile(path);
    struct sigaction ignore {
    }, previous_signal{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous_signal);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const rlimit limit{static_cast<rlim_t>(before.size() + 100), previous.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const Error e = FinishInPlace(path);
    setrlimit(RLIMIT_FSIZE, &previous);
    sigaction(SIGXFSZ, &previous_signal, nullptr);

    EXPECT_EQ(e.code(), ErrorCode::kNoSpace);
    EXPECT_EQ(e.message(), "cannot finish " + path + ": " + std::strerror(EFBIG));
    EXPECT_TRUE(test::ReadFile(path) == before);
}

// What is not a fragmented MP4 is refused and left alone: a regular file, a finished one, noise.
TEST_F(RegularMp4Test, FilesThatAreNotFragmentedAreRefusedUntouched) {
    const std::string finished = Fragmented("twice.mp4");
    ASSERT_TRUE(FinishInPlace(finished).ok());
    const std::string regular = folder_.File("regular.mp4");
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=64x48:rate=10 -t 1 '" +
                         regular + "'")
                  .exit_code,
              0);
    const std::string noise = folder_.File("noise.mp4");
    test::WriteFile(noise, std::string(5000, '\x01'));
    for (const std::string& path : {finished, regular, noise}) {
        const std::string before = test::ReadFile(path);
        const Error e = FinishInPlace(path);
        EXPECT_EQ(e.code(), ErrorCode::kInvalidArgument) << path;
        EXPECT_EQ(e.message().rfind("cannot finish " + path + ": ", 0), 0u) << e.message();
        EXPECT_TRUE(test::ReadFile(path) == before) << path;
    }
    EXPECT_EQ(FinishInPlace(folder_.File("none.mp4")).code(), ErrorCode::kNotFound);
}

// A recording stopped before its first fragment has nothing to index: the finish succeeds and
// leaves the header alone.
TEST_F(RegularMp4Test, AFileWithoutFragmentsIsLeftAsItIs) {
    const std::string path = Fragmented("empty.mp4", "-an");
    const std::vector<TopBox> boxes = TopBoxes(path);
    ASSERT_GE(boxes.size(), 3u);
    ASSERT_EQ(boxes[1].type, "moov");
    std::filesystem::resize_file(path, boxes[1].offset + boxes[1].size);
    const std::string before = test::ReadFile(path);
    EXPECT_TRUE(FinishInPlace(path).ok());
    EXPECT_TRUE(test::ReadFile(path) == before);
}

}  // namespace
}  // namespace vexa::engine
