// How the server lays out one 32-bit pixel of a TrueColor image, and the copy of image rows into
// the capture's BGRA layout. Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <optional>

namespace vexa::platform {

// Bit positions of each channel inside a 32-bit pixel word, and the byte order of that word in
// memory. The alpha shift is the byte the colour masks leave free; its value is copied as delivered.
struct PixelLayout {
    int red_shift = 16;
    int green_shift = 8;
    int blue_shift = 0;
    int alpha_shift = 24;
    bool msb_first = false;  // the word is stored most significant byte first

    // True when the memory bytes are already B, G, R, A: rows are copied as they are.
    [[nodiscard]] bool IsBgra() const {
        return !msb_first && blue_shift == 0 && green_shift == 8 && red_shift == 16;
    }
};

// The layout for a visual with these channel masks, bits per pixel and image byte order; none when
// the pixels are not 32-bit words with three 8-bit channels on byte boundaries.
[[nodiscard]] std::optional<PixelLayout> MakePixelLayout(unsigned long red_mask, unsigned long green_mask,
                                                         unsigned long blue_mask, int bits_per_pixel,
                                                         bool msb_first);

// Copies height rows of width pixels from src (src_stride bytes apart) to dst (dst_stride bytes
// apart), turning each pixel into B, G, R, A bytes. src and dst may be the same rows (turned in
// place), but must not overlap otherwise.
void CopyRowsToBgra(const PixelLayout& layout, const uint8_t* src, int src_stride, uint8_t* dst,
                    int dst_stride, int width, int height);

}  // namespace vexa::platform
