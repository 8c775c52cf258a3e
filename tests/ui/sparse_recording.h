// Recordings of any length made in a moment, for the recordings list's tests and benchmark: an MP4
// holding one AC-3 sound stream of real packets. A sparse recording has a few packets whose time
// stamps span the whole duration (the first at 0, the last ending at `duration`, others every 10
// hours in between, since one MP4 sample lasts less than 2^31 ticks); a dense one has every packet,
// back to back, so its header is as large as a real recording's of that length. Either way the
// container's duration is exactly `duration`. A fragmented one is a dense one written as a recording
// is while it runs: an empty header, then fragments of one second.
// Any thread; each call writes its own file.
#pragma once

#include <chrono>
#include <string>

namespace vexa::test {

// Both throw std::runtime_error when the file cannot be written.
void WriteSparseRecording(const std::string& path, std::chrono::seconds duration);
void WriteDenseRecording(const std::string& path, std::chrono::seconds duration);
void WriteFragmentedRecording(const std::string& path, std::chrono::seconds duration);

}  // namespace vexa::test
