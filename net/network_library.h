// Process-wide initialisation of the network library (libcurl). The main window creates one instance
// before any request and keeps it for the life of the process; not thread-safe: construct and destroy
// it on one thread while no transfer runs.
#pragma once

#include "platform/error.h"

namespace vexa::net {

class NetworkLibrary {
  public:
    NetworkLibrary();
    ~NetworkLibrary();
    NetworkLibrary(const NetworkLibrary&) = delete;
    NetworkLibrary& operator=(const NetworkLibrary&) = delete;

    // Not ok when initialisation failed: the caller tells the user and skips the update check.
    [[nodiscard]] const vexa::Error& Status() const { return status_; }

  private:
    vexa::Error status_;
};

}  // namespace vexa::net
