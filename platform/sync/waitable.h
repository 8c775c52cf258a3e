// Kernel-backed wait objects in place of native semaphores and auto-reset events, with waits of
// 100-nanosecond resolution (ppoll). Each object is an eventfd, so several can be waited on at once
// (WaitAny) together with other file descriptors (an X connection, a sound stream's signal).
// All operations are thread-safe. Objects own their descriptor and are not copyable.
#pragma once

#include <cerrno>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

#include "platform/error.h"

namespace vexa::platform {

enum class WaitResult { kSignaled, kTimeout, kFailed };

// Relative time-out in 100-nanosecond units; kInfinite waits for ever.
inline constexpr int64_t kInfinite = -1;

class Waitable {
  public:
    Waitable(const Waitable&) = delete;
    Waitable& operator=(const Waitable&) = delete;
    virtual ~Waitable();

    [[nodiscard]] bool Valid() const { return fd_ >= 0; }
    // Success when the object was made, else why not ("cannot create <what>: Too many open files").
    [[nodiscard]] Error CreationError(const std::string& what) const;
    [[nodiscard]] int NativeHandle() const { return fd_; }

    // Waits until the object is signalled, consuming one signal (a semaphore count, or the event).
    [[nodiscard]] WaitResult Wait(int64_t timeout100ns = kInfinite);

    // Consumes one signal if one is pending, without waiting.
    [[nodiscard]] bool TryConsume();

  protected:
    explicit Waitable(int fd) : fd_(fd), create_errno_(fd < 0 ? errno : 0) {}

  private:
    int fd_;
    int create_errno_;
};

// Counting semaphore, initial count 0 unless given.
class Semaphore final : public Waitable {
  public:
    explicit Semaphore(uint32_t initial = 0);
    // Adds count (at most 0x7FFFFFFF in one call) to the semaphore; false when the call failed.
    [[nodiscard]] bool Release(uint32_t count = 1);
};

// Auto-reset event: Set wakes one waiter (or the next one to wait), and the wait resets it.
class Event final : public Waitable {
  public:
    Event();
    void Set();
};

// Waits until one of the objects is signalled and consumes its signal. index receives the position
// of the signalled object. An empty span only sleeps.
[[nodiscard]] WaitResult WaitAny(std::span<Waitable* const> objects, int64_t timeout100ns, size_t* index);

}  // namespace vexa::platform
