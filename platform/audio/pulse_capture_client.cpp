#include "platform/audio/pulse_capture_client.h"

#include <algorithm>

#include "platform/audio/pulse_format.h"
#include "platform/audio/sample_gain.h"

namespace vexa::platform {

PulseCaptureClient::PulseCaptureClient(std::shared_ptr<PulseConnection> connection, std::string source,
                                       AudioFormat native)
    : connection_(std::move(connection)), source_(std::move(source)), native_(native) {}

PulseCaptureClient::~PulseCaptureClient() {
    if (!stream_) return;
    MainloopLock lock(*connection_);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_overflow_callback(stream_, nullptr, nullptr);
    pa_stream_set_suspended_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
}

FormatAnswer PulseCaptureClient::IsFormatSupported(const AudioFormat& format) {
    return format == native_ ? FormatAnswer::kAccepted : FormatAnswer::kRefused;
}

void PulseCaptureClient::OnRead(pa_stream*, size_t, void* self) {
    auto* client = static_cast<PulseCaptureClient*>(self);
    if (client->event_) client->event_->Set();
}

void PulseCaptureClient::OnState(pa_stream* stream, void* self) {
    auto* client = static_cast<PulseCaptureClient*>(self);
    // A lost server fails every stream too.
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        client->ended_.store(true, std::memory_order_release);
    client->connection_->Signal();
    if (client->event_) client->event_->Set();  // a failed stream is noticed at the next read
}

void PulseCaptureClient::OnOverflow(pa_stream*, void* self) {
    static_cast<PulseCaptureClient*>(self)->discontinuous_.store(true, std::memory_order_release);
}

// A suspended device (a speaker that plays nothing) delivers nothing; what comes after it starts a new
// run at the clock.
void PulseCaptureClient::OnSuspended(pa_stream*, void* self) {
    static_cast<PulseCaptureClient*>(self)->discontinuous_.store(true, std::memory_order_release);
}

Error PulseCaptureClient::Initialize(const AudioFormat& format, int64_t buffer_duration100ns, Event* event) {
    const std::string what = "cannot record from '" + source_ + "'";
    if (stream_) return Error(ErrorCode::kInvalidArgument, what + ": the stream is already open");
    const std::optional<pa_sample_spec> spec = SampleSpecOf(format);
    if (!spec) return Error(ErrorCode::kUnsupported, what + ": the sound server has no such sample format");
    if (!event) return Error(ErrorCode::kInvalidArgument, what + ": no event to signal");
    const pa_channel_map map = ChannelMapOf(format);

    MainloopLock lock(*connection_);
    if (!connection_->Alive()) return connection_->LastError(what);
    pa_stream* stream = pa_stream_new(connection_->Context(), "Sound capture", &*spec, &map);
    if (!stream) return connection_->LastError(what);
    format_ = format;
    event_ = event;
    stream_ = stream;
    pa_stream_set_state_callback(stream, &OnState, this);
    pa_stream_set_read_callback(stream, &OnRead, this);
    pa_stream_set_overflow_callback(stream, &OnOverflow, this);
    pa_stream_set_suspended_callback(stream, &OnSuspended, this);

    const int64_t bytes =
        std::max<int64_t>(format.BlockAlign(), buffer_duration100ns * format.BytesPerSecond() / 10'000'000);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(bytes - bytes % format.BlockAlign());
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED |
                                                      PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(stream, source_.c_str(), &attr, flags) < 0)
        return connection_->LastError(what);
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY) break;
        if (!PA_STREAM_IS_GOOD(state) || !connection_->Alive()) return connection_->LastError(what);
        connection_->Wait();
    }
    const pa_buffer_attr* actual = pa_stream_get_buffer_attr(stream);
    const uint32_t fragment = actual ? actual->fragsize : attr.fragsize;
    buffer_frames_ = std::max<uint32_t>(1, fragment / static_cast<uint32_t>(format.BlockAlign()));
    return {};
}

Error PulseCaptureClient::Start() {
    const std::string what = "cannot start recording from '" + source_ + "'";
    if (!stream_) return Error(ErrorCode::kInvalidArgument, what + ": the stream is not open");
    MainloopLock lock(*connection_);
    auto done = [](pa_stream*, int, void* self) {
        static_cast<PulseCaptureClient*>(self)->connection_->Signal();
    };
    if (!connection_->Await(pa_stream_cork(stream_, 0, done, this))) return connection_->LastError(what);
    return {};
}

bool PulseCaptureClient::ReadPacket(AudioPacket* packet) {
    if (!stream_) return false;
    MainloopLock lock(*connection_);
    const auto block = static_cast<size_t>(format_.BlockAlign());
    for (;;) {
        if (pa_stream_get_state(stream_) != PA_STREAM_READY) return false;
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream_, &data, &bytes) < 0 || bytes == 0) return false;
        const size_t frames = bytes / block;
        if (frames == 0) {  // never expected: record fragments hold whole frames
            pa_stream_drop(stream_);
            continue;
        }
        peeked_ = true;
        packet->frames = static_cast<uint32_t>(frames);
        packet->flags = discontinuous_.exchange(false, std::memory_order_acq_rel) ? kPacketDiscontinuity : 0;
        if (!data) {  // a hole: the samples are silence
            packet->flags |= kPacketSilent;
            packet->data = nullptr;
            return true;
        }
        packet->data = static_cast<const uint8_t*>(data);
        const float gain = gain_.load(std::memory_order_acquire);
        if (gain != 1.0f) {
            scaled_.resize(frames * block);
            ScaleSamples(format_, packet->data, scaled_.data(), packet->frames, gain);
            packet->data = scaled_.data();
        }
        return true;
    }
}

// Asked after every read: the flag spares the server's lock while the stream runs.
Error PulseCaptureClient::Failure() {
    if (!stream_ || !ended_.load(std::memory_order_acquire)) return {};
    MainloopLock lock(*connection_);
    if (!connection_->Alive()) return connection_->LastError("the sound server went away");
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    if (PA_STREAM_IS_GOOD(state)) return {};
    return Error(ErrorCode::kNotFound, "'" + source_ + "' was removed or stopped by the sound server");
}

void PulseCaptureClient::ReleasePacket() {
    if (!peeked_) return;
    peeked_ = false;
    MainloopLock lock(*connection_);
    pa_stream_drop(stream_);
}

bool PulseCaptureClient::SetVolume(float gain) {
    gain_.store(std::max(gain, 0.0f), std::memory_order_release);
    return true;
}

}  // namespace vexa::platform
