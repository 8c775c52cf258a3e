// A joinable thread whose end can be awaited with a time-out, as native thread handles can: the
// stop sequence signals a worker, waits a little, and signals again until the worker has ended.
// Start/Join/Wait are called by the owning thread only; the body runs on the new thread.
#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "platform/sync/waitable.h"

namespace vexa::platform {

class WorkerThread {
  public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread();  // joins a thread still running

    // Starts body on a new thread; false when the thread cannot be created.
    [[nodiscard]] bool Start(std::function<void()> body);
    [[nodiscard]] bool Running() const { return thread_.joinable(); }
    // Waits up to timeout100ns for the body to return; true (and joined) when it has.
    [[nodiscard]] bool WaitFor(int64_t timeout100ns);
    void Join();

  private:
    std::thread thread_;
    std::unique_ptr<Event> done_;
    bool finished_ = false;
};

}  // namespace vexa::platform
