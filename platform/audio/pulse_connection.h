// PulseConnection: one connection to the PulseAudio server (also PipeWire's PulseAudio server) with
// its threaded main loop, owned by shared pointers: the audio system and every capture client share
// it, and it is closed when the last of them is gone.
//
// Thread-safety: every call into libpulse on these objects must hold the main loop's lock
// (MainloopLock); Wait/Signal follow libpulse's threaded-main-loop rules. The callbacks run on the
// main loop's thread with the lock held.
#pragma once

#include <pulse/pulseaudio.h>

#include <memory>
#include <string>

#include "platform/error.h"

namespace vexa::platform {

// A PulseAudio error number (pa_context_errno) as the shared Error: "<what>: <pa_strerror>".
[[nodiscard]] Error PulseError(int pa_error, const std::string& what);

class PulseConnection {
  public:
    // Connects to the default server (PULSE_SERVER and the usual places). Fails with
    // "cannot connect to the sound server: Connection refused" when none answers.
    [[nodiscard]] static Result<std::shared_ptr<PulseConnection>> Connect(const char* client_name);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    [[nodiscard]] pa_threaded_mainloop* Mainloop() const { return mainloop_; }
    [[nodiscard]] pa_context* Context() const { return context_; }
    // With the lock held: whether the context can still be used.
    [[nodiscard]] bool Alive() const;
    // With the lock held: the context's last error as "<what>: <reason>".
    [[nodiscard]] Error LastError(const std::string& what) const;
    // With the lock held: waits until op has finished (or the connection died) and unreferences it.
    // False when the operation could not be started or the connection died.
    [[nodiscard]] bool Await(pa_operation* op);
    // Wakes the thread blocked in Await or Wait (call from callbacks).
    void Signal() { pa_threaded_mainloop_signal(mainloop_, 0); }
    void Wait() { pa_threaded_mainloop_wait(mainloop_); }

  private:
    PulseConnection() = default;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    bool started_ = false;
};

// Holds the main loop's lock for a scope.
class MainloopLock {
  public:
    explicit MainloopLock(const PulseConnection& c) : mainloop_(c.Mainloop()) {
        pa_threaded_mainloop_lock(mainloop_);
    }
    ~MainloopLock() { pa_threaded_mainloop_unlock(mainloop_); }
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

  private:
    pa_threaded_mainloop* mainloop_;
};

}  // namespace vexa::platform
