#include "engine/capture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "engine/regular_mp4.h"
#include "engine/video_encoder.h"
#include "platform/av_error.h"
#include "platform/log/log.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

namespace vexa::engine {
namespace {

// 100-nanosecond units.
constexpr int64_t kMs = 10'000;
// Capture threads wake at once from the stop's gate releases and end within a grab or a device read.
// One still running after this long is stuck (in the X server, the sound server or a driver).
constexpr std::chrono::milliseconds kCaptureStopPatience{2000};
// Fragments of at most half a second: with the encoders' own delay a crash loses about a second.
constexpr int64_t kFragmentMicroseconds = 500'000;
// What was written is pushed to the disk this often (and the writer wakes this often to do it).
constexpr std::chrono::milliseconds kSyncInterval{1000};
// Names tried for a file whose name is taken: "<time>_2.mp4" up to "<time>_999.mp4".
constexpr int kMaxNumberedNames = 999;

// Options of a muxer that can write fragments (MP4, M4A): the header waits for the first fragment,
// then one fragment at a time. Waiting lets the header describe what only the first packets tell:
// the AC-3 stream of the M4A, and the sound encoder's start-up delay as an edit list, so that picture
// and sound start together at 0 (without it the muxer would shift every stream by that delay).
// None for other containers. A constant-rate recording counts its header's times in 1/6000 s, a whole
// number of every offered frame period: the track's length (in the edit list) is then exactly its
// pictures' and a reader does not cut the last picture short to a whole millisecond.
AVDictionary* FragmentOptions(AVFormatContext* format, bool constant_frame_rate) {
    if (!format->priv_data || !av_opt_find(format->priv_data, "frag_duration", nullptr, 0, 0)) return nullptr;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+empty_moov+delay_moov+default_base_moof", 0);
    av_dict_set_int(&options, "frag_duration", kFragmentMicroseconds, 0);
    if (constant_frame_rate) av_dict_set_int(&options, "movie_timescale", 6000, 0);
    return options;
}

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

// The file is a new one under the first free name: two recordings started in the same second get
// "<time>.mp4" and "<time>_2.mp4".
Error CCapture::OpenOutput() {
    if (format_->oformat->flags & AVFMT_NOFILE) return {};
    const std::string asked = Path();
    Result<std::unique_ptr<OutputFile>> file = Error::FromErrno(EEXIST, "cannot open output file " + asked);
    for (int n = 1; n <= kMaxNumberedNames; ++n) {
        const std::string name = NumberedPath(asked, n);
        file = OutputFile::Open(name);
        if (file.ok() || file.error().native_code() != EEXIST) break;
    }
    if (!file.ok()) return file.error();
    if ((*file)->Path() != asked) {
        av_freep(&format_->url);
        format_->url = av_strdup((*file)->Path().c_str());
        if (!format_->url) return Error::FromErrno(ENOMEM, "cannot open output file " + (*file)->Path());
        log::Writef(log::Level::kInfo, "%s exists; the recording goes to %s", asked.c_str(), Path().c_str());
    }
    output_ = std::move(file).value();
    format_->pb = output_->Context();
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    flags_ |= kFileOpened;
    return {};
}

Error CCapture::Start() {
    if (Error e = OpenOutput(); !e.ok()) return e;
    AVDictionary* options = FragmentOptions(format_.get(), constant_frame_rate_);
    fragmented_ = options != nullptr;
    int rc = avformat_write_header(format_.get(), &options);
    av_dict_free(&options);
    // What the header wrote goes to the file at once, and a header that waits for the first fragment
    // tries the disk with a byte: a disk that is full already fails the start.
    if (rc >= 0 && format_->pb) {
        avio_flush(format_->pb);
        rc = format_->pb->error;
    }
    if (rc < 0) return AvError(rc, "cannot write the header of " + Path());
    if (output_ && avio_tell(format_->pb) == 0) {
        if (Error room = output_->ProbeRoom("cannot write the header of " + Path()); !room.ok()) return room;
    }
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

void CCapture::MarkStopped() {
    platform::PauseWriterGuard guard(pause_lock_);
    if (Stopped()) return;
    const int64_t now = clock_.Now();
    if (paused_.load()) {  // a pause in progress counts as paused time
        total_paused_ += now - pause_start_;
        paused_.store(false, std::memory_order_release);
    }
    stop_time_ = now;
    state_.fetch_or(kStopped, std::memory_order_acq_rel);
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
    constexpr int64_t kSyncWait =
        std::chrono::duration_cast<std::chrono::microseconds>(kSyncInterval).count() * 10;
    last_sync_ = std::chrono::steady_clock::now();
    for (;;) {
        // A timed wait, so that the last written fragment reaches the disk even when nothing follows.
        (void)writer_event_->Wait(kSyncWait);
        PacketList local;
        {
            platform::SpinGuard guard(queue_lock_);
            if (packet_queue_.Empty() && !writer_running_.load(std::memory_order_acquire)) break;
            local.Splice(packet_queue_);
        }
        while (PacketNode* node = local.PopFront()) {
            WritePacket(node);
            pool.Give(node);
        }
        if (std::chrono::steady_clock::now() - last_sync_ >= kSyncInterval) SyncOutput();
    }
}

void CCapture::WritePacket(PacketNode* node) {
    if (file_failed_) {  // the recording is ending: what still arrives is dropped
        stats_->write_errors.fetch_add(1);
        return;
    }
    const int size = node->packet->size;
    // A fragment keeps each stream's packets apart, so a packet goes to the muxer as it comes: no
    // stream waits for a slower one (or one that stopped), and a crash costs each stream only its own
    // last fragment. The finishing copy interleaves the regular file; other containers interleave here.
    const int rc = fragmented_ ? av_write_frame(format_.get(), node->packet)
                               : av_interleaved_write_frame(format_.get(), node->packet);
    if (rc >= 0) {
        stats_->packets_written.fetch_add(1);
        stats_->bytes_written.fetch_add(static_cast<uint64_t>(size));
        unsynced_ = true;
        return;
    }
    stats_->write_errors.fetch_add(1);
    if (Error file = FileError(rc); !file.ok()) {
        FailureStopWith(file);
        return;
    }
    // The muxer refused this packet alone (a time stamp out of order): it is dropped and the file
    // goes on; the first such packet tells the log why.
    if (!packet_refused_) log::Failure(AvError(rc, "cannot write a packet to " + Path()));
    packet_refused_ = true;
}

Error CCapture::FileError(int averror) const {
    if (output_ && !output_->FirstError().ok()) return output_->FirstError();
    if (format_->pb && format_->pb->error < 0) return AvError(averror, "cannot write to " + Path());
    return {};
}

void CCapture::SyncOutput() {
    last_sync_ = std::chrono::steady_clock::now();
    if (!output_ || file_failed_ || !unsynced_) return;
    unsynced_ = false;
    stats_->syncs.fetch_add(1);
    if (Error e = output_->Sync(); !e.ok()) FailureStopWith(e);
}

void CCapture::FailureStopWith(const Error& cause) {
    file_failed_ = true;
    if (!stats_->failure.Keep(cause)) return;
    log::Failure(cause, "the recording stops by itself");
    failure_event_.Set();
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

// The trailer (the last fragment), the file closed and on the disk, then its finish in place as a
// regular MP4. A file that never got its header failed at the start, and the caller reported that:
// it holds no recording, so the new file this session made for it goes again.
void CCapture::FinishFile() {
    const bool finishing = flags_ & kHeaderWritten;
    if (finishing) {
        const int rc = av_write_trailer(format_.get());
        if (rc < 0 && !file_failed_) {
            const Error file = FileError(rc);
            FailureStopWith(file.ok() ? AvError(rc, "cannot finish " + Path()) : file);
        }
    }
    if (output_) {
        if (Error closed = output_->Close(); !closed.ok() && finishing) FailureStopWith(closed);
        format_->pb = nullptr;
        output_.reset();
        if (!finishing && ::unlink(Path().c_str()) != 0 && errno != ENOENT)
            log::Failure(Error::FromErrno(errno, "cannot remove " + Path()),
                         "a recording that never started");
    }
    if (!finishing || !fragmented_ || file_failed_) return;
    const auto begin = std::chrono::steady_clock::now();
    if (Error e = FinishInPlace(Path()); !e.ok()) {
        log::Failure(e, "the recording stays fragmented");
        (void)stats_->unfinished.Keep(e);
        return;
    }
    log::Writef(log::Level::kInfo, "finished %s as a regular file in %lld ms", Path().c_str(),
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - begin)
                                           .count()));
}

CCapture::~CCapture() {
    MarkStopped();
    StopCapture();
    StopEncoders();
    if (const uint64_t captured = stats_->frames_captured.load(); captured > 0) {
        log::Writef(log::Level::kInfo,
                    "stop: %llu pictures captured, %llu dropped, %llu replaced within a period",
                    static_cast<unsigned long long>(captured),
                    static_cast<unsigned long long>(stats_->frames_dropped.load()),
                    static_cast<unsigned long long>(stats_->frames_replaced.load()));
    }
    StopWriter();
    FinishFile();
    AwaitStuckCaptureThreads();
    FreeEntries();
    // Packets queued after the writer left (none on a normal stop) go back to the pool.
    platform::SpinGuard guard(queue_lock_);
    PacketPool::Instance().GiveAll(packet_queue_);
}

}  // namespace vexa::engine
