#include "ui/recording_run.h"

#include <array>
#include <chrono>
#include <thread>

#include "platform/log/log.h"

namespace vexa::ui {

RecordingRun::RecordingRun(engine::RecordingRequest request, engine::SessionSlot& slot,
                           std::unique_ptr<RecordingRun> previous, Report report)
    : slot_(slot), report_(std::move(report)), request_(std::move(request)), previous_(std::move(previous)) {}

Error RecordingRun::Launch() {
    if (Error e = wake_.CreationError("the recording thread's wake-up"); !e.ok()) return e;
    return thread_.Start([this] { Body(); }, "rec-thread");
}

RecordingRun::~RecordingRun() {
    RequestStop();
    thread_.Join();
}

void RecordingRun::CountDownDone() {
    count_down_done_.store(true, std::memory_order_release);
    wake_.Set();
}

void RecordingRun::RequestStop() {
    stop_requested_.store(true, std::memory_order_release);
    wake_.Set();
}

Error RecordingRun::Failure() const {
    platform::SpinGuard guard(result_lock_);
    return failure_;
}

std::string RecordingRun::Path() const {
    platform::SpinGuard guard(result_lock_);
    return path_;
}

std::vector<const void*> RecordingRun::UnconnectedSoundRows() const {
    platform::SpinGuard guard(result_lock_);
    return unconnected_rows_;
}

void RecordingRun::Body() {
    previous_.reset();  // the previous recording's stop sequence ends first
    Result<std::string> path = engine::Prepare(request_, slot_);
    if (!path.ok() && path.error().code() == ErrorCode::kNotFound) {
        std::vector<const void*> rows = engine::UnconnectedSoundRows(request_);
        platform::SpinGuard guard(result_lock_);
        unconnected_rows_ = std::move(rows);
    }
    request_ = {};  // what the request borrowed (the camera) goes back now
    if (!path.ok()) {
        Fail(RunEvent::kPrepareFailed, path.error(), "preparing the recording");
        return;
    }
    {
        platform::SpinGuard guard(result_lock_);
        path_ = *path;
    }
    if (WaitForCountDown()) {
        if (Error e = engine::Start(slot_); !e.ok()) {
            Fail(RunEvent::kStartFailed, e, "starting the recording");
        } else {
            {
                platform::SpinGuard guard(result_lock_);
                path_ = slot_.Peek()->Path();
            }
            report_(RunEvent::kStarted);
            StopAndJudge(WaitForStop(*slot_.Peek()));
            return;
        }
    }
    slot_.Take().reset();  // nothing was started: no file
}

void RecordingRun::StopAndJudge(bool failure_reported) {
    const std::string path = Path();
    const std::shared_ptr<engine::SessionStats> stats = slot_.Peek()->SharedStats();
    const auto begin = std::chrono::steady_clock::now();
    slot_.Take().reset();  // the stop sequence: capture ends, encoders flush, the file is finished
    const long long spent =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin)
            .count();
    const engine::RecordingOutcome outcome = engine::JudgeRecording(path, *stats);
    if (outcome.failure.ok()) {
        log::Writef(log::Level::kInfo, "recording finished: %s (stop sequence %lld ms)", path.c_str(), spent);
    } else if (failure_reported) {
        log::Writef(log::Level::kWarning, "recording cut short: %s (stop sequence %lld ms)", path.c_str(),
                    spent);
    } else {
        Fail(RunEvent::kFailedAtStop, outcome.failure, "the recording failed");
    }
}

bool RecordingRun::WaitForCountDown() {
    while (!stop_requested_.load(std::memory_order_acquire) &&
           !count_down_done_.load(std::memory_order_acquire))
        Wait(wake_, nullptr);
    return !stop_requested_.load(std::memory_order_acquire);
}

bool RecordingRun::WaitForStop(engine::CCapture& session) {
    bool reported = false;
    while (!stop_requested_.load(std::memory_order_acquire)) {
        bool failed = false;
        Wait(session.FailureEvent(), reported ? nullptr : &failed);
        const Error cause = session.FailureStop();
        if (!failed || reported || cause.ok()) continue;
        reported = true;
        Fail(RunEvent::kEndedItself, cause, "the recording stopped by itself");
    }
    return reported;
}

// Sleeps on the wake-up and, when `also_signalled` is given, on `also`. A wait that fails (it should
// not) falls back to polling every millisecond.
void RecordingRun::Wait(platform::Waitable& also, bool* also_signalled) {
    std::array<platform::Waitable*, 2> objects = {&wake_, &also};
    size_t index = 0;
    const platform::WaitResult result =
        platform::WaitAny(std::span(objects.data(), also_signalled ? 2 : 1), platform::kInfinite, &index);
    if (result == platform::WaitResult::kFailed) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return;
    }
    if (also_signalled) *also_signalled = result == platform::WaitResult::kSignaled && index == 1;
}

void RecordingRun::Fail(RunEvent event, const Error& cause, const char* context) {
    log::Failure(cause, context);
    {
        platform::SpinGuard guard(result_lock_);
        failure_ = cause;
    }
    report_(event);
}

}  // namespace vexa::ui
