// Constant-rate screen recordings: the repeat pictures that stand for an unchanged screen (checked
// against the H.264 decoder), and the file a session writes (checked with ffprobe and by decoding):
// one picture per frame period, equal durations, the pause, the stop position.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <sstream>

#include "engine/capture.h"
#include "engine/ffmpeg_ptr.h"
#include "engine/screen/repeat_picture.h"
#include "platform/testing/fake_screen_backend.h"
#include "platform/testing/manual_clock.h"
#include "tests/engine/screen_test_support.h"
#include "tests/support/media_probe.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace vexa::engine {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// libx264 with the recorder's own kind of settings plus the given private options.
CodecContextPtr OpenX264(const std::map<std::string, std::string>& options, int b_frames = 0) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) return nullptr;
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    ctx->width = kWidth;
    ctx->height = kHeight;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = {1, 30};
    ctx->framerate = {30, 1};
    ctx->gop_size = 40;
    ctx->max_b_frames = b_frames;
    ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(ctx->priv_data, "preset", "veryfast", 0);
    for (const auto& [key, value] : options) av_opt_set(ctx->priv_data, key.c_str(), value.c_str(), 0);
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return nullptr;
    return ctx;
}

std::vector<uint8_t> Bytes(const AVPacket* p) {
    return {p->data, p->data + p->size};
}

// Encodes `count` pictures of moving noise and returns the packets in decoding order.
std::vector<std::vector<uint8_t>> EncodeNoise(AVCodecContext* enc, int count) {
    std::vector<std::vector<uint8_t>> packets;
    FramePtr frame(av_frame_alloc());
    frame->format = enc->pix_fmt;
    frame->width = kWidth;
    frame->height = kHeight;
    EXPECT_GE(av_frame_get_buffer(frame.get(), 0), 0);
    std::mt19937 random(7);
    PacketPtr packet(av_packet_alloc());
    auto drain = [&] {
        while (avcodec_receive_packet(enc, packet.get()) >= 0) {
            packets.push_back(Bytes(packet.get()));
            av_packet_unref(packet.get());
        }
    };
    for (int i = 0; i < count; ++i) {
        EXPECT_GE(av_frame_make_writable(frame.get()), 0);
        for (int plane = 0; plane < 3; ++plane) {
            const int w = plane ? kWidth / 2 : kWidth, h = plane ? kHeight / 2 : kHeight;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)  // a gradient that moves, with noise on part of it
                    frame->data[plane][y * frame->linesize[plane] + x] =
                        static_cast<uint8_t>((x * 3 + y + i * 5) & 0xFF) ^
                        static_cast<uint8_t>(y < h / 2 ? random() & 0x1F : 0);
        }
        frame->pts = i;
        EXPECT_GE(avcodec_send_frame(enc, frame.get()), 0);
        drain();
    }
    avcodec_send_frame(enc, nullptr);
    drain();
    return packets;
}

// Decodes Annex B packets with the stream's header; the luma plane of every picture, and the
// number of decoding errors the decoder reported.
std::vector<std::vector<uint8_t>> Decode(const AVCodecContext* enc,
                                         const std::vector<std::vector<uint8_t>>& packets, int& errors,
                                         const std::vector<uint8_t>& extra_header = {}) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    CodecContextPtr dec(avcodec_alloc_context3(codec));
    const size_t size = static_cast<size_t>(enc->extradata_size) + extra_header.size();
    dec->extradata = static_cast<uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
    std::copy(enc->extradata, enc->extradata + enc->extradata_size, dec->extradata);
    std::copy(extra_header.begin(), extra_header.end(), dec->extradata + enc->extradata_size);
    dec->extradata_size = static_cast<int>(size);
    dec->err_recognition = AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER;
    EXPECT_GE(avcodec_open2(dec.get(), codec, nullptr), 0);
    std::vector<std::vector<uint8_t>> pictures;
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    errors = 0;
    auto receive = [&] {
        while (avcodec_receive_frame(dec.get(), frame.get()) >= 0) {
            if (frame->decode_error_flags) ++errors;
            std::vector<uint8_t> luma;
            for (int y = 0; y < kHeight; ++y)
                luma.insert(luma.end(), frame->data[0] + y * frame->linesize[0],
                            frame->data[0] + y * frame->linesize[0] + kWidth);
            pictures.push_back(std::move(luma));
        }
    };
    for (const std::vector<uint8_t>& p : packets) {
        EXPECT_GE(av_new_packet(packet.get(), static_cast<int>(p.size())), 0);
        std::copy(p.begin(), p.end(), packet->data);
        if (avcodec_send_packet(dec.get(), packet.get()) < 0) ++errors;
        av_packet_unref(packet.get());
        receive();
    }
    avcodec_send_packet(dec.get(), nullptr);
    receive();
    return pictures;
}

// Repeats between the encoder's pictures must reproduce the picture before them exactly, and the
// encoder's pictures after them must decode as they would have without them: both entropy coders,
// weighted prediction on and off, CAVLC repeats in a CABAC stream through a parameter set of their
// own, and runs long enough for the frame numbers to wrap.
TEST(RepeatPictureTest, RepeatsDecodeAsThePictureBeforeThemAndLeaveTheEncodersPicturesIntact) {
    struct Variant {
        std::map<std::string, std::string> options;
        bool own_cavlc;
    };
    const std::vector<Variant> variants = {
        {{{"coder", "cabac"}, {"weightp", "simple"}}, false},
        {{{"coder", "cavlc"}, {"weightp", "none"}}, false},
        {{{"coder", "cabac"}, {"weightp", "simple"}}, true},
    };
    for (const auto& [options, own_cavlc] : variants) {
        SCOPED_TRACE(options.at("coder") + (own_cavlc ? " with CAVLC repeats" : ""));
        CodecContextPtr enc = OpenX264(options);
        if (!enc) GTEST_SKIP() << "no libx264";
        const std::vector<std::vector<uint8_t>> packets = EncodeNoise(enc.get(), 90);
        int errors = 0;
        const std::vector<std::vector<uint8_t>> plain = Decode(enc.get(), packets, errors);
        ASSERT_EQ(plain.size(), packets.size());
        ASSERT_EQ(errors, 0);

        Result<RepeatPicture> made =
            RepeatPicture::FromParameterSets({enc->extradata, size_t(enc->extradata_size)});
        ASSERT_TRUE(made.ok()) << made.error().message();
        RepeatPicture repeats = std::move(made).value();
        EXPECT_EQ(repeats.Cabac(), options.at("coder") == "cabac");
        const std::vector<uint8_t> own =
            own_cavlc ? repeats.UseOwnCavlcParameterSet() : std::vector<uint8_t>{};
        EXPECT_EQ(own.empty(), !own_cavlc);
        EXPECT_EQ(repeats.Cabac(), options.at("coder") == "cabac" && !own_cavlc);
        std::vector<std::vector<uint8_t>> stream;
        std::vector<size_t> source;  // the plain picture each written picture must equal
        for (size_t i = 0; i < packets.size(); ++i) {
            std::vector<uint8_t> renumbered;
            ASSERT_TRUE(repeats.Follow(packets[i], renumbered).ok());
            stream.push_back(renumbered.empty() ? packets[i] : renumbered);
            source.push_back(i);
            const size_t run = i % 10 == 9 ? 700 : i % 3;  // none, short runs, and runs past the wrap
            for (size_t r = 0; r < run; ++r) {
                stream.push_back(repeats.Next());
                source.push_back(i);
            }
        }
        const std::vector<std::vector<uint8_t>> decoded = Decode(enc.get(), stream, errors, own);
        EXPECT_EQ(errors, 0);
        ASSERT_EQ(decoded.size(), stream.size());
        for (size_t k = 0; k < decoded.size(); ++k)
            ASSERT_EQ(decoded[k], plain[source[k]]) << "picture " << k << " (source " << source[k] << ")";
        EXPECT_LT(stream[2].size(), own_cavlc || options.at("coder") == "cavlc" ? 16u : 64u)
            << "a repeat is a few bytes";
    }
}

TEST(RepeatPictureTest, StreamsARepeatCannotFollowAreRefusedWithTheReason) {
    CodecContextPtr b_frames = OpenX264({}, 2);
    if (!b_frames) GTEST_SKIP() << "no libx264";
    Result<RepeatPicture> r =
        RepeatPicture::FromParameterSets({b_frames->extradata, size_t(b_frames->extradata_size)});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code(), ErrorCode::kUnsupported);
    EXPECT_NE(r.error().message().find("order count type 0"), std::string::npos) << r.error().message();

    CodecContextPtr refs = OpenX264({{"x264-params", "ref=3"}});
    r = RepeatPicture::FromParameterSets({refs->extradata, size_t(refs->extradata_size)});
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message().find("3 reference frames"), std::string::npos) << r.error().message();

    const uint8_t garbage[] = {0, 0, 0, 1, 0x67, 0x64};
    r = RepeatPicture::FromParameterSets(garbage);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code(), ErrorCode::kInvalidArgument);
}

// --- the file a session writes ---

using platform::FakeScreenBackend;
using platform::ManualClock;
using screen_test::WaitUntil;
constexpr int64_t kSecond = 1'000'000'000;
constexpr int64_t kPeriod = kSecond / 30;

std::map<std::string, std::string> FfprobeStream(const std::string& path) {
    const test::CommandResult r = test::RunCommand(
        "ffprobe -v error -select_streams v:0 -count_packets -show_entries "
        "stream=r_frame_rate,avg_frame_rate,nb_read_packets,time_base -of default=nw=1 '" +
        path + "' 2>&1");
    std::map<std::string, std::string> values;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        if (const size_t eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

// (pts, duration) of every video packet, as ffprobe reads them.
std::vector<std::pair<int64_t, int64_t>> FfprobePackets(const std::string& path) {
    const test::CommandResult r = test::RunCommand(
        "ffprobe -v error -select_streams v:0 -show_entries packet=pts,duration -of csv=p=0 '" + path + "'");
    std::vector<std::pair<int64_t, int64_t>> packets;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        packets.emplace_back(std::atoll(line.c_str()), std::atoll(line.c_str() + comma + 1));
    }
    return packets;
}

// A constant-rate session on a scripted screen (polling) and a clock the test moves.
class ConstantRateSessionTest : public ::testing::Test {
  protected:
    // The cursor, when given, is recorded.
    void Open(const char* name, uint32_t first_fill,
              const std::optional<platform::CursorImage>& cursor = {}) {
        path_ = folder_.File(name);
        session_ = CCapture::Create(path_, clock_).value();
        auto owned = std::make_unique<FakeScreenBackend>(kWidth, kHeight);
        owned->SetDamageSupported(false);
        screen_ = owned.get();
        screen_->Fill(first_fill);
        if (cursor) screen_->SetCursor(*cursor);
        session_->SetConstantFrameRate(true);
        ASSERT_TRUE(
            session_->AddScreenStream(1, kVideoBitRate, 30, cursor.has_value(), {}, std::move(owned)).ok());
        ASSERT_TRUE(session_->Start().ok());
        ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() >= 1; }));  // the first picture at 0
    }
    // Moves the clock and waits for the grab that follows.
    void Step(int64_t ticks) {
        const int before = screen_->GrabCount();
        clock_.Advance(ticks);
        ASSERT_TRUE(WaitUntil([&] { return screen_->GrabCount() > before; }));
    }
    void StopAfter(int64_t ticks) {
        clock_.Advance(ticks);
        session_->MarkStopped();
        session_.reset();
    }

    test::TempFolder folder_;
    std::string path_;
    ManualClock clock_;
    std::unique_ptr<CCapture> session_;
    FakeScreenBackend* screen_ = nullptr;
};

// Changes at known times, a still stretch, a pause with a change during it, and a stop between two
// grid places: ffprobe sees one picture per period, every one as long as the others, the picture
// content changes at the grid place nearest to its time, and the track ends at the last place
// before the stop.
TEST_F(ConstantRateSessionTest, EveryFramePeriodHasAPictureOfEqualDurationThroughThePauseToTheStop) {
    Open("out.mp4", 0xFF101010);  // A at 0
    screen_->Fill(0xFF808080);    // B at 1.0133 s: place 30.4 → 30
    Step(kSecond + 2 * kPeriod / 5);
    Step(2 * kSecond);  // still
    session_->Pause();
    clock_.Advance(3 * kSecond);
    screen_->Fill(0xFFF0F0F0);  // C, changed during the pause, grabbed at 3.0467 s: place 91.4 → 91
    session_->Resume();
    Step(kPeriod);
    Step(kSecond);
    StopAfter(0);  // still; the stop at 4.0467 s: the track ends at place 121

    const auto stream = FfprobeStream(path_);
    EXPECT_EQ(stream.at("r_frame_rate"), "30/1");
    EXPECT_EQ(stream.at("avg_frame_rate"), "30/1");
    EXPECT_EQ(stream.at("nb_read_packets"), "121");
    const std::string tb = stream.at("time_base");
    const int64_t tb_den = std::atoll(tb.c_str() + tb.find('/') + 1);
    ASSERT_EQ(tb_den % 30, 0) << tb;
    const int64_t period = tb_den / 30;

    const auto packets = FfprobePackets(path_);
    ASSERT_EQ(packets.size(), 121u);
    for (size_t k = 0; k < packets.size(); ++k) {
        ASSERT_EQ(packets[k].first, static_cast<int64_t>(k) * period) << "packet " << k;
        ASSERT_EQ(packets[k].second, period) << "packet " << k;
    }
    const std::vector<test::GreyPicture> pictures = test::DecodeVideo(path_);
    ASSERT_EQ(pictures.size(), 121u);
    for (size_t k = 0; k < pictures.size(); ++k)
        ASSERT_NEAR(pictures[k].At(kWidth / 2, kHeight / 2), k < 30 ? 0x10 : k < 91 ? 0x80 : 0xF0, 8) << k;
    EXPECT_EQ(test::FfprobeDecodeErrors(path_), "");
    // The recordings list shows whole seconds of the container's duration: the track ends at most
    // one period before the stop, on a whole number of periods, so the same second as the stop's.
    const auto probed = test::ProbeFile(path_);
    ASSERT_TRUE(probed);
    EXPECT_NEAR(probed->duration_seconds, 121.0 / 30, 1e-3);
    EXPECT_EQ(static_cast<int>(probed->duration_seconds), 4);
}

// A cursor move over a still screen is a cursor record, not a grab: with the option on it becomes
// the picture of its grid place, and the places after it repeat it.
TEST_F(ConstantRateSessionTest, CursorMovesOverAStillScreenLandOnTheirGridPlaces) {
    Open("out.mp4", 0xFF000000, screen_test::Arrow(8, 8));
    screen_->SetCursor(screen_test::Arrow(40, 30));
    Step(kSecond / 2);       // place 15
    StopAfter(kSecond / 2);  // the stop at 1 s: places 0 to 29

    const auto packets = FfprobePackets(path_);
    ASSERT_EQ(packets.size(), 30u);
    for (size_t k = 1; k < packets.size(); ++k) ASSERT_EQ(packets[k].second, packets[0].second) << k;
    const std::vector<test::GreyPicture> pictures = test::DecodeVideo(path_);
    ASSERT_EQ(pictures.size(), 30u);
    for (size_t k = 0; k < pictures.size(); ++k) {
        const bool moved = k >= 15;
        EXPECT_GT(pictures[k].At(moved ? 41 : 9, moved ? 31 : 9), 0xC0) << "picture " << k;
        EXPECT_LT(pictures[k].At(moved ? 9 : 41, moved ? 9 : 31), 0x40) << "picture " << k;
    }
}

// A container without a global header (MPEG-TS) gives no parameter sets to make repeats from: the
// encoder codes the last picture again for every empty grid place, up to the last before the stop.
TEST_F(ConstantRateSessionTest, WithoutParameterSetsTheEncoderCodesTheRepeats) {
    Open("out.ts", 0xFF101010);
    screen_->Fill(0xFFF0F0F0);
    Step(kSecond / 2);                     // place 15
    StopAfter(kSecond / 2 + kPeriod / 2);  // the stop at 1.0167 s: the last place is 29

    const auto packets = FfprobePackets(path_);
    ASSERT_EQ(packets.size(), 30u);
    const int64_t period = 90000 / 30;  // MPEG-TS counts 1/90000 s
    for (size_t k = 1; k < packets.size(); ++k)
        ASSERT_EQ(packets[k].first - packets[0].first, static_cast<int64_t>(k) * period) << "packet " << k;
    const std::vector<test::GreyPicture> pictures = test::DecodeVideo(path_);
    ASSERT_EQ(pictures.size(), 30u);
    for (size_t k = 0; k < pictures.size(); ++k)
        ASSERT_NEAR(pictures[k].At(kWidth / 2, kHeight / 2), k < 15 ? 0x10 : 0xF0, 8) << "picture " << k;
}

}  // namespace
}  // namespace vexa::engine
