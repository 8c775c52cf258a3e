// SoundMixer: the mix thread's half of a sound stream. It turns the aligned blocks of the inputs into
// encoder frames — unchanged (one input in the encoder's format), through a resampler (one input in
// another format) or through an "amix" filter graph (two or more inputs) — and releases them to the
// encoder no earlier than the session clock allows and no further than the stop position, in frames
// of exactly the encoder's frame size when the encoder needs that. Encoded packets go to the session.
//
// Owned by CAudio; used by the mix thread only (Build runs before the threads start). Not
// thread-safe.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/audio/audio_block.h"
#include "engine/audio/audio_input.h"
#include "engine/audio/sound_session.h"
#include "engine/ffmpeg_ptr.h"
#include "platform/error.h"

struct AVFilterGraph;
struct AVFilterContext;
struct SwrContext;

namespace vexa::engine {

// Result bits of Push.
inline constexpr uint32_t kPushError = 1u << 0;
inline constexpr uint32_t kPushStopReached = 1u << 1;

// The graph text for n inputs: "[in0][in1]amix=inputs=2[out]".
[[nodiscard]] std::string MixGraphText(int inputs);
// The buffer source arguments of an input.
[[nodiscard]] std::string BufferSourceArgs(const AudioInput& input);

class SoundMixer {
  public:
    SoundMixer() = default;
    ~SoundMixer();
    SoundMixer(const SoundMixer&) = delete;
    SoundMixer& operator=(const SoundMixer&) = delete;

    // Builds the staging frame (fixed-frame encoders), then the pass-through, resampler or graph for
    // the inputs. The encoder and inputs must outlive the mixer.
    [[nodiscard]] Error Build(AVCodecContext* encoder, std::span<AudioInput> inputs);
    void Attach(SoundSession* session) { session_ = session; }

    // The clock position K: encoder samples due by now.
    void SetClockPosition(int64_t k) { clock_position_ = k; }
    // Hands one block of input m (placed at input position start) to the mixer and encodes what is
    // due. A null block only works through what is pending. Returns kPush* bits.
    [[nodiscard]] uint32_t Push(int m, AudioBlock* block, int64_t start);
    // Ends the stream: flushes the encoder and queues its last packets.
    void Finish();

    [[nodiscard]] int SampleRate() const { return encoder_->sample_rate; }
    [[nodiscard]] bool HasGraph() const { return graph_ != nullptr; }
    [[nodiscard]] bool HasResampler() const { return resampler_ != nullptr; }
    [[nodiscard]] bool HasStaging() const { return staging_ != nullptr; }
    [[nodiscard]] const std::string& GraphText() const { return graph_text_; }
    // O: encoder samples sent so far; and the samples waiting in the staging frame.
    [[nodiscard]] int64_t OutputPosition() const { return output_position_; }
    [[nodiscard]] int StagedSamples() const { return staged_; }
    // The stop position in encoder samples (valid once the session is stopped).
    [[nodiscard]] int64_t StopSamples() const;

  private:
    [[nodiscard]] Error BuildStaging();
    [[nodiscard]] Error BuildResampler(AudioInput& input);
    [[nodiscard]] Error BuildGraph();
    [[nodiscard]] uint32_t Convert(AudioBlock* block);
    [[nodiscard]] uint32_t Filter(int m, AudioBlock* block, int64_t start);
    [[nodiscard]] uint32_t Release();
    [[nodiscard]] uint32_t Encode(AudioBlock* head);
    [[nodiscard]] bool SendFrame(AVFrame* frame);
    [[nodiscard]] bool DrainEncoder(bool single_packet);
    void Recycle(AudioBlock* block);

    AVCodecContext* encoder_ = nullptr;
    std::span<AudioInput> inputs_;
    SoundSession* session_ = nullptr;
    AVFilterGraph* graph_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    std::vector<AVFilterContext*> sources_;
    std::string graph_text_;
    SwrContext* resampler_ = nullptr;
    int resampled_capacity_ = 0;
    BlockList resampled_pool_;
    BlockList mixed_pool_;
    BlockList pending_;
    FramePtr staging_;
    int staged_ = 0;
    int64_t clock_position_ = 0;
    int64_t output_position_ = 0;
};

}  // namespace vexa::engine
