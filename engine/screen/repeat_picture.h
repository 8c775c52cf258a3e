// RepeatPicture: H.264 pictures that repeat the previous picture without the encoder. A constant-
// rate recording needs one picture per frame period even while the screen stands still; instead of
// grabbing, converting and encoding the same picture again, the encoding thread writes a P picture
// whose macroblocks are all skipped (zero motion, no residual, no deblocking): every decoder shows
// the reference picture again, bit for bit. It costs a few dozen bytes and a few microseconds.
//
// The repeat must fit the stream the encoder writes: it is made from the encoder's sequence and
// picture parameter sets (CABAC or CAVLC, weighted prediction, frame-number width). It is a
// reference picture, so the frame numbers of the encoder's later pictures move up by the repeats
// written since the last IDR picture (Follow rewrites them in place); this needs picture order
// counts derived from frame numbers (type 2, which encoders use without B pictures) and a single
// reference frame, so that the encoder's next picture, which refers to its own last picture, refers
// to the identical repeat. Streams outside that are refused (the caller lets the encoder code the
// repeated picture instead).
//
// Ownership: plain value. Threads: one encoding thread uses it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/error.h"

namespace vexa::engine {

class RepeatPicture {
  public:
    // Reads the parameter sets from the encoder's global header (Annex B or avcC). Fails with
    // kUnsupported and the reason when the stream cannot take a prebuilt repeat, kInvalidArgument
    // when the parameter sets cannot be read.
    [[nodiscard]] static Result<RepeatPicture> FromParameterSets(std::span<const uint8_t> extradata);

    // Follows one of the encoder's pictures (Annex B, in decoding order) before it is written: an
    // IDR picture starts the count again, any other has the frame number of each of its slices
    // raised by the repeats since the last IDR. `renumbered` receives the rewritten picture, or stays
    // empty when the picture is written as it is. Fails when a slice header cannot be read.
    [[nodiscard]] Error Follow(std::span<const uint8_t> picture, std::vector<uint8_t>& renumbered);
    // The next repeat of the last picture, as one Annex B access unit. Only after a Follow.
    [[nodiscard]] std::vector<uint8_t> Next();

    // A stream coded with CABAC: a second picture parameter set, the same but with CAVLC and the
    // next free number, for the repeats alone (a CAVLC repeat is a few bytes, a CABAC one about
    // 0.04 bit per macroblock more). The caller adds it to the stream's header (Annex B NAL unit
    // with its start code); from then on Next() refers to it. Empty for a CAVLC stream.
    [[nodiscard]] std::vector<uint8_t> UseOwnCavlcParameterSet();

    [[nodiscard]] bool Cabac() const { return cabac_; }

  private:
    RepeatPicture() = default;
    // The repeat's payload (without emulation prevention), its frame number zero.
    [[nodiscard]] std::vector<uint8_t> Code();

    // Parameter sets.
    int log2_max_frame_num_ = 4;
    int mbs_ = 0;  // macroblocks per picture
    bool chroma_ = true;
    int pps_id_ = 0;
    bool cabac_ = false;
    bool weighted_pred_ = false;
    bool deblocking_control_ = false;
    bool redundant_pic_cnt_ = false;
    int pic_init_qp_ = 26;
    std::vector<uint8_t> pps_raw_;  // the stream's picture parameter set (payload without escapes)
    // Stream state.
    bool followed_ = false;
    uint32_t last_ref_frame_num_ = 0;
    uint32_t raise_ = 0;        // repeats since the last IDR picture, modulo the frame-number range
    std::vector<uint8_t> raw_;  // the repeat, coded once
    size_t frame_num_at_ = 0;   // bit position of its frame number
};

}  // namespace vexa::engine
