#include "tests/ui/display_settle.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <cstdint>

#include "tests/ui/test_shell.h"

// Last: Xlib's macros would clash with Qt's names.
#include <X11/Xlib.h>
#include <xcb/xcb.h>

namespace vexa::test {
namespace {

constexpr const char* kMarkerName = "_VEXA_TEST_SETTLE_MARKER";

// Takes the marker client messages out of the application's event stream and remembers the last.
class MarkerFilter : public QAbstractNativeEventFilter {
  public:
    explicit MarkerFilter(Atom marker) : marker_(marker) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
        const auto* client = static_cast<const xcb_client_message_event_t*>(message);
        if (client->type != marker_) return false;
        seen_ = client->data.data32[0];
        return true;
    }
    [[nodiscard]] std::uint32_t Seen() const { return seen_; }

  private:
    const Atom marker_;
    std::uint32_t seen_ = 0;
};

// The filter and the hidden window the markers are sent to, made once for the process and kept to
// its end (a widget must not outlive the application's destruction by being destroyed after it).
struct Receiver {
    Atom marker = 0;
    MarkerFilter* filter = nullptr;
    QWidget* window = nullptr;
    Display* sender = nullptr;  // for callers without a connection of their own
    std::uint32_t sent = 0;
};

Display* ApplicationDisplay() {
    auto* native = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return native ? native->display() : nullptr;
}

Receiver& TheReceiver(Display* application) {
    static Receiver receiver = [&] {
        Receiver r;
        r.marker = XInternAtom(application, kMarkerName, False);
        r.filter = new MarkerFilter(r.marker);
        QCoreApplication::instance()->installNativeEventFilter(r.filter);
        r.window = new QWidget();
        r.window->setAttribute(Qt::WA_NativeWindow);
        (void)r.window->winId();  // the X window exists from here on, never mapped
        r.sender = XOpenDisplay(nullptr);
        return r;
    }();
    return receiver;
}

}  // namespace

bool SettleDisplay(_XDisplay* input) {
    Display* application = ApplicationDisplay();
    if (!application) {
        QCoreApplication::processEvents();
        return true;
    }
    if (input) XSync(input, False);  // the input's events are queued for the application
    XSync(application, False);       // and the application's own requests have been carried out
    Receiver& receiver = TheReceiver(application);
    if (!input) input = receiver.sender;
    if (!input) return false;
    XEvent marker{};
    marker.xclient.type = ClientMessage;
    marker.xclient.window = static_cast<Window>(receiver.window->winId());
    marker.xclient.message_type = receiver.marker;
    marker.xclient.format = 32;
    marker.xclient.data.l[0] = static_cast<long>(++receiver.sent);
    XSendEvent(input, marker.xclient.window, False, NoEventMask, &marker);
    XSync(input, False);
    const std::uint32_t expected = receiver.sent;
    const bool arrived = PumpUntil([&] { return receiver.filter->Seen() == expected; });
    QCoreApplication::processEvents();  // what the handlers posted
    XSync(application, False);          // what the handlers asked of the server
    return arrived;
}

void PumpPast(std::chrono::milliseconds span) {
    QEventLoop loop;
    QTimer::singleShot(span, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace vexa::test
