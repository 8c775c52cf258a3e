#include "tests/ui/test_pointer.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace vexa::ui::testing {

struct TestPointer::Connection {
    Display* display = XOpenDisplay(nullptr);
    ~Connection() {
        if (display) XCloseDisplay(display);
    }
};

TestPointer::TestPointer() : connection_(std::make_unique<Connection>()) {}

TestPointer::~TestPointer() = default;

bool TestPointer::ok() const {
    return connection_->display != nullptr;
}

void TestPointer::MoveTo(int x, int y) {
    XTestFakeMotionEvent(connection_->display, -1, x, y, CurrentTime);
    XSync(connection_->display, False);
}

void TestPointer::Button(bool down) {
    XTestFakeButtonEvent(connection_->display, 1, down ? True : False, CurrentTime);
    XSync(connection_->display, False);
}

}  // namespace vexa::ui::testing
