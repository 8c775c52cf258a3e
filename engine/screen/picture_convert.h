// The fast picture path: 32-bit BGRA screen pictures become the encoder's planar 4:2:0 (BT.601,
// limited range, as swscale's default) with libyuv's SIMD routines, with no scaling. Pure functions;
// thread-safe.
#pragma once

#include <cstdint>

namespace vexa::engine {

// The destination planes of one 4:2:0 picture.
struct I420Planes {
    uint8_t* y;
    int y_stride;
    uint8_t* u;
    int u_stride;
    uint8_t* v;
    int v_stride;
};

// Converts rows [top, top + rows) of a width × height BGRA picture (rows src_stride bytes apart; a
// negative stride walks upwards from src) into the same rows of dst. top and rows must be even
// unless the range reaches the picture's last row. False when the arguments are out of range.
[[nodiscard]] bool BgraToI420Rows(const uint8_t* src, int src_stride, int width, int height, int top,
                                  int rows, const I420Planes& dst);

}  // namespace vexa::engine
