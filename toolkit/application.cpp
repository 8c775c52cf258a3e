#include "toolkit/application.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QScreen>

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/desktop/instance.h"
#include "platform/log/log.h"
#include "toolkit/desktop_look.h"
#include "toolkit/window.h"

namespace vexa::toolkit {

// Messages other processes post to our windows arrive as X client messages, which any client of the
// display can send. Only the one message the program accepts from outside (a second start's
// activation) is handed on, without its parameters, to the window it names; every other is dropped
// here. Messages within the process never travel through X.
class Application::OutsideMessageFilter final : public QAbstractNativeEventFilter {
  public:
    bool nativeEventFilter(const QByteArray& type, void* event, qintptr* /*result*/) override {
        if (type != "xcb_generic_event_t") return false;
        const std::optional<desktop::WindowMessage> m = desktop::ParseWindowMessage(event);
        if (!m) return false;
        if (accepted && m->message == *accepted) Window::postToNativeWindow(m->window, {m->message, 0, 0});
        return true;
    }
    std::optional<std::uint32_t> accepted;
};

namespace {

QSize physical(const QScreen& screen) {
    return screen.geometry().size() * screen.devicePixelRatio();
}

}  // namespace

Result<std::unique_ptr<Application>> Application::create(int& argc, char** argv) {
    // The windows are X11 windows (XWayland under Wayland): hotkeys, shapes, stacking and the
    // windows that place themselves rely on it, so a native-Wayland choice (common in sway set-ups)
    // is overridden, and the log says so. Other choices (offscreen for tests) stay.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || !*platform) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    } else if (std::string_view(platform).find("wayland") != std::string_view::npos) {
        log::Writef(log::Level::kInfo,
                    "QT_QPA_PLATFORM=%s asks for native Wayland windows; the program runs through "
                    "XWayland (xcb), which its hotkeys and windows need",
                    platform);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    const std::string chosen = std::getenv("QT_QPA_PLATFORM");
    if (chosen == "xcb" && (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY")))
        return Error(ErrorCode::kUnavailable, "no X display: DISPLAY is not set");
    auto app = std::make_unique<QApplication>(argc, argv);
    app->setQuitOnLastWindowClosed(false);
    applyDesktopLook(*app);
    return std::unique_ptr<Application>(new Application(std::move(app)));
}

Application::Application(std::unique_ptr<QApplication> app)
    : app_(std::move(app)), filter_(std::make_unique<OutsideMessageFilter>()) {
    app_->installNativeEventFilter(filter_.get());
}

Application::~Application() {
    app_->removeNativeEventFilter(filter_.get());
}

void Application::acceptFromOtherProcesses(std::uint32_t message) {
    filter_->accepted = message;
}

int Application::exec() {
    return QApplication::exec();
}

void Application::quit(int code) {
    QCoreApplication::exit(code);
}

void Application::setIcon(const QImage& icon) {
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(icon)));
}

void Application::onPrimaryScreenChanged(std::function<void(QSize)> changed) {
    auto watch = [changed](QScreen* screen) {
        if (!screen) return;
        QObject::connect(screen, &QScreen::geometryChanged, screen,
                         [changed, screen](const QRect&) { changed(physical(*screen)); });
    };
    watch(QGuiApplication::primaryScreen());
    QObject::connect(app_.get(), &QGuiApplication::primaryScreenChanged, app_.get(),
                     [changed, watch](QScreen* screen) {
                         watch(screen);
                         if (screen) changed(physical(*screen));
                     });
}

QSize primaryScreenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? physical(*screen) : QSize();
}

QRect primaryWorkArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QPoint cursorPos() {
    return QCursor::pos();
}

QRect primaryScreenGeometry() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

}  // namespace vexa::toolkit
