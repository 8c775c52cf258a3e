// CAudio: the sound stream of a recording. It captures every chosen speaker (what it plays) and
// microphone at once, places their sound on the session clock (silence for holes, trimming for
// overlaps, small drops or repeats for a device clock that drifts), mixes them into one signal and
// encodes it.
//
// Threads: the session runs CaptureLoop on the stream's capture thread (it reads every device) and
// EncodeLoop on its encoding thread (the mix thread: align, mix, encode). Set-up (Create,
// BuildMixer, Attach) happens on the recording thread before both start. SetRowVolume may be called
// from the user-interface thread at any time. The session deletes CAudio after both threads ended.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/audio/audio_input.h"
#include "engine/audio/run_drift.h"
#include "engine/audio/sound_mixer.h"
#include "engine/audio/sound_session.h"
#include "engine/ffmpeg_ptr.h"
#include "engine/recording_params.h"
#include "engine/stream_source.h"
#include "platform/audio/audio_system.h"
#include "platform/error.h"

namespace vexa::engine {

inline constexpr int kMaxAudioInputs = 63;

// The entries (ended by an entry without endpoint ID) whose device `system` does not list now: one
// unplugged since the lists were made, or never there. IDs compare without case.
[[nodiscard]] std::vector<SoundSourceEntry> UnconnectedSources(platform::AudioSystem& system,
                                                               const SoundSourceEntry* sources);

class CAudio final : public StreamSource {
  public:
    // The encoder and the opened devices of a new sound stream.
    struct Setup {
        std::unique_ptr<CAudio> audio;
        CodecContextPtr encoder;  // opened; time base 1/sample rate
    };
    // Opens the named encoder and every device of the entries (ended by an entry without endpoint
    // ID): the encoder's sample format, rate and layout are chosen from its lists, the devices'
    // capture formats from the encoder, and the layout again from the widest device. Fails with the
    // reason: unknown encoder, no usable format, 0 or more than 63 entries, a device the server does
    // not list (kNotFound: "microphone 'USB Headset' is not connected") or not opened ("microphone 'x'
    // is busy").
    [[nodiscard]] static Result<Setup> Create(platform::AudioSystem& system, const char* encoder_name,
                                              const BitRateTriple& rate, const SoundSourceEntry* sources,
                                              bool global_header);
    ~CAudio() override = default;

    // Builds the resampler or the mix graph for the encoder, then starts every device.
    [[nodiscard]] Error BuildMixer(AVCodecContext* encoder);
    // The inputs as the log shows them: "speaker 'x' volume 80 (s16 48000 Hz 2 ch), ...; mixed by ...".
    [[nodiscard]] std::string Describe() const;
    // The session the threads report to; it must outlive this object.
    void Attach(std::unique_ptr<SoundSession> session) {
        session_ = std::move(session);
        mixer_.Attach(session_.get());
    }

    SourceKind Kind() const override { return SourceKind::kSound; }
    void CaptureLoop() override;
    void EncodeLoop() override;
    bool SetRowVolume(const void* row, float gain) override;

    // --- one turn of each thread, for the loops above and for tests ---
    // Reads and discards whatever the devices hold (before the start).
    void EmptyInputs();
    // Marks every input as starting a new run.
    void MarkNewRuns() { new_run_ = AllNewRuns(); }
    // Reads every device once; true when blocks were queued for the mix thread.
    [[nodiscard]] bool CapturePass();
    // Logs once that input m's device will deliver no more, when it will not.
    void ReportLoss(int m);
    // Aligns, mixes and encodes what was captured up to the session clock; true when the stream has
    // ended (the stop position was reached and the encoder flushed).
    [[nodiscard]] bool MixPass();

    [[nodiscard]] int InputCount() const { return input_count_; }
    [[nodiscard]] const AudioInput& Input(int m) const { return inputs_[static_cast<size_t>(m)]; }
    [[nodiscard]] const SoundMixer& Mixer() const { return mixer_; }
    // P[m]: samples of input m placed so far.
    [[nodiscard]] int64_t Position(int m) const { return positions_[static_cast<size_t>(m)]; }
    // Net samples input m's runs were moved by to follow the clock (> 0 repeated, < 0 dropped).
    [[nodiscard]] int64_t DriftCorrection(int m) const { return corrections_[static_cast<size_t>(m)]; }

  private:
    static std::array<uint8_t, 64> AllNewRuns() {
        std::array<uint8_t, 64> all;
        all.fill(1);
        return all;
    }
    CAudio() = default;
    [[nodiscard]] Error OpenDevices(platform::AudioSystem& system, AVCodecContext* encoder,
                                    const SoundSourceEntry* sources);
    [[nodiscard]] Error FitLayoutToInputs(const AVCodec& codec, AVCodecContext* encoder) const;
    [[nodiscard]] Error OpenDevice(platform::AudioSystem& system, AVCodecContext* encoder,
                                   const SoundSourceEntry& entry, const std::string& id);
    void CapturePacket(int m, const platform::AudioPacket& packet, bool* queued);
    [[nodiscard]] uint32_t PlaceBlock(int m, AudioBlock* block);
    [[nodiscard]] int64_t FollowClock(int m, const AudioBlock& block);
    [[nodiscard]] uint32_t PushSilence(int m, int64_t samples);
    [[nodiscard]] uint32_t PushRepeat(int m, const AudioBlock& block, int64_t samples);
    [[nodiscard]] uint32_t PushPlaced(int m, AudioBlock* block);
    [[nodiscard]] int64_t InputPosition(int m, int64_t ticks) const;
    [[nodiscard]] int64_t IdleWait() const;

    std::unique_ptr<AudioInput[]> inputs_;  // sized once when the devices are opened; never moves
    int input_count_ = 0;                   // inputs opened
    std::unique_ptr<SoundSession> session_;
    SoundMixer mixer_;
    std::array<uint8_t, 64> new_run_ = AllNewRuns();    // capture thread: input m's next packet starts a run
    std::array<uint8_t, 64> lost_{};                    // capture thread: input m's end was logged
    std::array<int64_t, kMaxAudioInputs> positions_{};  // mix thread: P
    std::array<int64_t, kMaxAudioInputs> skips_{};      // mix thread: S
    std::array<RunDrift, kMaxAudioInputs> drifts_{};    // mix thread: each run against the clock
    std::array<int64_t, kMaxAudioInputs> corrections_{};  // mix thread: what the drift correction moved
};

}  // namespace vexa::engine
