// CCapture: one recording session. It owns the output file's format context, one StreamEntry per
// elementary stream (screen or camera video, mixed sound), each stream's capture and encoding
// threads, the writer thread that interleaves packets into the file, and the session clock.
//
// Life: Create → Add*Stream (threads start and block on the start gate) → Start (file, header,
// writer, gate opens) → Pause/Resume any number of times → destruction, which is the whole stop
// sequence (capture ends, encoders flush, writer drains, trailer, close).
//
// Failures come back as Errors that name what failed and why; the caller reports and logs them.
// Threads: Create, Add*Stream, EndSetUp, Start and the destructor run on the recording thread. Pause,
// Resume, SetSourceVolume and NotifyDisplayChange are called by the user-interface thread under the
// record page's session-slot lock (screen sources call NotifyDisplayChange too). Everything sources
// call (WaitForStartGate, SessionTime, QueuePacket, the running flags, SleepOnGate) is safe from
// their own threads.
//
// The file is written as fragmented MP4 (M4A): a header any player reads, then fragments of at most
// half a second, pushed to the disk once a second, so a killed process, a crash or a power cut loses
// about a second at most. The normal stop rewrites it as a regular MP4 with one index, as editors
// expect (the fragmented file stays when that fails). A file that can no longer be written (disk
// full, quota, I/O error) ends the recording by itself: the writer keeps the cause, drops what still
// arrives and sets FailureEvent(); whoever runs the recording waits on that event beside its own
// stop request, stops the session as the user would, and shows FailureStop().
//
// The stop waits a while for each capture thread. One that is stuck (in the X server, the sound
// server, a driver) is logged and left running while the encoders, the writer and the trailer finish
// the file; the destructor then waits for it before freeing its stream, so it never touches freed
// memory.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/ffmpeg_ptr.h"
#include "engine/intrusive_list.h"
#include "engine/output_file.h"
#include "engine/packet_pool.h"
#include "engine/recording_params.h"
#include "engine/session_stats.h"
#include "engine/stream_source.h"
#include "platform/error.h"
#include "platform/screen/screen_backend.h"
#include "platform/sync/pause_lock.h"
#include "platform/sync/spin_lock.h"
#include "platform/sync/waitable.h"
#include "platform/sync/worker_thread.h"
#include "platform/time/clock.h"

namespace vexa::platform {
class AudioSystem;  // sound (platform/audio/audio_system.h)
}  // namespace vexa::platform

namespace vexa::engine {

class CCapture;

// One output stream. Heap-allocated, owned by the session's stream list, freed by its destructor.
struct StreamEntry : ListLink {
    CCapture* owner = nullptr;
    std::unique_ptr<StreamSource> source;  // the screen, sound or camera source
    AVStream* stream = nullptr;            // owned by the format context
    CodecContextPtr encoder;
    platform::WorkerThread capture_thread;
    std::unique_ptr<platform::Event> encoder_event;
    platform::WorkerThread encoding_thread;
};

class CCapture {
  public:
    // Builds a session for the output path (the container follows from the extension). Fails when no
    // container fits the name or the start gate cannot be made. The clock is the system clock unless
    // a test gives its own.
    [[nodiscard]] static Result<std::unique_ptr<CCapture>> Create(
        const std::string& path, platform::Clock& clock = platform::SystemClock());
    virtual ~CCapture();  // the stop sequence
    CCapture(const CCapture&) = delete;
    CCapture& operator=(const CCapture&) = delete;

    // --- stream set-up (recording thread); each fails with the reason ---
    // Screen stream. rect is the capture rectangle with right and bottom exclusive. The backend is
    // the X11 screen unless one is given (tests give a fake).
    [[nodiscard]] Error AddScreenStream(int quality_index, const BitRateTriple& rate, int fps,
                                        bool show_cursor, const CaptureRect& rect,
                                        std::unique_ptr<platform::ScreenBackend> backend = nullptr);
    // Screen streams added after this call write one picture per frame period (a constant frame
    // rate, for video editors) instead of a picture only when the screen changed.
    void SetConstantFrameRate(bool on) { constant_frame_rate_ = on; }
    [[nodiscard]] bool ConstantFrameRate() const { return constant_frame_rate_; }
    // Mixed sound of the entries (ended by a zero entry), encoded by the named encoder.
    [[nodiscard]] Error AddAudioStream(const char* encoder_name, const BitRateTriple& rate,
                                       const SoundSourceEntry* sources);
    // --- sound (engine/audio) ---
    // The same with the devices of the given sound system (tests give a scripted one).
    [[nodiscard]] Error AddAudioStream(const char* encoder_name, const BitRateTriple& rate,
                                       const SoundSourceEntry* sources, platform::AudioSystem& system);
    // Counts the caller as ready without blocking: the sound capture thread then waits for the gate
    // together with its devices' events (StartGate()).
    void CountReady() { ready_count_.fetch_add(1, std::memory_order_acq_rel); }
    // --- end of sound ---

    // Camera video; the entry takes a reference of its own on the camera.
    [[nodiscard]] Error AddCameraStream(int quality_index, const BitRateTriple& rate, class CCamera* camera);

    // Creates the entry for an opened encoder: appends it to the list, creates its container stream
    // with the given time base (parameters copied from the encoder) and its encoder event. On
    // failure the entry, if made, stays in the list and the destructor frees it.
    [[nodiscard]] Result<StreamEntry*> NewStreamEntry(CodecContextPtr encoder, AVRational time_base);
    // Opens the H.264 encoder for a picture size and frame rate and creates its entry with a 1/fps
    // stream. Fails when no encoder opens (every candidate's reason) or the entry cannot be made.
    [[nodiscard]] Result<StreamEntry*> NewVideoEntry(int quality_index, const BitRateTriple& rate, int fps,
                                                     int width, int height);
    // Hands the source to the entry, starts the encoding thread and then the capture thread, and
    // counts the stream. On failure the destructor cleans up.
    [[nodiscard]] Error LaunchStream(StreamEntry* entry, std::unique_ptr<StreamSource> source);

    // Marks the stream list complete (the mode set-up has added every stream); Start implies it.
    void EndSetUp() { set_up_complete_.store(true, std::memory_order_release); }

    // --- run (recording thread) ---
    // Opens the file, writes the header, starts the writer and opens the gate. Fails with
    // "cannot open output file /x/y.mp4: No space left on device" and the like.
    [[nodiscard]] Error Start();
    // Refused (nothing happens) before Start and after the stop.
    void Pause();
    void Resume();
    // Ends the recorded time now: a pause in progress counts as paused up to here, the stop time is
    // taken and the stopped bit set; once (later calls and the destructor's own stop change
    // nothing). Whoever stops a recording calls it at the stop request, so the file ends at the
    // request, not when the slower stop sequence runs.
    void MarkStopped();
    // Refused (nothing happens) until the set-up is complete: the stream list may still grow.
    void SetSourceVolume(const void* row, int volume);

    // --- for sources ---
    // Counts the caller as ready and blocks until the gate opens. False when the session is being
    // torn down instead (capture running is false): the caller leaves at once.
    [[nodiscard]] bool WaitForStartGate();
    // Sleeps up to timeout100ns on the start gate; the stop sequence's releases cut it short.
    void SleepOnGate(int64_t timeout100ns);
    [[nodiscard]] platform::Semaphore& StartGate() { return start_gate_; }
    // Session time for a counter value: ticks since start less paused ticks, frozen while paused.
    [[nodiscard]] int64_t SessionTime(int64_t counter_now);
    [[nodiscard]] int64_t SessionTimeNow() { return SessionTime(clock_.Now()); }
    // stop time − start time − total paused: the last session time that may be encoded.
    [[nodiscard]] int64_t StopPosition() const;
    void QueuePacket(PacketNode* node);

    [[nodiscard]] bool CaptureRunning() const { return capture_running_.load(std::memory_order_acquire); }
    [[nodiscard]] bool EncodeRunning() const { return encode_running_.load(std::memory_order_acquire); }
    [[nodiscard]] bool Paused() const { return paused_.load(std::memory_order_acquire); }
    [[nodiscard]] bool Started() const { return state_.load(std::memory_order_acquire) & kStarted; }
    [[nodiscard]] bool Stopped() const { return state_.load(std::memory_order_acquire) & kStopped; }
    [[nodiscard]] platform::Clock& Clock() const { return clock_; }
    [[nodiscard]] int64_t Frequency() const { return frequency_; }
    [[nodiscard]] AVFormatContext* FormatContext() const { return format_.get(); }
    // The output file's path.
    [[nodiscard]] std::string Path() const;
    [[nodiscard]] bool OutputWantsGlobalHeader() const;
    [[nodiscard]] int StreamCount() const { return stream_count_; }

    // Bumped when the display configuration changes: by the user-interface thread on the desktop's
    // notification, and by a screen source whose backend saw the change. Each change makes the screen
    // source choose its method and crop again.
    void NotifyDisplayChange() { display_changes_.fetch_add(1, std::memory_order_acq_rel); }
    [[nodiscard]] uint16_t DisplayChanges() const { return display_changes_.load(std::memory_order_acquire); }

    // --- a recording that ends itself (any thread) ---
    // Set once when the file cannot be written any more. Auto-reset: one waiter consumes it, so
    // pollers read FailureStop() instead.
    [[nodiscard]] platform::Event& FailureEvent() { return failure_event_; }
    // Why the recording ended itself ("cannot write to /a/b.mp4: No space left on device"), or ok.
    // Also kept in Stats().failure, which outlives the session (a trailer that cannot be written
    // during the stop lands there).
    [[nodiscard]] Error FailureStop() const { return stats_->failure.Get(); }

    // Counters of this recording; the shared pointer outlives the session.
    [[nodiscard]] SessionStats& Stats() { return *stats_; }
    [[nodiscard]] std::shared_ptr<SessionStats> SharedStats() const { return stats_; }

  private:
    explicit CCapture(platform::Clock& clock);
    void WriterLoop();
    [[nodiscard]] Error OpenOutput();
    void WritePacket(PacketNode* node);
    void SyncOutput();
    // The file's own failure behind a failed muxer call, or ok when the file is fine.
    [[nodiscard]] Error FileError(int averror) const;
    // Keeps the first failure, logs it and sets the failure event.
    void FailureStopWith(const Error& cause);
    void FinishFile();
    [[nodiscard]] int64_t ElapsedBase() REQUIRES_SHARED(pause_lock_) { return start_time_ + total_paused_; }
    void StopCapture();
    void AwaitStuckCaptureThreads();
    void StopEncoders();
    void StopWriter();
    void FreeEntries();

    static constexpr uint32_t kFileOpened = 1, kHeaderWritten = 2;
    static constexpr uint8_t kStarted = 1, kStopped = 2;

    uint32_t flags_ = 0;
    int stream_count_ = 0;
    bool constant_frame_rate_ = false;  // set up before the threads start
    IntrusiveList<StreamEntry> streams_;
    FormatContextPtr format_;
    std::unique_ptr<OutputFile> output_;  // the file (recording thread; the writer between start and stop)
    bool fragmented_ = false;             // set by Start
    // Writer thread (the recording thread once the writer has ended):
    bool file_failed_ = false;     // the file cannot be written any more
    bool packet_refused_ = false;  // the muxer refused a packet (logged once)
    bool unsynced_ = false;        // written since the last sync
    std::chrono::steady_clock::time_point last_sync_;
    platform::WorkerThread writer_thread_;
    std::atomic<bool> writer_running_{true};
    std::atomic<uint8_t> state_{0};
    std::atomic<int> ready_count_{0};
    platform::Semaphore start_gate_;
    std::atomic<bool> capture_running_{true};
    std::atomic<bool> encode_running_{true};
    std::atomic<uint16_t> display_changes_{0};
    std::atomic<bool> set_up_complete_{false};
    platform::SpinLock queue_lock_;
    PacketList packet_queue_ GUARDED_BY(queue_lock_);
    std::unique_ptr<platform::Event> writer_event_;
    platform::Clock& clock_;
    int64_t start_time_ = 0;
    int64_t frequency_ = 0;
    int64_t stop_time_ = 0;
    mutable platform::PauseLock pause_lock_;  // readers include const StopPosition
    std::atomic<bool> paused_{false};
    int64_t total_paused_ GUARDED_BY(pause_lock_) = 0;
    int64_t pause_start_ GUARDED_BY(pause_lock_) = 0;
    std::shared_ptr<SessionStats> stats_ = std::make_shared<SessionStats>();
    platform::Event failure_event_;
};

}  // namespace vexa::engine
