#include "platform/screen/x11_connection.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace vexa::platform {
namespace {

std::mutex registry_mutex;
std::vector<X11Connection*> registry;  // guarded by registry_mutex
XErrorHandler previous_handler = nullptr;
XIOErrorHandler previous_io_handler = nullptr;

}  // namespace

Result<std::unique_ptr<X11Connection>> X11Connection::Open(const char* name) {
    Display* display = XOpenDisplay(name);
    if (!display) {
        // Xlib keeps its reason to itself; the name it tried is what the user can act on.
        const char* tried = XDisplayName(name);
        if (!tried || !*tried)
            return Error(ErrorCode::kUnavailable, "cannot open X display (DISPLAY is not set)");
        return Error(ErrorCode::kUnavailable, std::string("cannot open X display ") + tried);
    }
    return std::unique_ptr<X11Connection>(new X11Connection(display));
}

X11Connection::X11Connection(Display* display) : display_(display) {
    std::lock_guard lock(registry_mutex);
    static std::once_flag installed;
    std::call_once(installed, [] {
        previous_handler = XSetErrorHandler(&X11Connection::OnError);
        previous_io_handler = XSetIOErrorHandler(&X11Connection::OnIOError);
    });
    registry.push_back(this);
    XSetIOErrorExitHandler(display_, &X11Connection::OnBroken, this);
}

X11Connection::~X11Connection() {
    {
        std::lock_guard lock(registry_mutex);
        registry.erase(std::find(registry.begin(), registry.end(), this));
    }
    XCloseDisplay(display_);
}

bool X11Connection::SyncWithoutErrors(uint64_t errors_before) {
    if (Broken()) return false;
    XSync(display_, False);
    return !Broken() && ErrorCount() == errors_before;
}

int X11Connection::OnError(Display* display, XErrorEvent* event) {
    std::unique_lock lock(registry_mutex);
    for (X11Connection* connection : registry) {
        if (connection->display_ == display) {
            connection->errors_.fetch_add(1, std::memory_order_relaxed);
            return 0;
        }
    }
    lock.unlock();
    return previous_handler ? previous_handler(display, event) : 0;
}

int X11Connection::OnIOError(Display* display) {
    {
        std::lock_guard lock(registry_mutex);
        for (X11Connection* connection : registry) {
            if (connection->display_ == display) return 0;  // OnBroken follows
        }
    }
    return previous_io_handler ? previous_io_handler(display) : 0;
}

void X11Connection::OnBroken(Display* /*display*/, void* self) {
    // Returning (instead of exiting, as Xlib's default does) leaves the display marked dead: every
    // later call on it fails at once.
    static_cast<X11Connection*>(self)->broken_.store(true, std::memory_order_relaxed);
}

}  // namespace vexa::platform
