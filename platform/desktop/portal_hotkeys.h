// Global hotkeys through the desktop's GlobalShortcuts portal (Wayland): every registered chord
// bound as a shortcut with the chord as its preferred trigger ("CTRL+F7"), and the portal's
// Activated signal calling back once per press. Registrations are gathered for a moment (300 ms
// after the last) and then bound together in a new portal session that carries all of them, made
// with them (KDE's portal takes a session's shortcuts only when it is created, and refuses a key
// another session holds); the session before closes. Register checks the chord and returns; a
// binding the desktop refuses is logged. The desktop may let the user change the trigger; a
// shortcut stays bound until its session ends, and Unregister only stops its calls.
// Threads: like the X11 grabs (hotkey_service.h): a listener thread owns the bus connection and
// calls on_hotkey; Register and Unregister run their work there and return when it is done.
#pragma once

#include <memory>
#include <string>

#include "platform/desktop/hotkey_service.h"

namespace vexa::desktop {

// kUnavailable when the desktop offers no GlobalShortcuts portal or refuses the session.
[[nodiscard]] Result<std::unique_ptr<HotkeyBackend>> OpenPortalHotkeys(HotkeyService::Callback on_hotkey);

// The portal's trigger text for a chord ("CTRL+ALT+SHIFT+LOGO+F7", "CTRL+a"); "" for a key outside
// the hotkey list.
[[nodiscard]] std::string PortalTrigger(uint32_t modifiers, uint32_t virtual_key);

}  // namespace vexa::desktop
