// Finishing a recording: a fragmented MP4 (or M4A) becomes a regular one, one index after the
// packets, which every player and editor reads with its full duration. The packets are copied
// unchanged, in their time order, into "<path>.vexa-finish" beside the file; that copy reaches the
// disk and then replaces the file. The copy is always a new file: whatever has its name already (a
// copy a crash left, a link) makes the finishing fail and stays untouched. When anything fails the
// fragmented file stays as it was (it plays as it is) and a copy begun here is removed.
// Runs on the caller's thread (the session's stop sequence); reentrant.
#pragma once

#include <string>

#include "platform/error.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace vexa::engine {

// The name of the copy while it is being written.
[[nodiscard]] std::string FinishingCopyPath(const std::string& path);

// Rewrites the file at path with the given muxer (the one that wrote it). Fails with the reason
// ("cannot finish /a/b.mp4: No space left on device").
[[nodiscard]] Error RewriteAsRegularMp4(const std::string& path, const AVOutputFormat* format);

}  // namespace vexa::engine
