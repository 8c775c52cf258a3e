#include "engine/capture.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "engine/video_encoder.h"
#include "platform/av_error.h"
#include "platform/log/log.h"

namespace vexa::engine {
namespace {

// 100-nanosecond units.
constexpr int64_t kMs = 10'000;
// Capture threads wake at once from the stop's gate releases and end within a grab or a device read.
// One still running after this long is stuck (in the X server, the sound server or a driver).
constexpr std::chrono::milliseconds kCaptureStopPatience{2000};

const char* KindName(const StreamEntry& entry) {
    if (!entry.source) return "unknown";
    switch (entry.source->Kind()) {
        case SourceKind::kScreen:
            return "screen";
        case SourceKind::kSound:
            return "sound";
        case SourceKind::kCamera:
            return "camera";
    }
    return "unknown";
}

// Thread names show in log lines and debuggers (15 characters at most).
struct ThreadNames {
    const char* capture;
    const char* encoding;
};

ThreadNames ThreadNamesOf(SourceKind kind) {
    switch (kind) {
        case SourceKind::kScreen:
            return {"vexa-scr-cap", "vexa-scr-enc"};
        case SourceKind::kSound:
            return {"vexa-snd-cap", "vexa-snd-mix"};
        case SourceKind::kCamera:
            return {"vexa-cam-rec", "vexa-cam-enc"};
    }
    return {"vexa-capture", "vexa-encode"};
}

}  // namespace

CCapture::CCapture(platform::Clock& clock) : clock_(clock), frequency_(clock.Frequency()) {}

Result<std::unique_ptr<CCapture>> CCapture::Create(const std::string& path, platform::Clock& clock) {
    std::unique_ptr<CCapture> session(new CCapture(clock));
    AVFormatContext* format = nullptr;
    const int rc = avformat_alloc_output_context2(&format, nullptr, nullptr, path.c_str());
    if (rc < 0 || !format) return AvError(rc < 0 ? rc : AVERROR(ENOMEM), "no container format fits " + path);
    session->format_.reset(format);
    if (Error gate = session->start_gate_.CreationError("the start gate"); !gate.ok()) return gate;
    return session;
}

std::string CCapture::Path() const {
    return format_ && format_->url ? format_->url : "";
}

bool CCapture::OutputWantsGlobalHeader() const {
    return format_ && (format_->oformat->flags & AVFMT_GLOBALHEADER);
}

Result<StreamEntry*> CCapture::NewStreamEntry(CodecContextPtr encoder, AVRational time_base) {
    const std::string what = std::string("cannot add the ") + encoder->codec->name + " stream to " + Path();
    auto* entry = new (std::nothrow) StreamEntry;
    if (!entry) return AvError(AVERROR(ENOMEM), what);
    entry->owner = this;
    entry->encoder = std::move(encoder);
    streams_.PushBack(entry);

    AVStream* stream = avformat_new_stream(format_.get(), entry->encoder->codec);
    if (!stream) return AvError(AVERROR(ENOMEM), what);
    stream->id = static_cast<int>(format_->nb_streams) - 1;
    stream->time_base = time_base;
    if (const int rc = avcodec_parameters_from_context(stream->codecpar, entry->encoder.get()); rc < 0)
        return AvError(rc, what);
    entry->stream = stream;
    entry->encoder_event = std::make_unique<platform::Event>();
    if (Error event = entry->encoder_event->CreationError("the encoder event"); !event.ok()) return event;
    return entry;
}

Result<StreamEntry*> CCapture::NewVideoEntry(int quality_index, const BitRateTriple& rate, int fps, int width,
                                             int height) {
    VideoEncoderSettings settings;
    settings.quality_index = quality_index;
    settings.rate = &rate;
    settings.fps = fps;
    settings.width = width;
    settings.height = height;
    settings.global_header = OutputWantsGlobalHeader();
    Result<CodecContextPtr> encoder = OpenVideoEncoder(settings);
    if (!encoder.ok()) return encoder.error();
    Stats().video_encoder = (*encoder)->codec->name;
    return NewStreamEntry(std::move(encoder).value(), AVRational{1, fps});
}

Error CCapture::LaunchStream(StreamEntry* entry, std::unique_ptr<StreamSource> source) {
    if (!entry || !source) return Error(ErrorCode::kInvalidArgument, "a stream without an entry or a source");
    const ThreadNames names = ThreadNamesOf(source->Kind());
    entry->source = std::move(source);
    StreamSource* s = entry->source.get();
    if (Error e = entry->encoding_thread.Start([s] { s->EncodeLoop(); }, names.encoding); !e.ok()) return e;
    if (Error e = entry->capture_thread.Start([s] { s->CaptureLoop(); }, names.capture); !e.ok()) return e;
    ++stream_count_;
    return {};
}

Error CCapture::Start() {
    if (!(format_->oformat->flags & AVFMT_NOFILE)) {
        if (const int rc = avio_open(&format_->pb, format_->url, AVIO_FLAG_WRITE); rc < 0)
            return AvError(rc, "cannot open output file " + Path());
        flags_ |= kFileOpened;
    }
    if (const int rc = avformat_write_header(format_.get(), nullptr); rc < 0)
        return AvError(rc, "cannot write the header of " + Path());
    flags_ |= kHeaderWritten;

    writer_event_ = std::make_unique<platform::Event>();
    if (Error e = writer_event_->CreationError("the writer event"); !e.ok()) return e;
    if (Error e = writer_thread_.Start([this] { WriterLoop(); }, "vexa-writer"); !e.ok()) return e;

    // Every capture thread counts itself ready just before it blocks on the gate.
    while (ready_count_.load(std::memory_order_acquire) < stream_count_) platform::Sleep100ns(kMs);

    EndSetUp();
    start_time_ = clock_.Now();
    state_.fetch_or(kStarted, std::memory_order_acq_rel);
    // The gate releases every capture thread at once.
    if (!start_gate_.Release(static_cast<uint32_t>(stream_count_)))
        return Error::FromErrno(errno, "cannot open the start gate");
    return {};
}

void CCapture::Pause() {
    platform::PauseWriterGuard guard(pause_lock_);
    // Before the start there is no session time to freeze (the time before it would count as
    // paused): refused, as after the stop.
    if (paused_.load() || !Started() || Stopped()) return;
    pause_start_ = clock_.Now();
    paused_.store(true, std::memory_order_release);
}

void CCapture::Resume() {
    platform::PauseWriterGuard guard(pause_lock_);
    if (!paused_.load()) return;
    total_paused_ += clock_.Now() - pause_start_;
    paused_.store(false, std::memory_order_release);
}

void CCapture::SetSourceVolume(const void* row, int volume) {
    // While the set-up still adds streams, the list belongs to the recording thread: refused.
    if (!set_up_complete_.load(std::memory_order_acquire)) return;
    const float gain = static_cast<float>(std::clamp(volume, 0, 100)) / 100.0f;
    bool done = false;
    streams_.ForEach([&](StreamEntry* e) {
        if (!done && e->source) done = e->source->SetRowVolume(row, gain);
    });
}

int64_t CCapture::SessionTime(int64_t counter_now) {
    pause_lock_.LockReader();
    const int64_t base = ElapsedBase();
    if (paused_.load(std::memory_order_acquire)) {
        const int64_t frozen = pause_start_ - base;
        pause_lock_.UnlockReader();
        return frozen;
    }
    pause_lock_.UnlockReader();
    return counter_now - base;
}

int64_t CCapture::StopPosition() const {
    pause_lock_.LockReader();
    const int64_t position = stop_time_ - start_time_ - total_paused_;
    pause_lock_.UnlockReader();
    return position;
}

bool CCapture::WaitForStartGate() {
    ready_count_.fetch_add(1, std::memory_order_acq_rel);
    // Without a time-out the wait ends only with a signal or a failure; after a failure it would
    // fail again at once, so the thread ends.
    if (start_gate_.Wait() != platform::WaitResult::kSignaled) {
        log::Write(log::Level::kError, "capture thread: the wait at the start gate failed; the thread ends");
        return false;
    }
    return CaptureRunning() && Started();
}

void CCapture::SleepOnGate(int64_t timeout100ns) {
    // A gate that cannot be waited on must not turn the caller's sleeps into a busy loop.
    if (start_gate_.Wait(timeout100ns) == platform::WaitResult::kFailed) platform::Sleep100ns(timeout100ns);
}

void CCapture::QueuePacket(PacketNode* node) {
    {
        platform::SpinGuard guard(queue_lock_);
        packet_queue_.PushBack(node);
    }
    if (writer_event_) writer_event_->Set();
}

void CCapture::WriterLoop() {
    PacketPool& pool = PacketPool::Instance();
    for (;;) {
        (void)writer_event_->Wait();
        PacketList local;
        {
            platform::SpinGuard guard(queue_lock_);
            if (packet_queue_.Empty()) {
                if (!writer_running_.load(std::memory_order_acquire)) break;
                continue;
            }
            local.Splice(packet_queue_);
        }
        while (PacketNode* node = local.PopFront()) {
            const int size = node->packet->size;
            if (const int rc = av_interleaved_write_frame(format_.get(), node->packet); rc < 0) {
                // The packet is dropped and the file goes on; the first failure tells the log why.
                if (stats_->write_errors.fetch_add(1) == 0)
                    log::Failure(AvError(rc, "cannot write to " + Path()));
            } else {
                stats_->packets_written.fetch_add(1);
                stats_->bytes_written.fetch_add(static_cast<uint64_t>(size));
            }
            pool.Give(node);
        }
    }
}

// Waits for the capture threads for a while in all. A thread still running then is logged and left
// running: the stop goes on and finishes the file, and AwaitStuckCaptureThreads waits for it before
// anything it can reach (its source, entry, the session) is freed.
void CCapture::StopCapture() {
    capture_running_.store(false, std::memory_order_release);
    const auto wakeups = static_cast<uint32_t>(4 * std::max<size_t>(stream_count_, streams_.Size()));
    (void)start_gate_.Release(wakeups);
    using std::chrono::steady_clock;
    const steady_clock::time_point deadline = steady_clock::now() + kCaptureStopPatience;
    streams_.ForEach([&](StreamEntry* e) {
        while (!e->capture_thread.WaitFor(100 * kMs)) {
            if (steady_clock::now() < deadline) continue;
            log::Writef(
                log::Level::kError,
                "stop: the %s capture thread has not ended after %lld ms; the file is finished without it",
                KindName(*e), static_cast<long long>(kCaptureStopPatience.count()));
            return;
        }
    });
}

void CCapture::AwaitStuckCaptureThreads() {
    streams_.ForEach([](StreamEntry* e) {
        if (!e->capture_thread.Running()) return;
        log::Writef(log::Level::kWarning,
                    "stop: waiting for the stuck %s capture thread before freeing its stream", KindName(*e));
        e->capture_thread.Join();
        log::Writef(log::Level::kInfo, "stop: the stuck %s capture thread has ended", KindName(*e));
    });
}

void CCapture::StopEncoders() {
    encode_running_.store(false, std::memory_order_release);
    streams_.ForEach([](StreamEntry* e) {
        if (!e->encoding_thread.Running()) return;
        do {
            e->encoder_event->Set();
        } while (!e->encoding_thread.WaitFor(100 * kMs));
    });
}

void CCapture::StopWriter() {
    if (!writer_thread_.Running()) return;
    writer_running_.store(false, std::memory_order_release);
    do {
        writer_event_->Set();
    } while (!writer_thread_.WaitFor(500 * kMs));
}

void CCapture::FreeEntries() {
    while (StreamEntry* entry = streams_.PopFront()) {
        if (entry->source) {
            entry->source->Detach();
            entry->source.reset();
        }
        entry->encoder.reset();
        delete entry;
    }
}

CCapture::~CCapture() {
    if (!Stopped()) {
        Resume();  // a pause in progress counts as paused time
        {
            platform::PauseWriterGuard guard(pause_lock_);
            stop_time_ = clock_.Now();
        }
        state_.fetch_or(kStopped, std::memory_order_acq_rel);
    }
    StopCapture();
    StopEncoders();
    StopWriter();
    // A file that never got its header failed at the start, and the caller reported that.
    const bool finishing = flags_ & kHeaderWritten;
    if (finishing) {
        if (const int rc = av_write_trailer(format_.get()); rc < 0)
            log::Failure(AvError(rc, "cannot finish " + Path()));
    }
    if ((flags_ & kFileOpened) && !(format_->oformat->flags & AVFMT_NOFILE)) {
        const int rc = avio_closep(&format_->pb);
        if (rc < 0 && finishing) log::Failure(AvError(rc, "cannot close " + Path()));
    }
    AwaitStuckCaptureThreads();
    FreeEntries();
    // Packets queued after the writer left (none on a normal stop) go back to the pool.
    platform::SpinGuard guard(queue_lock_);
    PacketPool::Instance().GiveAll(packet_queue_);
}

}  // namespace vexa::engine
