// Opening a file the program keeps for itself (its log, the settings, the updater): it must be a
// regular file. The open never blocks, whatever has the name (a FIFO waits for a peer, a device may
// wait for a line), and anything that is not a regular file is refused with the reason.
// Thread-safe.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/unique_fd.h"

namespace vexa::platform {

// open(path, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode), then refuses what is not a regular
// file ("/a/b is not a regular file"). Fails with "<what> <path>: <reason>" otherwise.
[[nodiscard]] Result<UniqueFd> OpenRegularFile(const std::string& path, int flags, mode_t mode = 0600,
                                               std::string_view what = "cannot open");

}  // namespace vexa::platform
