// The pointer of the test display, driven through XTest like a user's hand; each call returns once
// the X server has sent the events on. Xlib stays inside the .cpp (its macros clash with the
// toolkit's names). One thread.
#pragma once

#include <memory>

namespace vexa::ui::testing {

class TestPointer {
  public:
    TestPointer();  // opens its own connection to $DISPLAY
    ~TestPointer();
    TestPointer(const TestPointer&) = delete;
    TestPointer& operator=(const TestPointer&) = delete;

    [[nodiscard]] bool ok() const;
    void MoveTo(int x, int y);
    // The left button, pressed or released where the pointer stands.
    void Button(bool down);

  private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
};

}  // namespace vexa::ui::testing
