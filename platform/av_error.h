// FFmpeg's error numbers as the shared Error type: the message names what failed and FFmpeg's reason
// ("cannot open output file /x/y.mp4: No space left on device"), and the code follows the errno
// value that FFmpeg wraps (AVERROR(ENOSPC) gives kNoSpace). Thread-safe (no state).
#pragma once

#include <string>

#include "platform/error.h"

namespace vexa {

// FFmpeg's text for an error number ("Invalid argument", "Encoder not found").
[[nodiscard]] std::string AvErrorText(int averror);

// "<what>: <AvErrorText>" with the fitting code; the errno value, when FFmpeg wraps one, as native.
[[nodiscard]] Error AvError(int averror, const std::string& what);

}  // namespace vexa
