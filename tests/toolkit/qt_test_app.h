// The Qt application every test executable that compiles qt_test_app.cpp shares: offscreen, or on
// the X display for the integration tests (built with VEXA_TEST_ON_DISPLAY); and the fixture of the
// tests that need their windows on that display. Main thread only.
#pragma once

#include <gtest/gtest.h>

namespace vexa::test {

// A test whose windows must be on an X display: skipped, saying why, when the application is not
// on one (QT_QPA_PLATFORM=offscreen, say); otherwise SetUpOnDisplay() prepares it.
class OnXDisplay : public ::testing::Test {
  protected:
    void SetUp() final;
    virtual void SetUpOnDisplay() {}
};

}  // namespace vexa::test
