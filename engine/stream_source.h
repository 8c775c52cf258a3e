// StreamSource: what the session needs of a screen, sound or camera source. The session owns the
// source through its StreamEntry, runs CaptureLoop on the stream's capture thread and EncodeLoop on
// its encoding thread, and deletes the source after both threads have ended.
#pragma once

#include <cstdint>

namespace vexa::engine {

enum class SourceKind : uint8_t { kScreen, kSound, kCamera };

class StreamSource {
  public:
    virtual ~StreamSource() = default;

    [[nodiscard]] virtual SourceKind Kind() const = 0;

    // The capture thread's body. It must first call CCapture::WaitForStartGate and leave as soon as
    // capture running is false.
    virtual void CaptureLoop() = 0;
    // The encoding thread's body. It sleeps on the entry's encoder event, encodes what the capture
    // side queued, and when encode running is false and its queue is empty flushes the encoder and
    // queues its last packets before it returns.
    virtual void EncodeLoop() = 0;

    // Sound sources: sets the gain of the input built from the panel row; false when none was.
    virtual bool SetRowVolume(const void* /*row*/, float /*gain*/) { return false; }

    // Called by the stop sequence after both threads have ended and before the source is deleted
    // (the camera source stops its device and releases its reference here).
    virtual void Detach() {}
};

}  // namespace vexa::engine
