// One Qt application for every test of the executable: offscreen, or on the X display for the
// integration tests (built with VEXA_TEST_ON_DISPLAY).
#include "tests/toolkit/qt_test_app.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <memory>

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
#ifndef VEXA_TEST_ON_DISPLAY
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
        static int argc = 1;
        static char name[] = "vexa_toolkit_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        app_.reset();
    }

  private:
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

namespace vexa::test {

void OnXDisplay::SetUp() {
    if (QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "needs an X display, not " << QGuiApplication::platformName().toStdString();
    SetUpOnDisplay();
}

}  // namespace vexa::test
