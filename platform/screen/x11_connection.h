// An Xlib connection of our own. Xlib's defaults end the process on a protocol error or a broken
// connection; here protocol errors on our connections are counted and a broken connection is
// flagged (every later call on it then fails at once), so capture can fail and recover instead.
// The connection is used by one thread; Broken() and ErrorCount() may be read from any thread. The
// process-wide error and I/O error handlers are installed once and pass other connections' errors
// on to the handlers installed before them.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/error.h"

namespace vexa::platform {

class X11Connection {
  public:
    // Opens the display (null: $DISPLAY). Fails with "cannot open X display :59" (kUnavailable).
    [[nodiscard]] static Result<std::unique_ptr<X11Connection>> Open(const char* name);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    [[nodiscard]] Display* get() const { return display_; }
    [[nodiscard]] bool Broken() const { return broken_.load(std::memory_order_relaxed); }
    // Protocol errors seen so far on this connection.
    [[nodiscard]] uint64_t ErrorCount() const { return errors_.load(std::memory_order_relaxed); }
    // Sends every request and waits for the server; true when the connection is sound and no new
    // protocol error arrived since errors_before.
    [[nodiscard]] bool SyncWithoutErrors(uint64_t errors_before);

  private:
    explicit X11Connection(Display* display);
    static int OnError(Display* display, XErrorEvent* event);
    static int OnIOError(Display* display);
    static void OnBroken(Display* display, void* self);

    Display* display_;
    std::atomic<bool> broken_{false};
    std::atomic<uint64_t> errors_{0};
};

}  // namespace vexa::platform
