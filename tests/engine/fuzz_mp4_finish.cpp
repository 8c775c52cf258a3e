// libFuzzer target: arbitrary bytes as a fragmented MP4 to finish in place. The planner must refuse
// or index them without crashing, hanging or leaking; an index it makes must lie after the data it
// read, and the header that spans the fragments must lie before it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/regular_mp4.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vexa::engine::ReadAt read = [&](uint64_t offset, void* buffer, size_t n) {
        if (offset > size || n > size - offset) return false;
        if (n != 0) std::memcpy(buffer, data + offset, n);  // an empty read may name no buffer
        return true;
    };
    const vexa::Result<vexa::engine::InPlaceFinish> plan = vexa::engine::PlanInPlaceFinish(read, size);
    if (!plan.ok()) return 0;
    if (plan->samples == 0) {
        if (!plan->index.empty()) std::abort();
        return 0;
    }
    if (plan->index_offset > size || plan->index.size() < 8) std::abort();
    if (plan->wrap_offset + 16 > plan->index_offset) std::abort();
    if (plan->fragment_index.size() > plan->index_offset) std::abort();  // a copy of a box it read
    return 0;
}
