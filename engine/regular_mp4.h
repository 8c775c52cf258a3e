// Finishing a recording in place: a fragmented MP4 (or M4A) becomes a regular one without copying its
// data. One regular index (moov) is appended after the last fragment, indexing every sample where it
// already lies, and pushed to the disk; then a single 16-byte write turns the fragmented header's own
// box header into the header of one media-data box (mdat, 64-bit size) that spans everything from
// there to the new index: the old header, every fragment header (moof) and the fragment index (mfra)
// become opaque bytes inside it, which every reader skips. The file plays at every moment: before
// that write it is the fragmented file with an unused second header near its end (readers take the
// first) followed by a copy of its fragment index (readers such as GStreamer find the fragments
// through the index at the file's end), after it the regular file; the write lies inside one disk
// sector, so a power cut leaves one or the other. The copy then becomes free space. The stop costs the index,
// one small write and two syncs, and needs free disk space for the index only. When the index cannot be
// written (a full disk, a file size limit) the file is cut back to its fragmented length and stays as it was.
//
// A file cut short (a crash) is finished up to its last whole fragment; whatever follows (a cut
// fragment, or the index of a finish the crash interrupted) is replaced by the index. Pure functions
// over a file descriptor or bytes; reentrant, no shared state.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/error.h"

namespace vexa::engine {

// What finishing a file in place writes.
struct InPlaceFinish {
    std::vector<uint8_t> index;           // the whole regular moov box; empty: nothing to index
    uint64_t index_offset = 0;            // where it goes: the end of the last whole fragment
    std::vector<uint8_t> fragment_index;  // a copy of the last box, the fragment index (mfra), to
                                          // follow the index until the file is regular; may be empty
    uint64_t wrap_offset = 0;             // where the mdat header spanning the fragments goes
    std::array<uint8_t, 16> wrap{};       // that header: 64-bit size up to index_offset, type "mdat"
    uint64_t samples = 0;                 // samples indexed, all tracks
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
