// A second client on the test display ($DISPLAY of tools/with-test-env.sh) that plays the other
// programs of the desktop: it makes windows with classes, titles and window-manager properties,
// presses keys through XTest and grabs keys itself. Closing it destroys its windows; the root
// properties it set are deleted too. Used by the test thread only. The executable keeps one more
// client connected throughout, so that the server never resets between its tests, and connecting
// waits out a reset after the previous test process.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/screen/x11_connection.h"

namespace vexa::desktop::testing {

class TestDisplay {
  public:
    TestDisplay();  // Valid() tells whether $DISPLAY could be opened
    ~TestDisplay();
    TestDisplay(const TestDisplay&) = delete;
    TestDisplay& operator=(const TestDisplay&) = delete;

    [[nodiscard]] bool Valid() const { return connection_ != nullptr; }
    [[nodiscard]] Display* get() const { return display_; }
    [[nodiscard]] Window Root() const { return DefaultRootWindow(display_); }

    struct Spec {
        int x = 0, y = 0, width = 100, height = 100;
        int border = 0;
        bool mapped = true;
        bool input_only = false;
    };
    Window Create(Window parent, const Spec& spec);
    void SetClass(Window window, const std::string& instance, const std::string& klass);
    void SetNetWmName(Window window, const std::string& utf8);  // _NET_WM_NAME
    void SetWmName(Window window, const std::string& latin1);   // WM_NAME of type STRING
    void SetCardinals(Window window, const char* property, const std::vector<long>& values);
    void SetWindows(Window window, const char* property, const std::vector<Window>& values);
    // Sends every request and waits until the server has handled them.
    void Sync() const { XSync(display_, False); }

    // Presses the modifier keys, then the key; releases in reverse order (XTest).
    void Tap(const std::vector<KeySym>& modifiers, KeySym key);
    void KeyDown(KeySym key);
    void KeyUp(KeySym key);
    // Locked modifiers now (Caps Lock, Num Lock) as X state bits.
    [[nodiscard]] unsigned int LockedModifiers() const;
    [[nodiscard]] unsigned int NumLockMask() const;

    // Grabs the key with exactly these modifiers on the root window; false when the server
    // refused (another client holds it).
    [[nodiscard]] bool GrabKey(KeySym key, unsigned int modifiers);
    void UngrabKey(KeySym key, unsigned int modifiers);
    // The same by keycode, for a key the keymap has no keysym on.
    [[nodiscard]] bool GrabKeycode(KeyCode keycode, unsigned int modifiers);
    void UngrabKeycode(KeyCode keycode, unsigned int modifiers);

  private:
    std::unique_ptr<platform::X11Connection> connection_;  // protocol errors are counted, not fatal
    Display* display_ = nullptr;
    std::vector<Atom> root_properties_;  // deleted when the client closes
};

}  // namespace vexa::desktop::testing
