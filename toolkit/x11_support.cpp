#include "toolkit/x11_support.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>

// Xlib last: its macros (None, Bool, Status) collide with Qt names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>

#include <xcb/xcb.h>  // event layouts only

#include <algorithm>
#include <map>
#include <memory>
#include <set>

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

void setTextProperty(unsigned long window, const char* property, const std::string& value) {
    Display* d = display();
    if (!d || !window) return;
    XChangeProperty(d, window, XInternAtom(d, property, False), XInternAtom(d, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(value.data()),
                    static_cast<int>(value.size()));
    XFlush(d);
}

namespace {

// The owner of _NET_WM_CM_S<screen>, followed through XFixes selection-owner events. The events
// arrive on Qt's own connection and are seen by a native event filter; the answer is asked again
// from the event loop (never inside the filter) and listeners hear of real changes only.
class CompositorWatch final : public QAbstractNativeEventFilter {
  public:
    static CompositorWatch& instance() {
        static CompositorWatch watch;
        watch.attach();
        return watch;
    }
    bool active() {
        if (!display()) return false;
        if (!watching_) active_ = askOwner();  // no events: ask each time
        return active_;
    }
    int add(std::function<void(bool)> changed) {
        if (!watching_) return 0;
        listeners_[++next_] = std::move(changed);
        return next_;
    }
    void remove(int id) { listeners_.erase(id); }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* /*result*/) override {
        if (type != "xcb_generic_event_t" || !message) return false;
        const auto response = *static_cast<const unsigned char*>(message) & 0x7f;
        if (response == fixesEventBase_ + XFixesSelectionNotify && !pending_) {
            pending_ = true;
            QTimer::singleShot(0, qApp, [this] { recheck(); });
        }
        return false;
    }

  private:
    bool askOwner() {
        Display* dpy = display();
        return dpy && XGetSelectionOwner(dpy, atom_) != 0;
    }
    // Selects the events on the application's connection once per application object.
    void attach() {
        Display* dpy = display();
        if (!dpy || (watching_ && app_ == qApp)) return;
        const std::string selection = "_NET_WM_CM_S" + std::to_string(DefaultScreen(dpy));
        atom_ = XInternAtom(dpy, selection.c_str(), False);
        int error_base = 0, major = 5, minor = 0;
        if (!XFixesQueryExtension(dpy, &fixesEventBase_, &error_base) ||
            !XFixesQueryVersion(dpy, &major, &minor)) {
            watching_ = false;
            return;
        }
        XFixesSelectSelectionInput(dpy, DefaultRootWindow(dpy), atom_,
                                   XFixesSetSelectionOwnerNotifyMask |
                                       XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
        XFlush(dpy);
        qApp->installNativeEventFilter(this);
        app_ = qApp;
        watching_ = true;
        active_ = askOwner();
    }
    void recheck() {
        pending_ = false;
        const bool now = askOwner();
        if (now == active_) return;
        active_ = now;
        // A listener may add or remove listeners: call a copy.
        const auto listeners = listeners_;
        for (const auto& [id, changed] : listeners) {
            if (listeners_.count(id)) changed(now);
        }
    }

    QPointer<QCoreApplication> app_;
    Atom atom_ = 0;
    int fixesEventBase_ = -1;
    bool watching_ = false;
    bool active_ = false;
    bool pending_ = false;
    int next_ = 0;
    std::map<int, std::function<void(bool)>> listeners_;
};

}  // namespace

bool hasCompositor() {
    return CompositorWatch::instance().active();
}

int addCompositorListener(std::function<void(bool)> changed) {
    return CompositorWatch::instance().add(std::move(changed));
}

void removeCompositorListener(int id) {
    if (id) CompositorWatch::instance().remove(id);
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

bool overrideRedirect(unsigned long window) {
    Display* d = display();
    XWindowAttributes attributes{};
    return d && window && XGetWindowAttributes(d, window, &attributes) && attributes.override_redirect;
}

std::vector<unsigned long> windowsToRaise(const std::vector<StackedWindow>& stack,
                                          const std::vector<unsigned long>& kept) {
    const auto isKept = [&kept](unsigned long id) {
        return std::find(kept.begin(), kept.end(), id) != kept.end();
    };
    std::vector<unsigned long> raise;
    bool covered = false;
    for (const StackedWindow& window : stack) {
        if (!window.viewable) continue;
        if (isKept(window.id))
            raise.push_back(window.id);
        else if (!window.overrideRedirect && !raise.empty())
            covered = true;
    }
    if (!covered) raise.clear();
    return raise;
}

namespace {

// The windows keepAboveManaged() keeps on top, and the watch on the root window's children that
// tells when the stacking changed. The check runs from the event loop (never inside the filter),
// once for any number of changes seen meanwhile.
class StackWatch final : public QAbstractNativeEventFilter {
  public:
    static StackWatch& instance() {
        static StackWatch watch;
        return watch;
    }
    void keep(unsigned long window, bool on) {
        if (!attach() || !window) return;
        if (on)
            kept_.insert(window);
        else
            kept_.erase(window);
        if (on) schedule();
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* /*result*/) override {
        if (kept_.empty() || type != "xcb_generic_event_t" || !message) return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const auto response = event->response_type & 0x7f;
        // A child of the root window restacked, mapped or moved (SubstructureNotify on the root).
        if ((response == XCB_CONFIGURE_NOTIFY &&
             reinterpret_cast<const xcb_configure_notify_event_t*>(event)->event == root_) ||
            (response == XCB_MAP_NOTIFY &&
             reinterpret_cast<const xcb_map_notify_event_t*>(event)->event == root_)) {
            schedule();
        }
        return false;
    }

  private:
    // Adds the root's SubstructureNotify to what the application already asked of the root.
    bool attach() {
        Display* dpy = display();
        if (!dpy) return false;
        if (app_ == qApp) return true;
        root_ = DefaultRootWindow(dpy);
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(dpy, root_, &attributes)) return false;
        XSelectInput(dpy, root_, attributes.your_event_mask | SubstructureNotifyMask);
        XFlush(dpy);
        qApp->installNativeEventFilter(this);
        app_ = qApp;
        return true;
    }
    void schedule() {
        if (pending_) return;
        pending_ = true;
        QTimer::singleShot(0, qApp, [this] { recheck(); });
    }
    void recheck() {
        pending_ = false;
        Display* dpy = display();
        if (!dpy || kept_.empty()) return;
        ::Window rootReturn = 0, parent = 0;
        ::Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(dpy, root_, &rootReturn, &parent, &children, &count)) return;
        std::vector<StackedWindow> stack;
        bool keptSeen = false;
        for (unsigned int i = 0; i < count; ++i) {
            // Only the windows from the lowest kept one up matter: ask the server about those.
            keptSeen = keptSeen || kept_.count(children[i]);
            if (!keptSeen) continue;
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(dpy, children[i], &attributes)) continue;  // gone meanwhile
            stack.push_back(
                {children[i], attributes.map_state == IsViewable, attributes.override_redirect != 0});
        }
        if (children) XFree(children);
        const std::vector<unsigned long> raise =
            windowsToRaise(stack, std::vector<unsigned long>(kept_.begin(), kept_.end()));
        for (const unsigned long window : raise) XRaiseWindow(dpy, window);
        if (!raise.empty()) XFlush(dpy);
    }

    QPointer<QCoreApplication> app_;
    ::Window root_ = 0;
    bool pending_ = false;
    std::set<unsigned long> kept_;
};

}  // namespace

void keepAboveManaged(unsigned long window, bool keep) {
    StackWatch::instance().keep(window, keep);
}

}  // namespace vexa::toolkit::x11

namespace vexa::toolkit::x11 {

namespace {

// The display when it has XFixes 2 (window shape regions); the protocol wants the version agreed
// on before the first request.
Display* fixesDisplay() {
    Display* d = display();
    if (!d) return nullptr;
    static const bool fixes = [d] {
        int event_base = 0, error_base = 0, major = 5, minor = 0;
        return XFixesQueryExtension(d, &event_base, &error_base) && XFixesQueryVersion(d, &major, &minor) &&
               major >= 2;
    }();
    return fixes ? d : nullptr;
}

}  // namespace

bool setInputRegion(unsigned long window, const QRegion* region) {
    Display* d = fixesDisplay();
    if (!d || !window) return false;
    if (region) {
        std::vector<XRectangle> rectangles;
        for (const QRect& r : *region) {
            rectangles.push_back({static_cast<short>(r.x()), static_cast<short>(r.y()),
                                  static_cast<unsigned short>(r.width()),
                                  static_cast<unsigned short>(r.height())});
        }
        const XserverRegion shape =
            XFixesCreateRegion(d, rectangles.data(), static_cast<int>(rectangles.size()));
        XFixesSetWindowShapeRegion(d, window, ShapeInput, 0, 0, shape);
        XFixesDestroyRegion(d, shape);
    } else {
        XFixesSetWindowShapeRegion(d, window, ShapeInput, 0, 0, 0);  // None: the default shape
    }
    XFlush(d);
    return true;
}

bool setInputTransparent(unsigned long window, bool transparent) {
    const QRegion empty;
    return setInputRegion(window, transparent ? &empty : nullptr);
}

FocusHolder focusHolder() {
    Display* d = display();
    if (!d) return FocusHolder::kUnknown;
    ::Window focus = 0;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    if (focus == None || focus == PointerRoot) return FocusHolder::kNoWindow;
    for (const QWindow* window : QGuiApplication::allWindows()) {
        if (window->handle() && window->winId() == focus) return FocusHolder::kThisProgram;
    }
    return FocusHolder::kOtherProgram;
}

}  // namespace vexa::toolkit::x11
