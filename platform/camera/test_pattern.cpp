#include "platform/camera/test_pattern.h"

#include <algorithm>
#include <cstddef>

namespace vexa::platform {
namespace {

struct Yuv {
    uint8_t y, u, v;
};

// Colour bars: white, yellow, cyan, green, magenta, red, blue, black.
constexpr Yuv kBars[8] = {{235, 128, 128}, {210, 16, 146}, {170, 166, 16}, {145, 54, 34},
                          {106, 202, 222}, {81, 90, 240},  {41, 240, 110}, {16, 128, 128}};

// 3 × 5 digit glyphs, one row per 3 bits (most significant bit left).
constexpr uint8_t kDigits[10][5] = {{7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7},
                                    {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1},
                                    {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};

void FillRect(Yuv422Picture& p, int x0, int y0, int w, int h, Yuv c) {
    int x1 = std::min(p.width, x0 + w), y1 = std::min(p.height, y0 + h);
    x0 = std::max(0, x0);
    y0 = std::max(0, y0);
    for (int y = y0; y < y1; ++y) {
        std::fill(p.y.begin() + y * p.width + x0, p.y.begin() + y * p.width + x1, c.y);
        for (int x = x0 / 2; x < (x1 + 1) / 2; ++x) {
            p.u[y * (p.width / 2) + x] = c.u;
            p.v[y * (p.width / 2) + x] = c.v;
        }
    }
}

// One row is painted, then copied to every other row.
void PaintBars(Yuv422Picture& p, uint64_t frame) {
    const int bar_width = std::max(1, p.width / 8);
    const int shift = static_cast<int>((frame * 4) % static_cast<uint64_t>(p.width));
    const int half = p.width / 2;
    for (int x = 0; x < p.width; x += 2) {
        const Yuv& c = kBars[((x + shift) % p.width) / bar_width % 8];
        p.y[x] = p.y[x + 1] = c.y;
        p.u[x / 2] = c.u;
        p.v[x / 2] = c.v;
    }
    for (int y = 1; y < p.height; ++y) {
        std::copy_n(p.y.begin(), p.width, p.y.begin() + static_cast<ptrdiff_t>(y) * p.width);
        std::copy_n(p.u.begin(), half, p.u.begin() + static_cast<ptrdiff_t>(y) * half);
        std::copy_n(p.v.begin(), half, p.v.begin() + static_cast<ptrdiff_t>(y) * half);
    }
}

void PaintCounter(Yuv422Picture& p, uint64_t frame) {
    char text[24];
    int n = 0;
    do {
        text[n++] = static_cast<char>('0' + frame % 10);
        frame /= 10;
    } while (frame && n < 20);
    int scale = std::max(2, p.height / 60);
    int margin = scale * 2;
    FillRect(p, 0, 0, margin * 2 + n * 4 * scale, margin * 2 + 5 * scale, kBars[7]);
    for (int i = 0; i < n; ++i) {
        const uint8_t* glyph = kDigits[text[n - 1 - i] - '0'];
        int left = margin + i * 4 * scale;
        for (int row = 0; row < 5; ++row) {
            for (int col = 0; col < 3; ++col) {
                if (glyph[row] & (4 >> col))
                    FillRect(p, left + col * scale, margin + row * scale, scale, scale, kBars[0]);
            }
        }
    }
}

}  // namespace

void PaintTestPattern(Yuv422Picture& p, int width, int height, uint64_t frame) {
    p.width = width;
    p.height = height;
    p.y.resize(static_cast<size_t>(width) * height);
    p.u.resize(static_cast<size_t>(width / 2) * height);
    p.v.resize(p.u.size());
    PaintBars(p, frame);
    int block = std::max(2, height / 6) & ~1;
    int travel = std::max(1, width - block);
    int pos = static_cast<int>((frame * 8) % (2 * static_cast<uint64_t>(travel)));
    FillRect(p, pos < travel ? pos : 2 * travel - pos, (height - block) / 2, block, block, kBars[0]);
    PaintCounter(p, frame);
}

void PackYuyv(const Yuv422Picture& p, std::vector<uint8_t>& out) {
    out.resize(static_cast<size_t>(p.width) * p.height * 2);
    uint8_t* dst = out.data();
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* ys = &p.y[static_cast<size_t>(y) * p.width];
        const uint8_t* us = &p.u[static_cast<size_t>(y) * (p.width / 2)];
        const uint8_t* vs = &p.v[static_cast<size_t>(y) * (p.width / 2)];
        for (int x = 0; x < p.width / 2; ++x) {
            *dst++ = ys[2 * x];
            *dst++ = us[x];
            *dst++ = ys[2 * x + 1];
            *dst++ = vs[x];
        }
    }
}

}  // namespace vexa::platform
