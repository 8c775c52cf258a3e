// Copying blocks of 32-bit pixels between buffers without row padding (line size = width × 4),
// clipped against both buffers. Coordinates count rows from the top of the picture; a buffer stored
// bottom-up has its first row at the bottom. Pure functions; thread-safe.
#pragma once

#include <cstdint>

namespace vexa::engine {

struct PixelBuffer {
    uint8_t* pixels;
    int width;
    int height;
    bool bottom_up;
};

struct ConstPixelBuffer {
    const uint8_t* pixels;
    int width;
    int height;
    bool bottom_up;
};

// Copies the w × h block at (sx, sy) of src to (dx, dy) of dst.
void CopyRect(const PixelBuffer& dst, int dx, int dy, const ConstPixelBuffer& src, int sx, int sy, int w,
              int h);

// Draws premultiplied ARGB pixels (w × h, top-down) over dst at (dx, dy), clipped.
void BlendArgb(const PixelBuffer& dst, int dx, int dy, const uint32_t* argb, int w, int h);

}  // namespace vexa::engine
