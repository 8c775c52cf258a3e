#include "engine/screen/rect_copy.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace vexa::engine {
namespace {

uint8_t* RowOf(const PixelBuffer& b, int y) {
    const int row = b.bottom_up ? b.height - 1 - y : y;
    return b.pixels + static_cast<std::ptrdiff_t>(row) * b.width * 4;
}

const uint8_t* RowOf(const ConstPixelBuffer& b, int y) {
    const int row = b.bottom_up ? b.height - 1 - y : y;
    return b.pixels + static_cast<std::ptrdiff_t>(row) * b.width * 4;
}

// Shrinks the block so that [pos, pos + len) lies inside [0, limit) on one axis for one side,
// moving the other side's start along.
void ClipAxis(int& pos, int& other, int& len, int limit) {
    if (pos < 0) {
        other -= pos;
        len += pos;
        pos = 0;
    }
    len = std::min(len, limit - pos);
}

// Premultiplied "over" for one channel: src + dst × (1 − alpha), saturated for images that are not
// quite premultiplied.
uint8_t Over(uint32_t src, uint32_t dst, uint32_t keep) {
    return static_cast<uint8_t>(std::min<uint32_t>(255, src + (dst * keep + 127) / 255));
}

}  // namespace

void CopyRect(const PixelBuffer& dst, int dx, int dy, const ConstPixelBuffer& src, int sx, int sy, int w,
              int h) {
    ClipAxis(dx, sx, w, dst.width);
    ClipAxis(sx, dx, w, src.width);
    ClipAxis(dy, sy, h, dst.height);
    ClipAxis(sy, dy, h, src.height);
    if (w <= 0 || h <= 0) return;
    for (int y = 0; y < h; ++y) {
        std::memcpy(RowOf(dst, dy + y) + dx * 4, RowOf(src, sy + y) + sx * 4, static_cast<size_t>(w) * 4);
    }
}

void BlendArgb(const PixelBuffer& dst, int dx, int dy, const uint32_t* argb, int w, int h) {
    const int stride = w;
    int sx = 0, sy = 0;
    ClipAxis(dx, sx, w, dst.width);
    ClipAxis(dy, sy, h, dst.height);
    if (w <= 0 || h <= 0) return;
    for (int y = 0; y < h; ++y) {
        uint8_t* out = RowOf(dst, dy + y) + dx * 4;
        const uint32_t* in = argb + static_cast<std::ptrdiff_t>(sy + y) * stride + sx;
        for (int x = 0; x < w; ++x, out += 4) {
            const uint32_t p = in[x];
            const uint32_t a = p >> 24;
            const uint32_t keep = 255 - a;
            out[0] = Over(p & 0xFF, out[0], keep);
            out[1] = Over((p >> 8) & 0xFF, out[1], keep);
            out[2] = Over((p >> 16) & 0xFF, out[2], keep);
            out[3] = Over(a, out[3], keep);
        }
    }
}

}  // namespace vexa::engine
