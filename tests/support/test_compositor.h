// Desktop programs for the tests that check how the windows look and behave on a real desktop: a
// compositing manager (xcompmgr) and a plain window manager (openbox), each started on the test
// display, waited for until it owns its ICCCM selection (_NET_WM_CM_S<screen>, WM_S<screen>), and
// ended (its selection waited away) when the object goes. Main thread; one of each per display.
#pragma once

#include <sys/types.h>

#include <string>

namespace vexa::test {

class SelectionOwnerProgram {
  public:
    // Starts `program` on $DISPLAY unless `selection` (with the screen number appended) is owned.
    SelectionOwnerProgram(const char* program, const std::string& selection);
    ~SelectionOwnerProgram();
    SelectionOwnerProgram(const SelectionOwnerProgram&) = delete;
    SelectionOwnerProgram& operator=(const SelectionOwnerProgram&) = delete;

    [[nodiscard]] bool Running() const { return running_; }
    // Why it does not run (not installed, another owner, it never took the selection).
    [[nodiscard]] const std::string& Why() const { return why_; }
    // Whether the display's selection `selection` + screen number has an owner now.
    [[nodiscard]] static bool Owned(const std::string& selection);

  private:
    std::string selection_;
    pid_t pid_ = -1;
    bool running_ = false;
    std::string why_;
};

class TestCompositor : public SelectionOwnerProgram {
  public:
    TestCompositor() : SelectionOwnerProgram("xcompmgr", "_NET_WM_CM_S") {}
    [[nodiscard]] static bool SelectionOwned() { return Owned("_NET_WM_CM_S"); }
};

class TestWindowManager : public SelectionOwnerProgram {
  public:
    TestWindowManager() : SelectionOwnerProgram("openbox", "WM_S") {}
};

}  // namespace vexa::test
