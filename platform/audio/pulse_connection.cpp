#include "platform/audio/pulse_connection.h"

namespace vexa::platform {

std::shared_ptr<PulseConnection> PulseConnection::Connect(const char* client_name) {
    std::shared_ptr<PulseConnection> c(new PulseConnection);
    c->mainloop_ = pa_threaded_mainloop_new();
    if (!c->mainloop_) return nullptr;
    c->context_ = pa_context_new(pa_threaded_mainloop_get_api(c->mainloop_), client_name);
    if (!c->context_) return nullptr;
    pa_context_set_state_callback(
        c->context_, [](pa_context*, void* self) { static_cast<PulseConnection*>(self)->Signal(); }, c.get());
    if (pa_context_connect(c->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return nullptr;

    MainloopLock lock(*c);
    if (pa_threaded_mainloop_start(c->mainloop_) < 0) return nullptr;
    c->started_ = true;
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(c->context_);
        if (state == PA_CONTEXT_READY) return c;
        if (!PA_CONTEXT_IS_GOOD(state)) return nullptr;
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

bool PulseConnection::Await(pa_operation* op) {
    if (!op) return false;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING && Alive()) Wait();
    const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
    pa_operation_unref(op);
    return done;
}

}  // namespace vexa::platform
