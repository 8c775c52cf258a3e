#include "platform/sync/worker_thread.h"

#include <system_error>

namespace vexa::platform {

WorkerThread::~WorkerThread() {
    Join();
}

bool WorkerThread::Start(std::function<void()> body) {
    if (thread_.joinable()) return false;
    done_ = std::make_unique<Event>();
    finished_ = false;
    try {
        thread_ = std::thread([body = std::move(body), done = done_.get()] {
            body();
            done->Set();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool WorkerThread::WaitFor(int64_t timeout100ns) {
    if (!thread_.joinable()) return true;
    if (!finished_ && done_->Wait(timeout100ns) != WaitResult::kSignaled) return false;
    finished_ = true;
    thread_.join();
    return true;
}

void WorkerThread::Join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace vexa::platform
