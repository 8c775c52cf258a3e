// SoundSession: what the sound stream needs of its recording session, so that the sound threads can
// also run against a scripted session in tests. The recording session provides it through
// CaptureSoundSession (engine/audio/capture_sound_session.h).
//
// Every call is safe from the sound stream's own threads.
#pragma once

#include <cstdint>

#include "engine/packet_pool.h"
#include "platform/sync/waitable.h"

extern "C" {
#include <libavutil/rational.h>
}

namespace vexa::engine {

class SoundSession {
  public:
    virtual ~SoundSession() = default;

    // The start gate: the capture thread waits on it together with its devices' events.
    [[nodiscard]] virtual platform::Waitable& StartGate() = 0;
    // Counts the capture thread as ready to start.
    virtual void CountReady() = 0;
    // Session ticks now (frozen while paused) and the ticks per second.
    [[nodiscard]] virtual int64_t SessionTimeNow() = 0;
    [[nodiscard]] virtual int64_t Frequency() const = 0;
    // Session ticks at the stop: stop time − start time − total paused.
    [[nodiscard]] virtual int64_t StopPosition() const = 0;
    [[nodiscard]] virtual bool Started() const = 0;
    [[nodiscard]] virtual bool Stopped() const = 0;
    [[nodiscard]] virtual bool Paused() const = 0;
    [[nodiscard]] virtual bool CaptureRunning() const = 0;
    [[nodiscard]] virtual bool EncodeRunning() const = 0;
    // The stream's data event: the capture thread signals it, the mix thread waits on it.
    [[nodiscard]] virtual platform::Event& DataEvent() = 0;
    // Hands an encoded packet (stream index and times already set) to the writer.
    virtual void QueuePacket(PacketNode* node) = 0;
    // The container stream's index and time base (read only after the start gate opened).
    [[nodiscard]] virtual int StreamIndex() const = 0;
    [[nodiscard]] virtual AVRational StreamTimeBase() const = 0;
};

}  // namespace vexa::engine
