// CaptureSoundSession: the recording session (CCapture) and the sound stream's entry seen as the
// SoundSession of the sound threads. Holds references only: the session and the entry outlive the
// CAudio that owns this adapter. Thread-safe as the CCapture calls it forwards to.
#pragma once

#include "engine/audio/sound_session.h"
#include "engine/capture.h"

namespace vexa::engine {

class CaptureSoundSession final : public SoundSession {
  public:
    CaptureSoundSession(CCapture& session, StreamEntry& entry) : session_(session), entry_(entry) {}

    platform::Waitable& StartGate() override { return session_.StartGate(); }
    void CountReady() override { session_.CountReady(); }
    int64_t SessionTimeNow() override { return session_.SessionTimeNow(); }
    int64_t Frequency() const override { return session_.Frequency(); }
    int64_t StopPosition() const override { return session_.StopPosition(); }
    bool Started() const override { return session_.Started(); }
    bool Stopped() const override { return session_.Stopped(); }
    bool Paused() const override { return session_.Paused(); }
    bool CaptureRunning() const override { return session_.CaptureRunning(); }
    bool EncodeRunning() const override { return session_.EncodeRunning(); }
    platform::Event& DataEvent() override { return *entry_.encoder_event; }
    void QueuePacket(PacketNode* node) override { session_.QueuePacket(node); }
    int StreamIndex() const override { return entry_.stream->index; }
    AVRational StreamTimeBase() const override { return entry_.stream->time_base; }

  private:
    CCapture& session_;
    StreamEntry& entry_;
};

}  // namespace vexa::engine
