// Waiting until the application has handled the input a test sent, instead of running its event
// loop for a while and hoping: for the window tests on the X display of tools/with-test-env.sh.
// User-interface thread only; with Qt on another platform (offscreen) SettleDisplay just runs the
// event loop once.
#pragma once

#include <chrono>

struct _XDisplay;  // Xlib's Display, kept out of this header: its macros clash with the toolkit

namespace vexa::test {

// Returns once the application has handled every event the X server had sent it when the call
// began, and the server has carried out every request the application made meanwhile. `input` is
// the connection the test sent its input through (XTest), whose requests are sent on first; null
// when the input went through a connection that already waited for the server. A marker event goes
// to one of the application's windows behind that input: the server queues it behind the events
// the input caused, and the application handles its events in order. What the application defers
// to a timer is not covered: wait for that condition itself, or for PumpPast.
// False when the marker did not arrive in time.
bool SettleDisplay(_XDisplay* input = nullptr);

// Runs the event loop until a timer started now for `span` has fired: every timer of the
// application that was due before it has fired as well, however slowly the loop runs. The proof
// for a check that a timer did nothing (a bar that stays where it is).
void PumpPast(std::chrono::milliseconds span);

}  // namespace vexa::test
