#include "tests/ui/test_shell.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <stdexcept>

#include "toolkit/application.h"
#include "toolkit/skin_archive.h"

// Last: Xlib's macros would clash with the toolkit's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace vexa::test {

namespace {

bool InstallProcessSkin() {
    if (toolkit::processSkin()) return true;
    auto skin = toolkit::SkinArchive::openEmbedded();
    if (!skin.ok()) throw std::runtime_error(skin.error().message());
    toolkit::setProcessSkin(skin.value());
    return true;
}

}  // namespace

TestShell::TestShell()
    : skin_installed_(InstallProcessSkin()),
      settings_(app::SettingsKey::Open(folder_.File("settings.reg")).value()),
      ini_(folder_.File("VexaRecorder.ini")) {
    if (!settings_) throw std::runtime_error("test shell: no settings store");
    devices_.cameras = platform::EnumerateCameras();
    if (!main_.create(nullptr, "Miravo", toolkit::kStylePopup | toolkit::kStyleVisible,
                      QRect(40, 40, 400, 300)))
        throw std::runtime_error("test shell: no main window");
    Register(this);
}

TestShell::~TestShell() {
    Unregister(this);
}

QSize TestShell::ScreenSize() const {
    return toolkit::primaryScreenSize();
}

void Pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

TestInput::TestInput() : display_(XOpenDisplay(nullptr)) {
    if (!display_) throw std::runtime_error("test input: no X display");
}

TestInput::~TestInput() {
    XCloseDisplay(display_);
}

void TestInput::MoveTo(QPoint screen) {
    XTestFakeMotionEvent(display_, -1, screen.x(), screen.y(), CurrentTime);
    XFlush(display_);
    Pump(20);
}

void TestInput::Press() {
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XFlush(display_);
    Pump(20);
}

void TestInput::Release() {
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XFlush(display_);
    Pump(20);
}

void TestInput::Click(QPoint screen) {
    MoveTo(screen);
    Press();
    Release();
}

void TestInput::Drag(QPoint from, QPoint to) {
    MoveTo(from);
    Press();
    constexpr int kSteps = 6;
    for (int i = 1; i <= kSteps; ++i) MoveTo(from + (to - from) * i / kSteps);
    Release();
}

void TestInput::Key(const char* keysym_name, bool down) {
    const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(keysym_name));
    XTestFakeKeyEvent(display_, code, down ? True : False, CurrentTime);
    XFlush(display_);
    Pump(20);
}

}  // namespace vexa::test
