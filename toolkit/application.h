// Application: the toolkit's process-wide part — the event loop of the user-interface thread, the
// program's icon, the primary screen (its size in physical pixels, its work area and its changes)
// and the pointer's position. Create one, on the first thread, before any window; it needs a
// display (X11; under Wayland the windows run through XWayland).
// It can also turn the signals that ask a process to end (SIGTERM at a log-out or shutdown, SIGHUP,
// SIGINT from a terminal) into a call on the user-interface thread, so the program ends as its own
// exit would, instead of at once.
// Thread-safety: user-interface thread only, except quit(), which any thread may call.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/error.h"

class QApplication;

namespace vexa::toolkit {

class Application {
  public:
    // Fails (kUnavailable) when no display can be opened; nothing is shown then.
    [[nodiscard]] static Result<std::unique_ptr<Application>> create(int& argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the event loop until quit(); returns the code given to it.
    int exec();
    static void quit(int code);

    // The one window message another process may post to this program's windows (see
    // desktop::PostWindowMessage); it arrives without its parameters. Every other message from
    // outside is dropped, and all of them are until this is called.
    void acceptFromOtherProcesses(std::uint32_t message);

    void setIcon(const QImage& icon);
    // Called with the new size whenever the primary screen's geometry changes.
    void onPrimaryScreenChanged(std::function<void(QSize)> changed);
    // From now until the Application goes, SIGTERM, SIGHUP and SIGINT no longer end the process:
    // each one that arrives is handed to `arrived` (with its number) on this thread by the event
    // loop. One Application at a time may watch; the reason when the watch cannot be set up.
    [[nodiscard]] Error onTerminationSignal(std::function<void(int signal)> arrived);

  private:
    class OutsideMessageFilter;
    class TerminationWatch;
    explicit Application(std::unique_ptr<QApplication> app);
    std::unique_ptr<QApplication> app_;
    std::unique_ptr<OutsideMessageFilter> filter_;
    std::unique_ptr<TerminationWatch> termination_;  // before app_ goes: its notifier is a Qt object
};

// The primary screen's size in physical pixels (as the screen capture sees it); empty without one.
[[nodiscard]] QSize primaryScreenSize();
// The part of the primary screen not taken by panels and docks.
[[nodiscard]] QRect primaryWorkArea();
[[nodiscard]] QPoint cursorPos();
// The primary screen in the coordinates windows are placed in (a window centred on the screen).
[[nodiscard]] QRect primaryScreenGeometry();

}  // namespace vexa::toolkit
