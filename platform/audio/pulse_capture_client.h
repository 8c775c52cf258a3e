// PulseCaptureClient: one PulseAudio record stream as an AudioClient. A speaker is read from its
// sink's monitor source, a microphone from its source. The format check accepts only what the device
// delivers without conversion; Initialize opens the stream corked with a fragment of the requested
// buffer duration; the data callback signals the caller's event; a hole in the stream becomes a
// silent packet; an overflow, or the device waking from suspension, marks the next packet
// discontinuous. Volume is applied in software.
//
// Ownership: shares the server connection. Thread-safety: as AudioClient (SetVolume from any thread).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/audio_system.h"
#include "platform/audio/pulse_connection.h"

namespace vexa::platform {

class PulseCaptureClient final : public AudioClient {
  public:
    // source: the name of the source to read; native: the device's own format.
    PulseCaptureClient(std::shared_ptr<PulseConnection> connection, std::string source, AudioFormat native);
    ~PulseCaptureClient() override;
    PulseCaptureClient(const PulseCaptureClient&) = delete;
    PulseCaptureClient& operator=(const PulseCaptureClient&) = delete;

    int64_t MinimumDevicePeriod() override { return 0; }  // known only once the stream runs
    FormatAnswer IsFormatSupported(const AudioFormat& format) override;
    std::optional<AudioFormat> MixFormat() override { return native_; }
    Error Initialize(const AudioFormat& format, int64_t buffer_duration100ns, Event* event) override;
    uint32_t BufferFrames() override { return buffer_frames_; }
    Error Start() override;
    bool ReadPacket(AudioPacket* packet) override;
    void ReleasePacket() override;
    Error Failure() override;
    bool SetVolume(float gain) override;

  private:
    static void OnRead(pa_stream* stream, size_t bytes, void* self);
    static void OnState(pa_stream* stream, void* self);
    static void OnOverflow(pa_stream* stream, void* self);
    static void OnSuspended(pa_stream* stream, void* self);

    std::shared_ptr<PulseConnection> connection_;
    std::string source_;
    AudioFormat native_;
    AudioFormat format_;
    pa_stream* stream_ = nullptr;
    Event* event_ = nullptr;
    uint32_t buffer_frames_ = 0;
    bool peeked_ = false;
    std::atomic<bool> discontinuous_{false};  // samples were lost or the device slept
    std::atomic<bool> ended_{false};          // the stream failed or was terminated (the server's thread)
    std::atomic<float> gain_{1.0f};
    std::vector<uint8_t> scaled_;  // the packet after the volume, when it is not 1
};

}  // namespace vexa::platform
