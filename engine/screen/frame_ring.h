// FrameRing: the encoder's sixteen input pictures of one screen stream. A picture handed to the
// encoder may still be read by it later (hardware encoders keep a reference and read the surface
// when they get to it), so the next picture goes into the next slot. An encoder that copies the
// picture at once (libx264 does) leaves the slot free again, and the ring stays on it: each slot gets
// its memory the first time it is used, so such an encoder costs one picture instead of sixteen.
//
// Ownership: the ring owns its frames. Threads: used by the stream's encoding thread alone.
#pragma once

#include <array>

#include "engine/ffmpeg_ptr.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace vexa::engine {

class FrameRing {
  public:
    static constexpr int kSize = 16;

    // Creates the sixteen frames (without picture memory) in the encoder's format and size.
    [[nodiscard]] bool Init(AVPixelFormat format, int width, int height);
    // The slot to convert the next picture into, with picture memory the caller may write to; null
    // when memory runs out.
    [[nodiscard]] AVFrame* Current();
    // Called once the current picture went to the encoder: moves on while the encoder holds it.
    void Advance();

    [[nodiscard]] int Index() const { return index_; }
    // Slots that have picture memory (for tests and statistics).
    [[nodiscard]] int SlotsAllocated() const;

  private:
    std::array<FramePtr, kSize> frames_;
    int index_ = 0;
};

}  // namespace vexa::engine
