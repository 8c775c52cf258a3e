// A finished recording's duration, read from its container with libavformat. Opening the file
// reads its header (an MP4's "moov" box), which holds the duration; no packet is decoded, so a
// short or long recording costs about the same. A file still being written has no "moov" box yet
// and fails, as does a damaged one or one that is not media at all.
// Thread-safe: each call opens its own demuxer.
#pragma once

#include <chrono>
#include <string>

#include "platform/error.h"

namespace vexa::ui {

// kNotFound for a missing file; otherwise FFmpeg's reason ("cannot read the duration of /a/b.mp4:
// Invalid data found when processing input"), or kUnsupported when the container names none.
[[nodiscard]] Result<std::chrono::microseconds> ReadRecordingDuration(const std::string& path);

}  // namespace vexa::ui
