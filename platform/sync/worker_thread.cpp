#include "platform/sync/worker_thread.h"

#include <pthread.h>

#include <string>
#include <system_error>

namespace vexa::platform {

WorkerThread::~WorkerThread() {
    Join();
}

namespace {

void Name(pthread_t thread, const char* name) {
    if (!name) return;
    const std::string cut = std::string(name).substr(0, 15);
    (void)pthread_setname_np(thread, cut.c_str());
}

}  // namespace

void NameThread(std::thread& thread, const char* name) {
    if (thread.joinable()) Name(thread.native_handle(), name);
}

void NameCurrentThread(const char* name) {
    Name(pthread_self(), name);
}

Error WorkerThread::Start(std::function<void()> body, const char* name) {
    const std::string what = std::string("thread ") + (name ? name : "(unnamed)");
    if (thread_.joinable()) return Error(ErrorCode::kInvalidArgument, what + " is already running");
    done_ = std::make_unique<Event>();
    finished_ = false;
    try {
        thread_ = std::thread([body = std::move(body), done = done_.get(), name] {
            NameCurrentThread(name);
            body();
            done->Set();
        });
    } catch (const std::system_error& e) {
        return Error::FromErrno(e.code().value(), "cannot start " + what);
    }
    NameThread(thread_, name);  // named once Start returns, whether or not the body has begun
    return {};
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
