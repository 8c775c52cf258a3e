// The encoder's frame ring: a slot stays in use while the encoder copies pictures at once, moves on
// while the encoder keeps them, and never hands out a picture the encoder still reads.
#include <gtest/gtest.h>

#include <vector>

#include "engine/ffmpeg_ptr.h"
#include "engine/screen/frame_ring.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace vexa::engine {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 36;

// What an encoder that reads the picture later does: it keeps its own reference.
FramePtr KeepReference(const AVFrame* frame) {
    FramePtr kept(av_frame_clone(frame));
    EXPECT_NE(kept, nullptr);
    return kept;
}

TEST(FrameRing, SlotsGetMemoryOnlyWhenFirstUsed) {
    FrameRing ring;
    ASSERT_TRUE(ring.Init(AV_PIX_FMT_YUV420P, kWidth, kHeight));
    EXPECT_EQ(ring.SlotsAllocated(), 0);

    AVFrame* frame = ring.Current();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->format, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(frame->width, kWidth);
    EXPECT_EQ(frame->height, kHeight);
    EXPECT_NE(frame->data[0], nullptr);
    EXPECT_EQ(ring.SlotsAllocated(), 1);
}

TEST(FrameRing, AnEncoderThatCopiesKeepsUsingOneSlot) {
    FrameRing ring;
    ASSERT_TRUE(ring.Init(AV_PIX_FMT_YUV420P, kWidth, kHeight));
    for (int i = 0; i < 3 * FrameRing::kSize; ++i) {
        AVFrame* frame = ring.Current();
        ASSERT_NE(frame, nullptr);
        frame->data[0][0] = static_cast<uint8_t>(i);
        ring.Advance();
    }
    EXPECT_EQ(ring.Index(), 0);
    EXPECT_EQ(ring.SlotsAllocated(), 1);
}

TEST(FrameRing, AnEncoderThatKeepsPicturesGetsTheNextSlotUntilTheRingWraps) {
    FrameRing ring;
    ASSERT_TRUE(ring.Init(AV_PIX_FMT_YUV420P, kWidth, kHeight));
    std::vector<FramePtr> kept;
    for (int i = 0; i < FrameRing::kSize; ++i) {
        AVFrame* frame = ring.Current();
        ASSERT_NE(frame, nullptr);
        frame->data[0][0] = static_cast<uint8_t>(i + 1);
        kept.push_back(KeepReference(frame));
        ring.Advance();
        EXPECT_EQ(ring.Index(), (i + 1) % FrameRing::kSize);
    }
    EXPECT_EQ(ring.SlotsAllocated(), FrameRing::kSize);

    // The seventeenth picture lands in slot 0 again, whose first picture the encoder still holds:
    // the slot gets fresh memory, and the kept picture is left as it was.
    AVFrame* frame = ring.Current();
    ASSERT_NE(frame, nullptr);
    EXPECT_NE(frame->data[0], kept[0]->data[0]);
    frame->data[0][0] = 99;
    EXPECT_EQ(kept[0]->data[0][0], 1);
}

TEST(FrameRing, ASlotReleasedByTheEncoderIsReusedInPlace) {
    FrameRing ring;
    ASSERT_TRUE(ring.Init(AV_PIX_FMT_YUV420P, kWidth, kHeight));
    AVFrame* frame = ring.Current();
    ASSERT_NE(frame, nullptr);
    const uint8_t* memory = frame->data[0];
    { FramePtr kept = KeepReference(frame); }  // the encoder let go before the next picture
    ring.Advance();
    EXPECT_EQ(ring.Index(), 0);
    EXPECT_EQ(ring.Current()->data[0], memory);
}

}  // namespace
}  // namespace vexa::engine
