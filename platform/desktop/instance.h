// Finding the program's running instance and talking to its windows: a top-level window found by
// class and title, and messages posted to it from another process. A second start looks for the
// main window by its WM_CLASS and title and posts it a message; the first instance's toolkit hands
// every xcb event it receives to ParseWindowMessage and acts on the messages that come out.
//
// A message travels as a ClientMessage of type "_VEXA_WINDOW_MESSAGE", format 32, sent to the
// window with an empty event mask (so the X server delivers it to the window's creator):
// data32[0] = message, data32[1] = wparam, data32[2] = lparam. Only 32 bits of each parameter
// travel: wparam above 0xFFFFFFFF and lparam outside the int32 range are refused.
//
// All functions are thread-safe and use the process's shared desktop connection to $DISPLAY (the
// program's own display) for their atoms; ParseWindowMessage touches it only for client messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/error.h"

namespace vexa::desktop {

// A top-level window (not hidden frames) whose WM_CLASS instance or class part equals
// window_class and whose title (_NET_WM_NAME in UTF-8, else WM_NAME) equals title: both must
// match. Hidden windows count. Looks at the window manager's _NET_CLIENT_LIST when there is one,
// and at the root's children and grandchildren (client windows inside window-manager frames, or
// every top-level window on a server without a window manager). 0 when there is none;
// kUnavailable when the display cannot be reached.
[[nodiscard]] Result<uint32_t> FindTopLevelWindow(std::string_view window_class, std::string_view title);

// Sends the message to the window without waiting for it to be handled. kNotFound when the
// window does not exist (any more), kInvalidArgument for parameters wider than 32 bits.
[[nodiscard]] Error PostWindowMessage(uint32_t window, uint32_t message, uintptr_t wparam, intptr_t lparam);

struct WindowMessage {
    uint32_t window = 0;  // the window it was sent to
    uint32_t message = 0;
    uintptr_t wparam = 0;
    intptr_t lparam = 0;  // sign-extended from 32 bits
    friend bool operator==(const WindowMessage&, const WindowMessage&) = default;
};

// Decodes one of our messages from an xcb_generic_event_t (as a Qt native event filter receives
// it); nothing for every other event.
[[nodiscard]] std::optional<WindowMessage> ParseWindowMessage(const void* xcb_generic_event);

}  // namespace vexa::desktop
