#include "engine/screen/picture_convert.h"

#include <libyuv/convert.h>

#include <cstddef>

namespace vexa::engine {

bool BgraToI420Rows(const uint8_t* src, int src_stride, int width, int height, int top, int rows,
                    const I420Planes& dst) {
    if (!src || width <= 0 || height <= 0 || top < 0 || rows <= 0 || top + rows > height) return false;
    if (top % 2 != 0 || (rows % 2 != 0 && top + rows != height)) return false;
    const ptrdiff_t chroma_top = top / 2;
    // libyuv's "ARGB" is the little-endian word 0xAARRGGBB: bytes B, G, R, A in memory.
    return libyuv::ARGBToI420(src + static_cast<ptrdiff_t>(top) * src_stride, src_stride,
                              dst.y + static_cast<ptrdiff_t>(top) * dst.y_stride, dst.y_stride,
                              dst.u + chroma_top * dst.u_stride, dst.u_stride,
                              dst.v + chroma_top * dst.v_stride, dst.v_stride, width, rows) == 0;
}

}  // namespace vexa::engine
