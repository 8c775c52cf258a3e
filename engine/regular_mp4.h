// Finishing a recording in place: a fragmented MP4 (or M4A) becomes a regular one without copying its
// data. One regular index (moov) is appended after the last fragment, indexing every sample where it
// already lies; then the fragmented header and every fragment header (moof, and the fragment index
// mfra) are renamed to free space ("free"), which every reader skips. The file plays at every step:
// until the renames it is the fragmented file with an unused box at its end. The stop costs the index
// only, and needs free disk space for the index only. When the index cannot be written (a full disk,
// a file size limit) the file is cut back to its fragmented length and stays as it was.
//
// A file cut short (a crash) is finished up to its last whole fragment; whatever follows is replaced
// by the index. Pure functions over a file descriptor or bytes; reentrant, no shared state.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/error.h"

namespace vexa::engine {

// What finishing a file in place writes.
struct InPlaceFinish {
    std::vector<uint8_t> index;         // the whole regular moov box; empty: nothing to index
    uint64_t index_offset = 0;          // where it goes: the end of the last whole fragment
    std::vector<uint64_t> freed_boxes;  // offsets of the boxes whose type becomes "free"
    uint64_t samples = 0;               // samples indexed, all tracks
};

// Reads n bytes at offset into buffer; false when they are not all there.
using ReadAt = std::function<bool(uint64_t offset, void* buffer, size_t n)>;

// Plans the finish of a fragmented file of the given size: nothing to write (an empty index) when it
// holds no sample yet. Fails with kInvalidArgument and the reason when the file is not a fragmented
// MP4 this can index ("the file is not fragmented", "a sample lies outside the file", ...).
[[nodiscard]] Result<InPlaceFinish> PlanInPlaceFinish(const ReadAt& read, uint64_t size);

// Finishes the file at path in place. Fails with the reason ("cannot finish /a/b.mp4: No space left
// on device"); the file is then still the fragmented file it was.
[[nodiscard]] Error FinishInPlace(const std::string& path);

}  // namespace vexa::engine
