// A private Xvfb for one test process, so that tests which draw on the screen and wait for a still
// screen are not disturbed by other tests running at the same time, and may even stop the server.
// Owned by the test thread; not thread-safe.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vexa::platform::testing {

class PrivateXServer {
  public:
    // Starts Xvfb with one 1920×1080×24 screen and the given extra arguments (for example
    // {"-extension", "MIT-SHM"}); Running() tells whether it came up.
    explicit PrivateXServer(const std::vector<std::string>& extra_args = {});
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    [[nodiscard]] bool Running() const { return pid_ > 0 && !name_.empty(); }
    [[nodiscard]] const char* Name() const { return name_.c_str(); }  // ":N"
    // Ends the server at once (SIGKILL) and reaps it.
    void Kill();

  private:
    pid_t pid_ = -1;
    std::string name_;
};

// True when an Xvfb binary can be found on PATH.
[[nodiscard]] bool XvfbAvailable();

}  // namespace vexa::platform::testing
