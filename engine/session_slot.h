// The record page's session slot: the pointer to the running session under a SpinLock. The
// user-interface thread pauses, resumes, changes volumes and reports display changes through it;
// the recording thread takes the session out under the same lock before deleting it, so the
// user-interface thread never touches a session that is being torn down. Thread-safe.
#pragma once

#include <memory>

#include "engine/capture.h"
#include "platform/sync/spin_lock.h"

namespace vexa::engine {

class SessionSlot {
  public:
    SessionSlot() = default;
    SessionSlot(const SessionSlot&) = delete;
    SessionSlot& operator=(const SessionSlot&) = delete;
    ~SessionSlot() { Take().reset(); }

    // Stores the session; one that was there before is deleted (stopped) outside the lock.
    void Put(std::unique_ptr<CCapture> session) {
        std::unique_ptr<CCapture> old;
        {
            platform::SpinGuard guard(lock_);
            old.reset(session_);
            session_ = session.release();
        }
    }

    // Takes the session out; the caller deletes it (the stop sequence) outside the lock.
    [[nodiscard]] std::unique_ptr<CCapture> Take() {
        platform::SpinGuard guard(lock_);
        std::unique_ptr<CCapture> out(session_);
        session_ = nullptr;
        return out;
    }

    // Runs f on the session under the lock, if there is one. Keep f short: Pause, Resume,
    // SetSourceVolume, NotifyDisplayChange.
    template <typename F>
    bool With(F&& f) {
        platform::SpinGuard guard(lock_);
        if (!session_) return false;
        f(*session_);
        return true;
    }

    // The session for the recording thread, which alone puts and takes it.
    [[nodiscard]] CCapture* Peek() {
        platform::SpinGuard guard(lock_);
        return session_;
    }

  private:
    platform::SpinLock lock_;
    CCapture* session_ GUARDED_BY(lock_) = nullptr;
};

}  // namespace vexa::engine
