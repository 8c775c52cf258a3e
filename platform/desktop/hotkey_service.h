// Global hotkeys: chords that reach the program wherever the focus is. On a Wayland desktop that
// offers the GlobalShortcuts portal the desktop binds them (platform/desktop/portal_hotkeys.h);
// everywhere else they are X11 grabs, described here (under Wayland those reach only XWayland, so
// only while one of the program's windows has the focus: Global() says so). A hotkey is a key of the
// settings page's list ('A'..'Z' 0x41..0x5A, '0'..'9' 0x30..0x39, F1..F12 0x70..0x7B, the
// virtual-key codes the settings store; also Esc 0x1B, which the program grabs while a count-down
// runs) with the modifier bits below; it is grabbed on the root
// window (XGrabKey), with and without Caps Lock and Num Lock, so that it works whatever lock is on.
// One press calls back once: auto-repeat while the key is held does not. A release the listener
// never sees (XWayland drops it when the focus moves while the key is down) does not swallow the
// next press: a press of a key thought held that comes later than the server's repeat delay (plus
// a slack) is a new press. (Forgetting held keys on focus changes would not do: XWayland presses
// a still-held key again when the focus comes back, which must stay a repeat.) A keymap change grabs every
// chord again on its key's new keycode; a chord whose key the new keymap lacks stays registered and is
// grabbed again at the next change that has the key.
//
// Threads: the service has its own X connection and one listener thread that owns it; every X
// call runs there. on_hotkey runs on the listener thread (the caller posts to its window from
// there). Register and Unregister may be called from any thread, also from on_hotkey; they return
// once the listener has done the work, so after Unregister(id) returns no call for id follows.
// The destructor stops the thread, which releases every grab, and joins it; it must not run on the
// listener thread (not from on_hotkey).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/error.h"

namespace vexa::desktop {

// The modifier bits of a hotkey, as the settings store them.
inline constexpr uint32_t kModAlt = 1;
inline constexpr uint32_t kModControl = 2;
inline constexpr uint32_t kModShift = 4;
inline constexpr uint32_t kModWin = 8;  // mapped to the modifier that holds Super (Mod4)

// One way of reaching keys pressed anywhere on the desktop; see HotkeyService for the contract.
class HotkeyBackend {
  public:
    virtual ~HotkeyBackend() = default;
    [[nodiscard]] virtual Error Register(int id, uint32_t modifiers, uint32_t virtual_key) = 0;
    virtual void Unregister(int id) = 0;
};

class HotkeyService {
  public:
    using Callback = std::function<void(int id, uint32_t modifiers)>;

    // On a Wayland session the GlobalShortcuts portal where the desktop offers it; else connects to
    // $DISPLAY (kUnavailable when it cannot) and starts the listener thread.
    [[nodiscard]] static Result<std::unique_ptr<HotkeyService>> Open(Callback on_hotkey);
    ~HotkeyService();
    HotkeyService(const HotkeyService&) = delete;
    HotkeyService& operator=(const HotkeyService&) = delete;

    // Grabs the chord for id; a key press of it then calls on_hotkey(id, modifiers) with the
    // modifiers given here. Registering an id again replaces its chord once the new grab holds; on
    // failure the id keeps what it had. Failures: kInvalidArgument for a key outside the list or
    // unknown modifier bits; kBusy when another program (or another id) holds the chord;
    // kUnsupported when the keyboard has no such key; kUnavailable when the display is gone.
    [[nodiscard]] Error Register(int id, uint32_t modifiers, uint32_t virtual_key);
    // Releases the id's chord; unknown ids are ignored.
    void Unregister(int id);

    // False when the keys are X11 grabs under a Wayland desktop: they reach the program only while
    // one of its windows has the focus.
    [[nodiscard]] bool Global() const { return global_; }

    // "Ctrl+Alt+Shift+Win+F7" in that order, as the settings page shows it; "" for a key outside
    // the list.
    [[nodiscard]] static std::string ChordText(uint32_t modifiers, uint32_t virtual_key);

  private:
    struct Listener;  // the listener thread with its connection and grabs
    HotkeyService(std::unique_ptr<Listener> listener, std::unique_ptr<HotkeyBackend> portal, bool global);
    std::unique_ptr<Listener> listener_;     // the X11 grabs, or
    std::unique_ptr<HotkeyBackend> portal_;  // the desktop's GlobalShortcuts portal
    bool global_ = true;
};

}  // namespace vexa::desktop
