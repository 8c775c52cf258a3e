// Process-wide initialisation of the network library (libcurl). The main window creates one instance
// before any request and keeps it for the life of the process; not thread-safe: construct and destroy
// it on one thread while no transfer runs.
#pragma once

namespace net {

class NetworkLibrary {
  public:
    NetworkLibrary();
    ~NetworkLibrary();
    NetworkLibrary(const NetworkLibrary&) = delete;
    NetworkLibrary& operator=(const NetworkLibrary&) = delete;

    // False when initialisation failed: the caller tells the user and skips the update check.
    [[nodiscard]] bool Ready() const { return ready_; }

  private:
    bool ready_;
};

}  // namespace net
