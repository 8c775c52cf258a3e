// RecordingRun: one start of the record page, carried out on its recording thread. The thread first
// waits for the previous start's thread (whose stop sequence may still be finishing a file), then
// prepares the session into the page's slot, waits for the count-down, starts the session, waits
// for the stop request, and deletes the session: the stop sequence that finishes the file. A
// recording that ends by itself (its file cannot grow, or was deleted) is reported and then waits for
// the page's stop like any other; a failure only the stop finds is reported after it. Only a whole
// recording is logged as finished. The thread never touches a window: it tells the page what happened through
// the Report callback, which must only post.
//
// Ownership: the page owns the run of its current start; a new run owns the previous one until its
// thread has waited for it. The destructor requests the stop and waits for the thread, so a thread
// still waiting for the count-down is released at once (and starts nothing).
// Threads: the constructor, Launch, CountDownDone, RequestStop and the destructor on the owner's thread (the
// user interface); Failure and Path on any thread; Report on the recording thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/recording.h"
#include "engine/session_slot.h"
#include "platform/error.h"
#include "platform/sync/spin_lock.h"
#include "platform/sync/waitable.h"
#include "platform/sync/worker_thread.h"

namespace vexa::ui {

enum class RunEvent : int {
    kStarted = 1,    // the session runs: the page shows it as recording
    kPrepareFailed,  // Failure() says why; nothing was started
    kStartFailed,    // Failure() says why; the session is being deleted
    kEndedItself,    // the recording stopped by itself; Failure() says why; the page stops it
    kFailedAtStop,   // the stop found the recording failed (its file gone); Failure() says why
};

class RecordingRun {
  public:
    using Report = std::function<void(RunEvent event)>;

    // `previous` is the run of the start before, which the new thread waits for first.
    RecordingRun(engine::RecordingRequest request, engine::SessionSlot& slot,
                 std::unique_ptr<RecordingRun> previous, Report report);
    // Starts the recording thread. Fails when the system cannot create it; the previous run is then
    // waited for when this one goes.
    [[nodiscard]] Error Launch();
    ~RecordingRun();
    RecordingRun(const RecordingRun&) = delete;
    RecordingRun& operator=(const RecordingRun&) = delete;

    // The count-down is over (or there is none): the thread may start the session.
    void CountDownDone();
    // Stop: a running session is deleted; one not started yet is never started.
    void RequestStop();

    // Why preparing, starting or recording failed; ok until something did.
    [[nodiscard]] Error Failure() const;
    // The output file once prepared (the name written once started), else empty.
    [[nodiscard]] std::string Path() const;
    // After kPrepareFailed: the rows of sound devices that are not connected (any thread).
    [[nodiscard]] std::vector<const void*> UnconnectedSoundRows() const;

  private:
    void Body();
    // Until the count-down is over or a stop is requested; true for the count-down.
    [[nodiscard]] bool WaitForCountDown();
    // Until a stop is requested, reporting a recording that ends by itself on the way; true when it did.
    [[nodiscard]] bool WaitForStop(engine::CCapture& session);
    // Deletes the started session and judges what it left.
    void StopAndJudge(bool failure_reported);
    void Fail(RunEvent event, const Error& cause, const char* context);
    void Wait(platform::Waitable& also, bool* also_signalled);

    engine::SessionSlot& slot_;
    const Report report_;
    std::atomic<bool> count_down_done_{false};
    std::atomic<bool> stop_requested_{false};
    platform::Event wake_;  // set with either flag

    // Recording thread:
    engine::RecordingRequest request_;
    std::unique_ptr<RecordingRun> previous_;

    mutable platform::SpinLock result_lock_;
    Error failure_ GUARDED_BY(result_lock_);
    std::string path_ GUARDED_BY(result_lock_);
    std::vector<const void*> unconnected_rows_ GUARDED_BY(result_lock_);

    platform::WorkerThread thread_;  // last: joined before the rest goes
};

}  // namespace vexa::ui
