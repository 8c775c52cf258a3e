// gtest first: Xlib defines None, a name gtest uses.
#include <gtest/gtest.h>

#include "test_display.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <thread>

namespace vexa::desktop::testing {
namespace {

// An X server resets when its last client leaves, and refuses connections meanwhile: the previous
// test process may just have left. Connecting is tried again for a while.
std::unique_ptr<platform::X11Connection> Connect() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (auto connection = platform::X11Connection::Open(nullptr); connection.ok())
            return std::move(connection).value();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
}

// One client stays connected for the whole test run, so the tests' own clients come and go freely.
class KeepDisplayUp : public ::testing::Environment {
  public:
    void SetUp() override { keeper_ = Connect(); }
    void TearDown() override { keeper_.reset(); }

  private:
    std::unique_ptr<platform::X11Connection> keeper_;
};
[[maybe_unused]] const auto* const kKeeper = ::testing::AddGlobalTestEnvironment(new KeepDisplayUp);

}  // namespace

TestDisplay::TestDisplay() : connection_(Connect()) {
    if (connection_) display_ = connection_->get();
}

TestDisplay::~TestDisplay() {
    if (!display_) return;
    for (Atom property : root_properties_) XDeleteProperty(display_, Root(), property);
    XSync(display_, False);
}

Window TestDisplay::Create(Window parent, const Spec& spec) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;  // placed exactly where asked, also under a window manager
    const Window window = XCreateWindow(display_, parent, spec.x, spec.y, spec.width, spec.height,
                                        spec.input_only ? 0 : spec.border, CopyFromParent,
                                        spec.input_only ? InputOnly : InputOutput, CopyFromParent,
                                        CWOverrideRedirect, &attributes);
    if (spec.mapped) XMapWindow(display_, window);
    return window;
}

void TestDisplay::SetClass(Window window, const std::string& instance, const std::string& klass) {
    std::string name = instance;
    std::string class_name = klass;
    XClassHint hint{name.data(), class_name.data()};
    XSetClassHint(display_, window, &hint);
}

void TestDisplay::SetNetWmName(Window window, const std::string& utf8) {
    XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_NAME", False),
                    XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
}

void TestDisplay::SetWmName(Window window, const std::string& latin1) {
    XChangeProperty(display_, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(latin1.data()), static_cast<int>(latin1.size()));
}

void TestDisplay::SetCardinals(Window window, const char* property, const std::vector<long>& values) {
    const Atom atom = XInternAtom(display_, property, False);
    if (window == Root()) root_properties_.push_back(atom);
    XChangeProperty(display_, window, atom, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
}

void TestDisplay::SetWindows(Window window, const char* property, const std::vector<Window>& values) {
    const Atom atom = XInternAtom(display_, property, False);
    if (window == Root()) root_properties_.push_back(atom);
    XChangeProperty(display_, window, atom, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
}

void TestDisplay::KeyDown(KeySym key) {
    XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, key), True, CurrentTime);
    XSync(display_, False);
}

void TestDisplay::KeyUp(KeySym key) {
    XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, key), False, CurrentTime);
    XSync(display_, False);
}

void TestDisplay::Tap(const std::vector<KeySym>& modifiers, KeySym key) {
    for (KeySym modifier : modifiers) KeyDown(modifier);
    KeyDown(key);
    KeyUp(key);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) KeyUp(*it);
}

unsigned int TestDisplay::LockedModifiers() const {
    XkbStateRec state{};
    XkbGetState(display_, XkbUseCoreKbd, &state);
    return state.locked_mods;
}

unsigned int TestDisplay::NumLockMask() const {
    return XkbKeysymToModifiers(display_, XK_Num_Lock);
}

bool TestDisplay::GrabKey(KeySym key, unsigned int modifiers) {
    return GrabKeycode(XKeysymToKeycode(display_, key), modifiers);
}

void TestDisplay::UngrabKey(KeySym key, unsigned int modifiers) {
    UngrabKeycode(XKeysymToKeycode(display_, key), modifiers);
}

bool TestDisplay::GrabKeycode(KeyCode keycode, unsigned int modifiers) {
    const uint64_t errors = connection_->ErrorCount();
    XGrabKey(display_, keycode, modifiers, Root(), False, GrabModeAsync, GrabModeAsync);
    return connection_->SyncWithoutErrors(errors);
}

void TestDisplay::UngrabKeycode(KeyCode keycode, unsigned int modifiers) {
    XUngrabKey(display_, keycode, modifiers, Root());
    XSync(display_, False);
}

}  // namespace vexa::desktop::testing
