#include "toolkit/application.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QScreen>
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "platform/desktop/instance.h"
#include "platform/log/log.h"
#include "platform/unique_fd.h"
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

constexpr int kTerminationSignals[] = {SIGTERM, SIGHUP, SIGINT};
// The write end of the watch's pipe, for the handler; -1 without a watch.
std::atomic<int> termination_pipe{-1};

// Async-signal-safe: one byte, the signal's number, into the pipe (a full pipe has news waiting).
void OnTerminationSignal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    if (const int fd = termination_pipe.load(); fd >= 0) (void)!::write(fd, &byte, 1);
    errno = saved;
}

}  // namespace

// A pipe the signal handler writes into and the event loop watches: the signal may land on any
// thread, its news is taken on the user-interface thread. The previous handlers come back when the
// watch goes.
class Application::TerminationWatch {
  public:
    static Result<std::unique_ptr<TerminationWatch>> start(std::function<void(int)> arrived) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return Error::FromErrno(errno, "cannot watch for termination signals: no pipe");
        auto watch = std::make_unique<TerminationWatch>(platform::UniqueFd(ends[0]),
                                                        platform::UniqueFd(ends[1]), std::move(arrived));
        int expected = -1;
        if (!termination_pipe.compare_exchange_strong(expected, watch->write_.Get()))
            return Error(ErrorCode::kBusy, "termination signals are watched already");
        struct sigaction action {};
        action.sa_handler = OnTerminationSignal;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kTerminationSignals); ++i)
            sigaction(kTerminationSignals[i], &action, &watch->previous_[i]);
        watch->installed_ = true;
        return watch;
    }
    ~TerminationWatch() {
        if (!installed_) return;
        for (std::size_t i = 0; i < std::size(kTerminationSignals); ++i)
            sigaction(kTerminationSignals[i], &previous_[i], nullptr);
        termination_pipe.store(-1);
    }

    // Use start(): it installs the handlers.
    TerminationWatch(platform::UniqueFd read, platform::UniqueFd write, std::function<void(int)> arrived)
        : read_(std::move(read)),
          write_(std::move(write)),
          arrived_(std::move(arrived)),
          notifier_(read_.Get(), QSocketNotifier::Read) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { Deliver(); });
    }

  private:
    void Deliver() {
        unsigned char numbers[16];
        const ssize_t n = ::read(read_.Get(), numbers, sizeof numbers);
        for (ssize_t i = 0; i < n; ++i) arrived_(numbers[i]);
    }

    platform::UniqueFd read_, write_;
    std::function<void(int)> arrived_;
    QSocketNotifier notifier_;
    struct sigaction previous_[std::size(kTerminationSignals)]{};
    bool installed_ = false;
};

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
    termination_.reset();
    app_->removeNativeEventFilter(filter_.get());
}

Error Application::onTerminationSignal(std::function<void(int signal)> arrived) {
    Result<std::unique_ptr<TerminationWatch>> watch = TerminationWatch::start(std::move(arrived));
    if (!watch.ok()) return watch.error();
    termination_ = std::move(watch).value();
    return {};
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
