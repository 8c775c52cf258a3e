// A joinable thread whose end can be awaited with a time-out, as native thread handles can: the
// stop sequence signals a worker, waits a little, and signals again until the worker has ended.
// Start/Join/Wait are called by the owning thread only; the body runs on the new thread.
#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "platform/error.h"
#include "platform/sync/waitable.h"

namespace vexa::platform {

class WorkerThread {
  public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread();  // joins a thread still running

    // Starts body on a new thread, named name (a literal; up to 15 characters show in logs and
    // debuggers). Fails when a body is still running or the system cannot create the thread.
    [[nodiscard]] Error Start(std::function<void()> body, const char* name = nullptr);
    [[nodiscard]] bool Running() const { return thread_.joinable(); }
    // Waits up to timeout100ns for the body to return; true (and joined) when it has.
    [[nodiscard]] bool WaitFor(int64_t timeout100ns);
    void Join();

  private:
    std::thread thread_;
    std::unique_ptr<Event> done_;
    bool finished_ = false;
};

// Names a thread for logs and debuggers; longer names are cut to 15 characters. NameThread names it
// from its creator, NameCurrentThread from inside (before its first log line).
void NameThread(std::thread& thread, const char* name);
void NameCurrentThread(const char* name);

}  // namespace vexa::platform
