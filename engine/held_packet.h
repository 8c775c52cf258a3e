// The held packet: an encoding thread keeps the newest packet back until the next one arrives, so
// that its duration (next pts − its pts) is known, and at the end gives it the duration up to the
// stream's end. Used by the encoding thread of one stream only.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/capture.h"

namespace vexa::engine {

class RepeatPicture;

class HeldPacketDrain {
  public:
    // Packets leave the encoder in its time base; they are rescaled to the stream's (final once the
    // header is written) when the two differ.
    HeldPacketDrain(CCapture& session, AVCodecContext* encoder, AVStream* stream);
    ~HeldPacketDrain();  // a packet still held goes back to the pool
    HeldPacketDrain(const HeldPacketDrain&) = delete;
    HeldPacketDrain& operator=(const HeldPacketDrain&) = delete;

    // Receives packets from the encoder: one without drain-all, all with it. Each received packet
    // passes the held one on (with its duration) and is held itself. False when the pool is empty
    // or the encoder failed (draining stops until the next frame); true on "try again" and the end.
    bool Drain(bool drain_all);
    // Constant rate: the pictures lie on a grid of `period` (encoder time base) and the end moves
    // back onto it (but a picture lasts at least one period). With `repeats` (borrowed, outlives the drain),
    // each empty grid place between two of the encoder's pictures, and up to the end, gets a repeat of the
    // picture before it, and the encoder's pictures are renumbered to follow the repeats.
    void SetConstantRate(int64_t period, RepeatPicture* repeats);
    // Gives the held packet the duration up to the session time end (counter ticks) and queues it.
    void FinishAtTime(int64_t end_time);
    // The same with the end given in the stream's time base.
    void FinishAt(int64_t end_pts);
    [[nodiscard]] bool Holding() const { return held_ != nullptr; }
    // Packets stamped before pts (encoder time base) are dropped: pictures coded before the recording
    // to warm the encoder up.
    void SkipBefore(int64_t pts) { skip_before_ = pts; }

  private:
    // Queues the held packet with the duration up to next_pts, repeats first filling the grid.
    void QueueHeld(int64_t next_pts);
    [[nodiscard]] PacketNode* MakeRepeat(int64_t pts);
    void Renumber(AVPacket* packet);

    CCapture& session_;
    int64_t skip_before_ = INT64_MIN;
    AVCodecContext* encoder_;
    AVStream* stream_;
    PacketNode* held_ = nullptr;
    int64_t period_ = 0;  // in the encoder's time base
    [[nodiscard]] int64_t StreamPeriod() const;
    RepeatPicture* repeats_ = nullptr;
    std::vector<uint8_t> renumbered_;
};

}  // namespace vexa::engine
