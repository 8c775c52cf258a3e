// The codec library's own messages (FFmpeg writes them to standard error): a program sets them once
// at start-up, before any recording or file probe. Quiet unless VEXA_VERBOSE is set, because a
// file still being written has no index yet and such notes are not the user's business.
// Thread-safety: call once on the first thread, before other threads use the library.
#pragma once

namespace vexa::engine {

// Fatal messages only; informational ones too when the environment sets VEXA_VERBOSE.
void SetCodecLogLevelFromEnvironment();

}  // namespace vexa::engine
