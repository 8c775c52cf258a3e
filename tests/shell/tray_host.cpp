#include "tests/shell/tray_host.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>

namespace vexa::test {
namespace {

constexpr long kRequestDock = 0;
constexpr int kCell = 24;

Display* D(void* display) {
    return static_cast<Display*>(display);
}

}  // namespace

TrayHost::TrayHost() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) throw std::runtime_error("tray host: no display");
    display_ = display;
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    x_ = DisplayWidth(display, screen) - 8 * kCell;
    y_ = DisplayHeight(display, screen) - kCell;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(display, screen);
    host_ = XCreateWindow(display, root, x_, y_, 8 * kCell, kCell, 0, CopyFromParent, InputOutput,
                          CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XSelectInput(display, host_, SubstructureNotifyMask);
    XMapWindow(display, host_);
    const std::string selection_name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    const Atom selection = XInternAtom(display, selection_name.c_str(), False);
    if (XGetSelectionOwner(display, selection) != None)
        throw std::runtime_error("tray host: a tray runs already");
    XSetSelectionOwner(display, selection, host_, CurrentTime);
    const Atom orientation = XInternAtom(display, "_NET_SYSTEM_TRAY_ORIENTATION", False);
    const long horizontal = 0;
    XChangeProperty(display, host_, orientation, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&horizontal), 1);
    XEvent manager{};
    manager.xclient.type = ClientMessage;
    manager.xclient.window = root;
    manager.xclient.message_type = XInternAtom(display, "MANAGER", False);
    manager.xclient.format = 32;
    manager.xclient.data.l[0] = CurrentTime;
    manager.xclient.data.l[1] = static_cast<long>(selection);
    manager.xclient.data.l[2] = static_cast<long>(host_);
    XSendEvent(display, root, False, StructureNotifyMask, &manager);
    XSync(display, False);
    thread_ = std::thread([this] { Run(); });
}

TrayHost::~TrayHost() {
    stop_ = true;
    thread_.join();
    XCloseDisplay(D(display_));
}

void TrayHost::Run() {
    Display* display = D(display_);
    const Atom opcode = XInternAtom(display, "_NET_SYSTEM_TRAY_OPCODE", False);
    const Atom xembed = XInternAtom(display, "_XEMBED", False);
    pollfd waiting{ConnectionNumber(display), POLLIN, 0};
    while (!stop_) {
        if (!XPending(display)) {
            (void)poll(&waiting, 1, 50);
            continue;
        }
        XEvent event{};
        XNextEvent(display, &event);
        if (event.type == ClientMessage && event.xclient.message_type == opcode &&
            event.xclient.data.l[1] == kRequestDock) {
            const Window icon = static_cast<Window>(event.xclient.data.l[2]);
            int cell = 0;
            {
                std::lock_guard lock(mutex_);
                cell = static_cast<int>(icons_.size());
                icons_.push_back({icon, cell});
            }
            XSelectInput(display, icon, StructureNotifyMask);
            XReparentWindow(display, icon, host_, cell * kCell, 0);
            XResizeWindow(display, icon, kCell, kCell);
            XEvent notify{};
            notify.xclient.type = ClientMessage;
            notify.xclient.window = icon;
            notify.xclient.message_type = xembed;
            notify.xclient.format = 32;
            notify.xclient.data.l[0] = CurrentTime;
            notify.xclient.data.l[1] = 0;  // XEMBED_EMBEDDED_NOTIFY
            notify.xclient.data.l[3] = static_cast<long>(host_);
            XSendEvent(display, icon, False, NoEventMask, &notify);
            XMapWindow(display, icon);
            XSync(display, False);
        } else if (event.type == DestroyNotify || event.type == UnmapNotify || event.type == ReparentNotify) {
            const Window gone = event.type == DestroyNotify ? event.xdestroywindow.window
                                : event.type == UnmapNotify ? event.xunmap.window
                                                            : event.xreparent.window;
            if (event.type == ReparentNotify && event.xreparent.parent == host_) continue;
            std::lock_guard lock(mutex_);
            std::erase_if(icons_, [gone](const Icon& i) { return i.window == gone; });
        } else if (event.type == MapNotify) {
            std::lock_guard lock(mutex_);
            const Window shown = event.xmap.window;
            if (std::none_of(icons_.begin(), icons_.end(),
                             [shown](const Icon& i) { return i.window == shown; })) {
                Window parent = 0, root = 0, *children = nullptr;
                unsigned count = 0;
                if (XQueryTree(display, shown, &root, &parent, &children, &count) && parent == host_)
                    icons_.push_back({shown, static_cast<int>(icons_.size())});
                if (children) XFree(children);
            }
        }
    }
}

std::optional<std::pair<int, int>> TrayHost::IconCentre() const {
    std::lock_guard lock(mutex_);
    if (icons_.empty()) return std::nullopt;
    return std::pair{x_ + icons_.front().cell * kCell + kCell / 2, y_ + kCell / 2};
}

bool TrayHost::WaitDocked(bool docked, int timeout_ms) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    do {
        if (IconCentre().has_value() == docked) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

}  // namespace vexa::test
