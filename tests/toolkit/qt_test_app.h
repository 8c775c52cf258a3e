// The Qt application every test executable that compiles qt_test_app.cpp shares: offscreen, or on
// the X display for the integration tests (built with VEXA_TEST_ON_DISPLAY). Main thread only.
#pragma once

#include <string>

namespace vexa::test {

// Why a test that needs windows on an X display cannot run here ("needs an X display, not
// offscreen"), or "" when the application is on one.
[[nodiscard]] std::string MissingXDisplay();

}  // namespace vexa::test
