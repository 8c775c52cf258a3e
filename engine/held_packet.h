// The held packet: an encoding thread keeps the newest packet back until the next one arrives, so
// that its duration (next pts − its pts) is known, and at the end gives it the duration up to the
// stream's end. Used by the encoding thread of one stream only.
#pragma once

#include "engine/capture.h"

namespace vexa::engine {

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
    // Gives the held packet the duration up to the session time end (counter ticks) and queues it.
    void FinishAtTime(int64_t end_time);
    // The same with the end given in the stream's time base.
    void FinishAt(int64_t end_pts);
    [[nodiscard]] bool Holding() const { return held_ != nullptr; }

  private:
    CCapture& session_;
    AVCodecContext* encoder_;
    AVStream* stream_;
    PacketNode* held_ = nullptr;
};

}  // namespace vexa::engine
