#include "engine/audio/audio.h"

#include <strings.h>
#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "engine/audio/candidate_formats.h"
#include "engine/audio/encoder_choice.h"
#include "platform/av_error.h"
#include "platform/log/log.h"
#include "platform/time/clock.h"

namespace vexa::engine {
namespace {

using platform::AudioDeviceKind;

constexpr int64_t kStartPoll = 500;       // 50 µs: the wait for the start keeps the devices empty
constexpr int64_t kMixWait = 10'000'000;  // 1 s: the mix thread's longest sleep
constexpr int kMixRequest = 0xFF;         // first layout request: eight channels

// A device that refuses the format or the arguments gets a new client and the next format.
bool IsRetryable(const Error& e) {
    return e.code() == ErrorCode::kUnsupported || e.code() == ErrorCode::kInvalidArgument;
}

// "speaker 'alsa_output.x'", as messages name a device.
std::string DeviceLabel(AudioDeviceKind kind, const std::string& id) {
    return std::string(platform::AudioDeviceKindName(kind)) + " '" + id + "'";
}

bool IsDeviceOf(const platform::AudioDeviceInfo& device, AudioDeviceKind kind,
                const SoundSourceEntry& entry) {
    return entry.kind == static_cast<uint8_t>(kind) && strcasecmp(device.id.c_str(), entry.endpoint_id) == 0;
}

// "speaker 'USB Headset' is not connected", one clause per entry; ok for none.
Error NotConnected(const std::vector<SoundSourceEntry>& missing) {
    if (missing.empty()) return {};
    std::string text;
    for (const SoundSourceEntry& e : missing) {
        if (!text.empty()) text += ", ";
        text += DeviceLabel(static_cast<AudioDeviceKind>(e.kind), e.name ? e.name : e.endpoint_id) +
                " is not connected";
    }
    return Error(ErrorCode::kNotFound, text);
}

bool SetLayout(AVCodecContext* encoder, uint64_t mask) {
    av_channel_layout_uninit(&encoder->ch_layout);
    return av_channel_layout_from_mask(&encoder->ch_layout, mask) >= 0;
}

// The encoder's sample format, rate and first layout (up to eight channels) from its lists.
CodecContextPtr NewEncoderContext(const AVCodec& codec) {
    CodecContextPtr encoder(avcodec_alloc_context3(&codec));
    const std::optional<AVSampleFormat> format = ChooseSampleFormat(codec);
    const std::optional<int> sample_rate = ChooseSampleRate(codec);
    const uint64_t layout = ChooseEncoderLayout(codec, kMixRequest);
    if (!encoder || !format || !sample_rate || layout == 0 || !SetLayout(encoder.get(), layout))
        return nullptr;
    encoder->sample_fmt = *format;
    encoder->sample_rate = *sample_rate;
    encoder->time_base = AVRational{1, *sample_rate};
    return encoder;
}

}  // namespace

std::vector<SoundSourceEntry> UnconnectedSources(platform::AudioSystem& system,
                                                 const SoundSourceEntry* sources) {
    std::vector<SoundSourceEntry> missing;
    for (const SoundSourceEntry* e = sources; e && e->endpoint_id; ++e) missing.push_back(*e);
    for (AudioDeviceKind kind : {AudioDeviceKind::kSpeaker, AudioDeviceKind::kMicrophone}) {
        for (const platform::AudioDeviceInfo& device : system.ListDevices(kind)) {
            std::erase_if(missing, [&](const SoundSourceEntry& e) { return IsDeviceOf(device, kind, e); });
        }
    }
    return missing;
}

Result<CAudio::Setup> CAudio::Create(platform::AudioSystem& system, const char* encoder_name,
                                     const BitRateTriple& rate, const SoundSourceEntry* sources,
                                     bool global_header) {
    const std::string name = encoder_name ? encoder_name : "";
    const AVCodec* codec = encoder_name ? avcodec_find_encoder_by_name(encoder_name) : nullptr;
    if (!codec)
        return Error(ErrorCode::kUnsupported, "sound encoder '" + name + "' is not in this FFmpeg build");
    if (!sources) return Error(ErrorCode::kInvalidArgument, "no speaker or microphone chosen");
    CodecContextPtr encoder = NewEncoderContext(*codec);
    if (!encoder) {
        return Error(ErrorCode::kUnsupported,
                     "sound encoder '" + name + "' offers no sample format, rate and layout to record in");
    }
    std::unique_ptr<CAudio> audio(new CAudio);
    if (Error e = audio->OpenDevices(system, encoder.get(), sources); !e.ok()) return e;
    if (Error e = audio->FitLayoutToInputs(*codec, encoder.get()); !e.ok()) return e;
    encoder->bit_rate = rate.bit_rate;
    encoder->rc_min_rate = rate.min_rate;
    encoder->rc_max_rate = rate.max_rate;
    if (global_header) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int rc = avcodec_open2(encoder.get(), codec, nullptr); rc < 0)
        return AvError(rc, "cannot open the sound encoder " + name);
    return Setup{std::move(audio), std::move(encoder)};
}

// A stereo speaker and a mono microphone make a stereo stream: when the widest input has fewer
// channels than the encoder, the layout is chosen again for that input's layout.
Error CAudio::FitLayoutToInputs(const AVCodec& codec, AVCodecContext* encoder) const {
    const AudioInput* widest = &inputs_[0];
    for (int m = 1; m < input_count_; ++m) {
        if (inputs_[static_cast<size_t>(m)].channels > widest->channels)
            widest = &inputs_[static_cast<size_t>(m)];
    }
    if (widest->channels >= encoder->ch_layout.nb_channels) return {};
    const uint64_t narrower = ChooseEncoderLayout(codec, widest->channel_layout);
    if (narrower == 0 || SetLayout(encoder, narrower)) return {};
    return Error(ErrorCode::kInternal,
                 "cannot set the sound encoder to " + std::to_string(widest->channels) + " channels");
}

// Speakers first, then microphones; within each, in the order the server lists the devices. Every
// entry must find its device.
Error CAudio::OpenDevices(platform::AudioSystem& system, AVCodecContext* encoder,
                          const SoundSourceEntry* sources) {
    int count = 0;
    while (sources[count].endpoint_id) {
        if (++count > kMaxAudioInputs)
            return Error(ErrorCode::kInvalidArgument, "more than 63 speakers and microphones chosen");
    }
    if (count == 0) return Error(ErrorCode::kInvalidArgument, "no speaker or microphone chosen");
    if (Error e = NotConnected(UnconnectedSources(system, sources)); !e.ok()) return e;
    inputs_ = std::make_unique<AudioInput[]>(static_cast<size_t>(count));
    std::vector<bool> found(static_cast<size_t>(count), false);
    for (AudioDeviceKind kind : {AudioDeviceKind::kSpeaker, AudioDeviceKind::kMicrophone}) {
        for (const platform::AudioDeviceInfo& device : system.ListDevices(kind)) {
            for (int i = 0; i < count; ++i) {
                const SoundSourceEntry& e = sources[i];
                if (!IsDeviceOf(device, kind, e)) continue;
                if (input_count_ == count) {
                    return Error(ErrorCode::kInvalidArgument,
                                 DeviceLabel(kind, e.endpoint_id) + " matches more than one device");
                }
                if (Error opened = OpenDevice(system, encoder, e, device.id); !opened.ok()) return opened;
                found[static_cast<size_t>(i)] = true;
            }
        }
    }
    // A device unplugged between the two lists.
    std::vector<SoundSourceEntry> gone;
    for (int i = 0; i < count; ++i)
        if (!found[static_cast<size_t>(i)]) gone.push_back(sources[i]);
    return NotConnected(gone);
}

Error CAudio::OpenDevice(platform::AudioSystem& system, AVCodecContext* encoder,
                         const SoundSourceEntry& entry, const std::string& id) {
    const auto kind = static_cast<AudioDeviceKind>(entry.kind);
    const std::string label = DeviceLabel(kind, id);
    AudioInput& in = inputs_[static_cast<size_t>(input_count_)];
    in.event = std::make_unique<platform::Event>();
    if (Error e = in.event->CreationError("the event of " + label); !e.ok()) return e;
    const FormatTarget target{encoder->ch_layout.nb_channels, encoder->ch_layout.u.mask,
                              SampleFormatDepth(encoder->sample_fmt), encoder->sample_rate};
    TriedFlags tried{};
    bool last_resort = false;
    std::optional<platform::AudioFormat> format;
    Error refused;  // the last refusal, for the message when no format is left
    for (;;) {
        // A client refused at Initialize is replaced by a new one; the search goes on where it was.
        Result<std::unique_ptr<platform::AudioClient>> client = system.OpenClient(kind, id);
        if (!client.ok()) return client.error();
        in.client = std::move(client).value();
        const int64_t period = in.client->MinimumDevicePeriod();
        in.device_period = period > 0 ? period : kDefaultDevicePeriod;
        format = ChooseCaptureFormat(*in.client, target, tried, &last_resort);
        if (!format) {
            const std::string why = refused.ok() ? "no sample format fits" : refused.message();
            return Error(ErrorCode::kUnsupported, "cannot record from " + label + ": " + why);
        }
        const Error initialized = in.client->Initialize(*format, in.device_period, in.event.get());
        if (initialized.ok()) break;
        if (initialized.code() == ErrorCode::kBusy)
            return Error(ErrorCode::kBusy, label + " is busy", initialized.native_code());
        if (!IsRetryable(initialized) || last_resort) return initialized.Within("cannot open " + label);
        refused = initialized;
    }
    in.row = entry.row;
    const int volume = std::min<int>(entry.volume, 100);
    in.has_volume = in.client->SetVolume(static_cast<float>(volume) / 100.0f);
    in.buffer_frames = in.client->BufferFrames();
    in.sample_format = SampleFormatOf(*format);
    in.sample_rate = format->rate;
    in.bytes_per_frame = format->BlockAlign();
    in.channel_layout = format->channel_mask;
    in.channels = format->channels;
    if (in.buffer_frames == 0 || in.sample_format == AV_SAMPLE_FMT_NONE)
        return Error(ErrorCode::kUnsupported, label + " delivers no usable sound buffer");
    const char* sample_name = av_get_sample_fmt_name(in.sample_format);
    in.description = label + " volume " + std::to_string(volume) + " (" + (sample_name ? sample_name : "?") +
                     " " + std::to_string(in.sample_rate) + " Hz " + std::to_string(in.channels) + " ch)";
    drifts_[static_cast<size_t>(input_count_)] = RunDrift(in.sample_rate);
    ++input_count_;
    return {};
}

Error CAudio::BuildMixer(AVCodecContext* encoder) {
    if (Error e =
            mixer_.Build(encoder, std::span<AudioInput>(inputs_.get(), static_cast<size_t>(input_count_)));
        !e.ok())
        return e;
    for (int m = 0; m < input_count_; ++m) {
        if (Error e = inputs_[static_cast<size_t>(m)].client->Start(); !e.ok()) return e;
    }
    return {};
}

std::string CAudio::Describe() const {
    std::string text;
    for (int m = 0; m < input_count_; ++m)
        text.append(m ? ", " : "").append(inputs_[static_cast<size_t>(m)].description);
    if (mixer_.HasGraph()) text.append("; mixed by ").append(mixer_.GraphText());
    if (mixer_.HasResampler()) text.append("; converted");
    return text;
}

bool CAudio::SetRowVolume(const void* row, float gain) {
    bool found = false;
    for (int m = 0; m < input_count_; ++m) {
        AudioInput& in = inputs_[static_cast<size_t>(m)];
        if (in.row != row) continue;
        found = true;
        if (in.has_volume) (void)in.client->SetVolume(gain);
    }
    return found;
}

int64_t CAudio::IdleWait() const {
    int64_t wait = kDefaultDevicePeriod;
    for (int m = 0; m < input_count_; ++m) {
        wait =
            m == 0 ? inputs_[0].device_period : std::min(wait, inputs_[static_cast<size_t>(m)].device_period);
    }
    return wait;
}

// --- capture thread ---

void CAudio::CaptureLoop() {
    std::vector<platform::Waitable*> waits{&session_->StartGate()};
    for (int m = 0; m < input_count_; ++m) waits.push_back(inputs_[static_cast<size_t>(m)].event.get());
    EmptyInputs();
    MarkNewRuns();
    session_->CountReady();
    // Wait for the gate while keeping the devices empty: sound from before the start is dropped. The
    // started flag is checked too, so that a gate signal taken by another stream's sleep cannot keep
    // this thread waiting.
    for (;;) {
        size_t index = 0;
        const platform::WaitResult r = platform::WaitAny(waits, kStartPoll, &index);
        if ((r == platform::WaitResult::kSignaled && index == 0) || session_->Started() ||
            !session_->CaptureRunning()) {
            break;
        }
        EmptyInputs();
    }
    if (!session_->CaptureRunning() || (session_->Stopped() && !session_->Started())) return;
    // Once running, the gate stays out of the wait: its signals belong to the other streams' starts.
    // The stop is noticed after at most one idle wait.
    const std::span<platform::Waitable* const> events(waits.data() + 1, waits.size() - 1);
    const int64_t idle = IdleWait();
    while (session_->CaptureRunning()) {
        if (CapturePass()) session_->DataEvent().Set();
        size_t index = 0;
        (void)platform::WaitAny(events, idle, &index);
    }
}

void CAudio::EmptyInputs() {
    for (int m = 0; m < input_count_; ++m) {
        platform::AudioClient& client = *inputs_[static_cast<size_t>(m)].client;
        platform::AudioPacket packet;
        while (client.ReadPacket(&packet)) client.ReleasePacket();
    }
}

bool CAudio::CapturePass() {
    bool queued = false;
    for (int m = 0; m < input_count_; ++m) {
        platform::AudioClient& client = *inputs_[static_cast<size_t>(m)].client;
        platform::AudioPacket packet;
        while (client.ReadPacket(&packet)) {  // a failing read ends this input's turn
            CapturePacket(m, packet, &queued);
            client.ReleasePacket();
        }
        ReportLoss(m);
    }
    return queued;
}

// A device removed or a sound server gone during the recording: its track goes on in silence (the
// mix pads it), and the log says once which source ended and why.
void CAudio::ReportLoss(int m) {
    if (lost_[static_cast<size_t>(m)]) return;
    AudioInput& in = inputs_[static_cast<size_t>(m)];
    const Error failure = in.client->Failure();
    if (failure.ok()) return;
    lost_[static_cast<size_t>(m)] = 1;
    log::Failure(failure, in.description + " stopped during the recording; the rest of its track is silent");
}

void CAudio::CapturePacket(int m, const platform::AudioPacket& packet, bool* queued) {
    AudioInput& in = inputs_[static_cast<size_t>(m)];
    uint32_t flags = packet.flags;
    // Every block carries its capture time: the first of a run places the run, the others let the mix
    // thread keep the run on the clock.
    const int64_t read_time = session_->SessionTimeNow();
    if (new_run_[static_cast<size_t>(m)] || (flags & platform::kPacketDiscontinuity)) {
        flags |= platform::kPacketDiscontinuity;
        new_run_[static_cast<size_t>(m)] = 0;
    }
    if (session_->Paused()) {
        new_run_[static_cast<size_t>(m)] = 1;
        return;
    }
    const uint32_t frames = packet.frames;
    for (uint32_t offset = 0; offset < frames;) {
        const uint32_t n = std::min(frames - offset, in.buffer_frames);
        AudioBlock* block = in.TakeFreeBlock(m);
        if (!block) {  // the rest of the packet is lost; the next block starts a new run
            new_run_[static_cast<size_t>(m)] = 1;
            return;
        }
        block->frame->nb_samples = static_cast<int>(n);
        block->flags = flags;
        // The clock was read when the whole packet had arrived: a block ends earlier by the samples
        // that follow it in the packet.
        const int64_t after = frames - offset - n;
        block->capture_time =
            read_time - av_rescale_rnd(after, session_->Frequency(), in.sample_rate, AV_ROUND_DOWN);
        if ((flags & platform::kPacketSilent) || !packet.data) {
            av_samples_set_silence(block->frame->data, 0, static_cast<int>(n), in.channels, in.sample_format);
        } else {
            std::memcpy(block->frame->data[0],
                        packet.data + size_t{offset} * static_cast<size_t>(in.bytes_per_frame),
                        size_t{n} * static_cast<size_t>(in.bytes_per_frame));
        }
        flags &= ~platform::kPacketDiscontinuity;
        in.captured.Push(block);
        *queued = true;
        offset += n;
    }
}

// --- mix thread ---

void CAudio::EncodeLoop() {
    int64_t last_output = -1;
    for (;;) {
        (void)session_->DataEvent().Wait(kMixWait);
        if (session_->Stopped() && !session_->Started()) return;
        if (!session_->Started()) continue;
        if (MixPass()) return;
        // While the session is being stopped every pass must move the output on; a pass that does not
        // (a broken mix graph) ends the stream rather than holding up the stop.
        const int64_t output = mixer_.OutputPosition() + mixer_.StagedSamples();
        if (!session_->EncodeRunning() && output == last_output) {
            mixer_.Finish();
            return;
        }
        last_output = session_->EncodeRunning() ? -1 : output;
    }
}

int64_t CAudio::InputPosition(int m, int64_t ticks) const {
    return av_rescale_rnd(ticks, inputs_[static_cast<size_t>(m)].sample_rate, session_->Frequency(),
                          AV_ROUND_ZERO);
}

bool CAudio::MixPass() {
    const int64_t now = session_->SessionTimeNow();
    mixer_.SetClockPosition(av_rescale_rnd(now, mixer_.SampleRate(), session_->Frequency(), AV_ROUND_ZERO));
    const bool finishing = !session_->EncodeRunning();
    uint32_t bits = 0;
    for (int m = 0; m < input_count_ && !(bits & kPushStopReached); ++m) {
        AudioInput& in = inputs_[static_cast<size_t>(m)];
        BlockList blocks = in.captured.TakeAll();
        while (AudioBlock* block = blocks.PopFront()) bits |= PlaceBlock(m, block);
        // Bring the input up to the clock. While recording, two seconds are allowed for late packets;
        // at the stop every input is filled a little past the stop position, so that the delay of a
        // resampler or the mix graph cannot hold back the last samples.
        int64_t target = InputPosition(m, now);
        if (!finishing) {
            target -= 2 * int64_t{in.sample_rate};
        } else if (session_->Stopped()) {
            const int64_t margin = std::max<int64_t>(in.buffer_frames, in.sample_rate / 10);
            target = std::max(target, InputPosition(m, session_->StopPosition()) + margin);
        }
        const int64_t lag = target - positions_[static_cast<size_t>(m)];
        if (lag > 0) {
            drifts_[static_cast<size_t>(m)].StartRun();  // the run was interrupted
            bits |= PushSilence(m, lag);
        }
    }
    // Frames whose end the clock has passed go out even when no block was pushed in this pass.
    if (!(bits & kPushStopReached)) bits |= mixer_.Push(0, nullptr, 0);
    if (!(bits & kPushStopReached)) return false;
    mixer_.Finish();
    return true;
}

uint32_t CAudio::PlaceBlock(int m, AudioBlock* block) {
    AudioInput& in = inputs_[static_cast<size_t>(m)];
    int64_t& position = positions_[static_cast<size_t>(m)];
    int64_t& skip = skips_[static_cast<size_t>(m)];
    uint32_t bits = 0;
    if (block->flags & platform::kPacketDiscontinuity) {  // a new run: where does it start?
        const int64_t start = InputPosition(m, block->capture_time) - block->Samples();
        if (start < position) {
            skip = position - start;
        } else if (start > position) {
            bits |= PushSilence(m, start - position);
        }
        drifts_[static_cast<size_t>(m)].StartRun();
    }
    const int samples = block->Samples();
    const int64_t correction = FollowClock(m, *block);
    if (correction > 0) bits |= PushRepeat(m, *block, correction);
    if (skip == 0) return bits | PushPlaced(m, block);
    if (skip < samples) {  // drop the overlapping start
        const auto dropped = static_cast<size_t>(skip) * static_cast<size_t>(in.bytes_per_frame);
        std::memmove(block->frame->data[0], block->frame->data[0] + dropped,
                     static_cast<size_t>(samples) * static_cast<size_t>(in.bytes_per_frame) - dropped);
        block->frame->nb_samples = samples - static_cast<int>(skip);
        skip = 0;
        return bits | PushPlaced(m, block);
    }
    skip -= samples;
    in.GiveBack(block);
    return bits;
}

// Compares where the run's sample count puts the end of the block with where its capture time puts it
// and returns the correction to make before the block (> 0: samples to repeat). Samples to drop are
// added to the skip count, so they come off the start of this block and, if need be, the next ones.
int64_t CAudio::FollowClock(int m, const AudioBlock& block) {
    int64_t& skip = skips_[static_cast<size_t>(m)];
    const int64_t placed = block.Samples() - skip;
    if (placed <= 0) return 0;  // the block falls into an overlap: it is not placed
    const int64_t end = positions_[static_cast<size_t>(m)] + placed;
    const int64_t correction =
        drifts_[static_cast<size_t>(m)].Observe(InputPosition(m, block.capture_time) - end, placed);
    corrections_[static_cast<size_t>(m)] += correction;
    if (correction < 0) skip -= correction;
    return correction;
}

uint32_t CAudio::PushPlaced(int m, AudioBlock* block) {
    int64_t& position = positions_[static_cast<size_t>(m)];
    const int64_t start = position;
    position += block->Samples();
    return mixer_.Push(m, block, start);
}

uint32_t CAudio::PushSilence(int m, int64_t samples) {
    AudioInput& in = inputs_[static_cast<size_t>(m)];
    uint32_t bits = 0;
    while (samples > 0) {
        const int n = static_cast<int>(std::min<int64_t>(samples, in.buffer_frames));
        AudioBlock* block = in.TakeFreeBlock(m);
        if (!block) return bits | kPushError;
        block->frame->nb_samples = n;
        av_samples_set_silence(block->frame->data, 0, n, in.channels, in.sample_format);
        bits |= PushPlaced(m, block);
        samples -= n;
    }
    return bits;
}

// Moves the run later by repeating the start of the block (a short stretch of the same sound is less
// audible than a gap); a correction longer than the block is silence.
uint32_t CAudio::PushRepeat(int m, const AudioBlock& block, int64_t samples) {
    if (samples > block.Samples()) return PushSilence(m, samples);
    AudioInput& in = inputs_[static_cast<size_t>(m)];
    AudioBlock* copy = in.TakeFreeBlock(m);
    if (!copy) return kPushError;
    copy->frame->nb_samples = static_cast<int>(samples);
    std::memcpy(copy->frame->data[0], block.frame->data[0],
                static_cast<size_t>(samples) * static_cast<size_t>(in.bytes_per_frame));
    return PushPlaced(m, copy);
}

}  // namespace vexa::engine
