// A recording's duration, read from its container with libavformat. Opening a finished MP4 reads its
// header (the "moov" box), which holds the duration; a fragmented one (still being written, or left
// so by a crash) names none there, and its duration is the end of its longest stream, which opening
// the file learns from the fragments' own headers. No packet is decoded either way, so a short or
// long recording costs about the same. A damaged file, or one that is not media at all, fails.
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
