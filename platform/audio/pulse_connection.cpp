#include "platform/audio/pulse_connection.h"

namespace vexa::platform {

Error PulseError(int pa_error, const std::string& what) {
    ErrorCode code = ErrorCode::kIo;
    switch (pa_error) {
        case PA_ERR_BUSY:
            code = ErrorCode::kBusy;
            break;
        case PA_ERR_NOENTITY:
            code = ErrorCode::kNotFound;
            break;
        case PA_ERR_ACCESS:
        case PA_ERR_AUTHKEY:
            code = ErrorCode::kPermission;
            break;
        case PA_ERR_CONNECTIONREFUSED:
        case PA_ERR_CONNECTIONTERMINATED:
        case PA_ERR_KILLED:
        case PA_ERR_INVALIDSERVER:
            code = ErrorCode::kUnavailable;
            break;
        case PA_ERR_TIMEOUT:
            code = ErrorCode::kTimeout;
            break;
        default:
            break;
    }
    // A context that died without an error number still failed.
    const char* reason = pa_error == PA_OK ? "the server connection failed" : pa_strerror(pa_error);
    if (pa_error == PA_OK) code = ErrorCode::kUnavailable;
    return Error(code, what + ": " + (reason ? reason : "unknown reason"), static_cast<uint32_t>(pa_error));
}

Result<std::shared_ptr<PulseConnection>> PulseConnection::Connect(const char* client_name) {
    const std::string what = "cannot connect to the sound server";
    std::shared_ptr<PulseConnection> c(new PulseConnection);
    c->mainloop_ = pa_threaded_mainloop_new();
    if (!c->mainloop_) return Error(ErrorCode::kInternal, what + ": no main loop");
    pa_threaded_mainloop_set_name(c->mainloop_, "vexa-pulse");
    c->context_ = pa_context_new(pa_threaded_mainloop_get_api(c->mainloop_), client_name);
    if (!c->context_) return Error(ErrorCode::kInternal, what + ": no context");
    pa_context_set_state_callback(
        c->context_, [](pa_context*, void* self) { static_cast<PulseConnection*>(self)->Signal(); }, c.get());
    if (pa_context_connect(c->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return PulseError(pa_context_errno(c->context_), what);

    MainloopLock lock(*c);
    if (pa_threaded_mainloop_start(c->mainloop_) < 0)
        return Error(ErrorCode::kInternal, what + ": no thread");
    c->started_ = true;
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(c->context_);
        if (state == PA_CONTEXT_READY) return c;
        if (!PA_CONTEXT_IS_GOOD(state)) return PulseError(pa_context_errno(c->context_), what);
        c->Wait();
    }
}

PulseConnection::~PulseConnection() {
    if (context_) {
        if (started_) pa_threaded_mainloop_lock(mainloop_);
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        if (started_) pa_threaded_mainloop_unlock(mainloop_);
    }
    if (mainloop_) {
        if (started_) pa_threaded_mainloop_stop(mainloop_);
        pa_threaded_mainloop_free(mainloop_);
    }
}

bool PulseConnection::Alive() const {
    return pa_context_get_state(context_) == PA_CONTEXT_READY;
}

Error PulseConnection::LastError(const std::string& what) const {
    return PulseError(pa_context_errno(context_), what);
}

bool PulseConnection::Await(pa_operation* op) {
    if (!op) return false;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING && Alive()) Wait();
    const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
    pa_operation_unref(op);
    return done;
}

}  // namespace vexa::platform
