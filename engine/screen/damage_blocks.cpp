#include "engine/screen/damage_blocks.h"

#include <algorithm>
#include <cstdint>

namespace vexa::engine {
namespace {

// More separate blocks than this cost more round trips than the larger box costs pixels.
constexpr size_t kMaxBlocks = 8;

int64_t Area(const platform::ScreenRect& r) {
    return static_cast<int64_t>(r.right - r.left) * (r.bottom - r.top);
}

}  // namespace

std::vector<platform::ScreenRect> ChangedBlocks(const std::vector<platform::ScreenRect>& dirty,
                                                const platform::ScreenRect& crop) {
    const int width = crop.right - crop.left;
    const int height = crop.bottom - crop.top;
    std::vector<platform::ScreenRect> blocks;
    if (width <= 0 || height <= 0) return blocks;
    platform::ScreenRect box{width, height, 0, 0};
    int64_t area = 0;
    for (const platform::ScreenRect& r : dirty) {
        platform::ScreenRect b{std::max(r.left, crop.left) - crop.left, std::max(r.top, crop.top) - crop.top,
                               std::min(r.right, crop.right) - crop.left,
                               std::min(r.bottom, crop.bottom) - crop.top};
        if (b.right <= b.left || b.bottom <= b.top) continue;
        b.left &= ~1;
        b.top &= ~1;
        b.right = std::min(width, b.right + (b.right & 1));
        b.bottom = std::min(height, b.bottom + (b.bottom & 1));
        box = {std::min(box.left, b.left), std::min(box.top, b.top), std::max(box.right, b.right),
               std::max(box.bottom, b.bottom)};
        area += Area(b);
        blocks.push_back(b);
    }
    if (blocks.size() > 1 && (blocks.size() > kMaxBlocks || 2 * area >= Area(box))) blocks.assign(1, box);
    return blocks;
}

}  // namespace vexa::engine
