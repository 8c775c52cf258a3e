#include "toolkit/x11_support.h"

#include <QGuiApplication>

// Xlib last: its macros (None, Bool, Status) collide with Qt names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>

#include <memory>

namespace vexa::toolkit::x11 {

namespace {

Display* display() {
    if (QGuiApplication::platformName() != "xcb") return nullptr;
    auto* native = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return native ? native->display() : nullptr;
}

}  // namespace

void setWindowClass(unsigned long window, const std::string& className) {
    Display* d = display();
    if (!d || !window) return;
    std::string name = className;
    std::string klass = className;
    XClassHint hint{name.data(), klass.data()};
    XSetClassHint(d, window, &hint);
    XFlush(d);
}

bool hasCompositor() {
    Display* d = display();
    if (!d) return false;
    const std::string selection = "_NET_WM_CM_S" + std::to_string(DefaultScreen(d));
    const Atom atom = XInternAtom(d, selection.c_str(), False);
    return XGetSelectionOwner(d, atom) != 0;
}

bool setNetWmState(unsigned long window, const char* state, bool on) {
    Display* d = display();
    if (!d || !window) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(d, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = on ? 1 : 0;  // _NET_WM_STATE_ADD or _NET_WM_STATE_REMOVE
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(d, state, False));
    event.xclient.data.l[3] = 1;  // a normal application
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(d);
    return true;
}

std::string windowClass(unsigned long window) {
    Display* d = display();
    if (!d || !window) return {};
    XClassHint hint{nullptr, nullptr};
    if (!XGetClassHint(d, window, &hint)) return {};
    std::string result = hint.res_class ? hint.res_class : "";
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return result;
}

}  // namespace vexa::toolkit::x11

namespace vexa::toolkit::x11 {

bool setInputTransparent(unsigned long window, bool transparent) {
    Display* d = display();
    if (!d || !window) return false;
    // The protocol wants the version agreed on before the first request.
    static const bool fixes = [d] {
        int event_base = 0, error_base = 0, major = 5, minor = 0;
        return XFixesQueryExtension(d, &event_base, &error_base) && XFixesQueryVersion(d, &major, &minor) &&
               major >= 2;
    }();
    if (!fixes) return false;
    if (transparent) {
        const XserverRegion empty = XFixesCreateRegion(d, nullptr, 0);
        XFixesSetWindowShapeRegion(d, window, ShapeInput, 0, 0, empty);
        XFixesDestroyRegion(d, empty);
    } else {
        XFixesSetWindowShapeRegion(d, window, ShapeInput, 0, 0, 0);  // None: the default shape
    }
    XFlush(d);
    return true;
}

}  // namespace vexa::toolkit::x11
