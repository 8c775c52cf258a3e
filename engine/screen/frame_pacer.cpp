#include "engine/screen/frame_pacer.h"

#include <algorithm>

namespace vexa::engine {

FramePacer::FramePacer(int64_t period) : period_(std::max<int64_t>(period, 1)) {}

int64_t FramePacer::WaitFrom(int64_t now) const {
    return started_ ? std::max<int64_t>(next_ - now, 0) : 0;
}

void FramePacer::Grabbed(int64_t now) {
    if (!started_) {
        started_ = true;
        next_ = now + period_;
        return;
    }
    // Deadlines already passed are skipped, not caught up on.
    if (next_ <= now) next_ += ((now - next_) / period_ + 1) * period_;
}

}  // namespace vexa::engine
