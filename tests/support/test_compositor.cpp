#include "tests/support/test_compositor.h"

#include <X11/Xlib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/wait_until.h"

namespace vexa::test {

bool SelectionOwnerProgram::Owned(const std::string& selection) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    const std::string name = selection + std::to_string(DefaultScreen(d));
    const bool owned = XGetSelectionOwner(d, XInternAtom(d, name.c_str(), False)) != 0;
    XCloseDisplay(d);
    return owned;
}

SelectionOwnerProgram::SelectionOwnerProgram(const char* program, const std::string& selection)
    : selection_(selection) {
    if (Owned(selection_)) {
        why_ = std::string("another program owns ") + selection_ + ", so " + program + " cannot run";
        return;
    }
    char* argv[] = {const_cast<char*>(program), nullptr};
    if (posix_spawnp(&pid_, program, nullptr, nullptr, argv, environ) != 0) {
        pid_ = -1;
        why_ = std::string(program) + " cannot be started (is it installed?)";
        return;
    }
    (void)WaitUntil([this] {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;  // it ended: no point waiting
            return true;
        }
        return Owned(selection_);
    });
    running_ = pid_ > 0 && Owned(selection_);
    if (!running_)
        why_ = std::string(program) +
               (pid_ < 0 ? " did not start (is it installed?)" : " never took its selection");
}

SelectionOwnerProgram::~SelectionOwnerProgram() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    (void)WaitUntil([this] { return !Owned(selection_); });
}

}  // namespace vexa::test
