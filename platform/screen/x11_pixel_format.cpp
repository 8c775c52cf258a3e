#include "platform/screen/x11_pixel_format.h"

#include <bit>
#include <cstddef>
#include <cstring>

namespace vexa::platform {
namespace {

// Shift of an 8-bit mask on a byte boundary inside 32 bits; -1 for any other mask.
int ByteShift(unsigned long mask) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (mask == (0xFFul << shift)) return shift;
    }
    return -1;
}

uint32_t LoadWord(const uint8_t* p, bool msb_first) {
    uint32_t word;
    std::memcpy(&word, p, sizeof word);
    const bool swap = msb_first == (std::endian::native == std::endian::little);
    return swap ? __builtin_bswap32(word) : word;
}

void ConvertRow(const PixelLayout& layout, const uint8_t* src, uint8_t* dst, int width) {
    for (int x = 0; x < width; ++x, src += 4, dst += 4) {
        const uint32_t word = LoadWord(src, layout.msb_first);
        dst[0] = static_cast<uint8_t>(word >> layout.blue_shift);
        dst[1] = static_cast<uint8_t>(word >> layout.green_shift);
        dst[2] = static_cast<uint8_t>(word >> layout.red_shift);
        dst[3] = static_cast<uint8_t>(word >> layout.alpha_shift);
    }
}

}  // namespace

std::optional<PixelLayout> MakePixelLayout(unsigned long red_mask, unsigned long green_mask,
                                           unsigned long blue_mask, int bits_per_pixel, bool msb_first) {
    if (bits_per_pixel != 32) return std::nullopt;
    PixelLayout layout;
    layout.red_shift = ByteShift(red_mask);
    layout.green_shift = ByteShift(green_mask);
    layout.blue_shift = ByteShift(blue_mask);
    layout.msb_first = msb_first;
    if (layout.red_shift < 0 || layout.green_shift < 0 || layout.blue_shift < 0) return std::nullopt;
    const int used =
        (1 << layout.red_shift / 8) | (1 << layout.green_shift / 8) | (1 << layout.blue_shift / 8);
    if (std::popcount(static_cast<unsigned>(used)) != 3) return std::nullopt;
    layout.alpha_shift = std::countr_zero(static_cast<unsigned>(~used & 0xF)) * 8;
    return layout;
}

void CopyRowsToBgra(const PixelLayout& layout, const uint8_t* src, int src_stride, uint8_t* dst,
                    int dst_stride, int width, int height) {
    const size_t row_bytes = static_cast<size_t>(width) * 4;
    if (layout.IsBgra() && src == dst && src_stride == dst_stride) return;
    if (layout.IsBgra() && src_stride == dst_stride && static_cast<size_t>(src_stride) == row_bytes) {
        std::memcpy(dst, src, row_bytes * static_cast<size_t>(height));
        return;
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* src_row = src + static_cast<ptrdiff_t>(y) * src_stride;
        uint8_t* dst_row = dst + static_cast<ptrdiff_t>(y) * dst_stride;
        if (layout.IsBgra()) {
            std::memcpy(dst_row, src_row, row_bytes);
        } else {
            ConvertRow(layout, src_row, dst_row, width);
        }
    }
}

}  // namespace vexa::platform
