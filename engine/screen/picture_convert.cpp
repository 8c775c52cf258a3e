#include "engine/screen/picture_convert.h"

#include <libyuv/convert.h>

#include <cstring>
#include <new>

namespace vexa::engine {
namespace {

int Half(int n) {
    return (n + 1) / 2;
}

bool Inside(const PictureView& p, int x, int y, int w, int h) {
    return w > 0 && h > 0 && x >= 0 && y >= 0 && x <= p.width - w && y <= p.height - h;
}

void CopyRows(uint8_t* dst, int dst_stride, const uint8_t* src, int src_stride, int bytes, int rows) {
    for (int row = 0; row < rows; ++row) {
        std::memcpy(dst + static_cast<ptrdiff_t>(row) * dst_stride,
                    src + static_cast<ptrdiff_t>(row) * src_stride, static_cast<size_t>(bytes));
    }
}

}  // namespace

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

size_t PictureBytes(PictureFormat format, int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    if (format == PictureFormat::kBgra) return w * h * 4;
    return w * h + 2 * static_cast<size_t>(Half(width)) * static_cast<size_t>(Half(height));
}

PictureView LayOutPicture(PictureFormat format, int width, int height, uint8_t* memory) {
    PictureView v;
    v.format = format;
    v.width = width;
    v.height = height;
    if (format == PictureFormat::kBgra) {
        v.data[0] = memory;
        v.stride[0] = width * 4;
        return v;
    }
    v.data[0] = memory;
    v.stride[0] = width;
    v.data[1] = memory + static_cast<size_t>(width) * static_cast<size_t>(height);
    v.stride[1] = Half(width);
    v.data[2] = v.data[1] + static_cast<size_t>(Half(width)) * static_cast<size_t>(Half(height));
    v.stride[2] = Half(width);
    return v;
}

bool Picture::Allocate(PictureFormat format, int width, int height) {
    const size_t bytes = PictureBytes(format, width, height);
    if (bytes == 0) return false;
    memory_.reset(new (std::nothrow) uint8_t[bytes]);
    if (!memory_) {
        bytes_ = 0;
        view_ = {};
        return false;
    }
    bytes_ = bytes;
    view_ = LayOutPicture(format, width, height, memory_.get());
    return true;
}

void Picture::CopyFrom(const Picture& other) {
    if (other.bytes_ == bytes_ && memory_) std::memcpy(memory_.get(), other.memory_.get(), bytes_);
}

bool BlockAligned(const PictureView& p, int x, int y, int w, int h) {
    if (p.format == PictureFormat::kBgra) return true;
    return x % 2 == 0 && y % 2 == 0 && (w % 2 == 0 || x + w == p.width) && (h % 2 == 0 || y + h == p.height);
}

bool CopyPictureBlock(const PictureView& dst, int dx, int dy, const PictureView& src, int sx, int sy, int w,
                      int h) {
    if (dst.format != src.format || !Inside(dst, dx, dy, w, h) || !Inside(src, sx, sy, w, h)) return false;
    if (dst.format == PictureFormat::kBgra) {
        CopyRows(dst.data[0] + static_cast<ptrdiff_t>(dy) * dst.stride[0] + dx * 4, dst.stride[0],
                 src.data[0] + static_cast<ptrdiff_t>(sy) * src.stride[0] + sx * 4, src.stride[0], w * 4, h);
        return true;
    }
    if (!BlockAligned(dst, dx, dy, w, h) || !BlockAligned(src, sx, sy, w, h)) return false;
    CopyRows(dst.data[0] + static_cast<ptrdiff_t>(dy) * dst.stride[0] + dx, dst.stride[0],
             src.data[0] + static_cast<ptrdiff_t>(sy) * src.stride[0] + sx, src.stride[0], w, h);
    for (int plane = 1; plane < 3; ++plane) {
        CopyRows(dst.data[plane] + static_cast<ptrdiff_t>(dy / 2) * dst.stride[plane] + dx / 2,
                 dst.stride[plane],
                 src.data[plane] + static_cast<ptrdiff_t>(sy / 2) * src.stride[plane] + sx / 2,
                 src.stride[plane], Half(w), Half(h));
    }
    return true;
}

bool ConvertBgraBlock(const uint8_t* src, int src_stride, const PictureView& dst, int x, int y, int w,
                      int h) {
    if (!src || !Inside(dst, x, y, w, h) || !BlockAligned(dst, x, y, w, h)) return false;
    if (dst.format == PictureFormat::kBgra) {
        CopyRows(dst.data[0] + static_cast<ptrdiff_t>(y) * dst.stride[0] + x * 4, dst.stride[0], src,
                 src_stride, w * 4, h);
        return true;
    }
    // libyuv's "ARGB" is the little-endian word 0xAARRGGBB: bytes B, G, R, A in memory.
    return libyuv::ARGBToI420(
               src, src_stride, dst.data[0] + static_cast<ptrdiff_t>(y) * dst.stride[0] + x, dst.stride[0],
               dst.data[1] + static_cast<ptrdiff_t>(y / 2) * dst.stride[1] + x / 2, dst.stride[1],
               dst.data[2] + static_cast<ptrdiff_t>(y / 2) * dst.stride[2] + x / 2, dst.stride[2], w, h) == 0;
}

}  // namespace vexa::engine
