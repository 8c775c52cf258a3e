// The virtual camera's picture: colour bars that scroll with the frame number, a white block that
// bounces left and right, and the frame number in large digits in the top-left corner. Painted as
// planar YUV 4:2:2, from which the virtual camera packs YUYV or encodes MJPG.
// Pure functions on caller-owned memory; thread-safe.
#pragma once

#include <cstdint>
#include <vector>

namespace vexa::platform {

struct Yuv422Picture {
    int width = 0;  // even
    int height = 0;
    std::vector<uint8_t> y, u, v;  // y: width × height; u, v: width / 2 × height
};

// (Re)sizes the picture and paints frame number `frame` into it.
void PaintTestPattern(Yuv422Picture& picture, int width, int height, uint64_t frame);

// Packs the picture as YUYV 4:2:2 (Y0 U Y1 V), width × 2 bytes per row, into out.
void PackYuyv(const Yuv422Picture& picture, std::vector<uint8_t>& out);

}  // namespace vexa::platform
