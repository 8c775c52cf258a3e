#include "tests/ui/test_shell.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <stdexcept>

#include "tests/ui/display_settle.h"
#include "toolkit/application.h"
#include "toolkit/skin_archive.h"

// Last: Xlib's macros would clash with the toolkit's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace vexa::test {

namespace {

// The store the options lend, else one opened in `folder`.
std::unique_ptr<settings::SettingsKey> OwnStore(const TestShellOptions& options, const TempFolder& folder) {
    if (options.settings) return nullptr;
    auto opened = settings::SettingsKey::Open(folder.File("settings.reg"));
    if (!opened.ok()) throw std::runtime_error("test shell: " + opened.error().message());
    return std::move(opened).value();
}

}  // namespace

void UseProgramSkin() {
    if (toolkit::processSkin()) return;
    auto skin = toolkit::SkinArchive::openEmbedded();
    if (!skin.ok()) throw std::runtime_error("the program's skin: " + skin.error().message());
    toolkit::setProcessSkin(skin.value());
}

TestShell::TestShell(TestShellOptions options)
    : skin_installed_((UseProgramSkin(), true)),
      own_settings_(OwnStore(options, folder_)),
      own_ini_(options.ini ? nullptr
                           : std::make_unique<settings::SettingsIni>(folder_.File("VexaRecorder.ini"))),
      own_main_(options.main_window ? nullptr : std::make_unique<TestMainWindow>()),
      settings_(options.settings ? options.settings : own_settings_.get()),
      ini_(options.ini ? options.ini : own_ini_.get()),
      main_(options.main_window ? options.main_window : own_main_.get()),
      hotkeys_(options.hotkeys),
      screen_size_(options.screen_size) {
    devices_.cameras = platform::EnumerateCameras();
    if (own_main_ && options.create_main_window &&
        !own_main_->create(nullptr, "Miravo", toolkit::kStylePopup | toolkit::kStyleVisible,
                           QRect(40, 40, 400, 300)))
        throw std::runtime_error("test shell: no main window");
    Register(this);
}

TestShell::~TestShell() {
    Unregister(this);
}

QSize TestShell::ScreenSize() const {
    return screen_size_.value_or(toolkit::primaryScreenSize());
}

void Pump(std::chrono::milliseconds span) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < span.count()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() >= timeout.count()) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

TestInput::TestInput() : display_(XOpenDisplay(nullptr)) {
    if (!display_) throw std::runtime_error("test input: no X display");
}

TestInput::~TestInput() {
    XCloseDisplay(display_);
}

// Each step returns once the program has handled what it caused (tests/ui/display_settle.h).
void TestInput::MoveTo(QPoint screen) {
    XTestFakeMotionEvent(display_, -1, screen.x(), screen.y(), CurrentTime);
    (void)SettleDisplay(display_);
}

void TestInput::Press() {
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    (void)SettleDisplay(display_);
}

void TestInput::Release() {
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    (void)SettleDisplay(display_);
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
    (void)SettleDisplay(display_);
}

}  // namespace vexa::test
