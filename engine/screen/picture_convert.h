// The fast picture path: 32-bit BGRA screen pictures become the encoder's planar 4:2:0 (BT.601,
// limited range, as swscale's default) with libyuv's SIMD routines, with no scaling, a whole picture
// or only the rectangles that changed. Also the pictures the screen source keeps in the encoder's
// layout (4:2:0 or BGRA) and the copy of blocks between them.
// Pure functions and plain values; a Picture belongs to one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

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

// Layouts a screen picture is kept in: BGRA (plane 0 only) or planar 4:2:0 (chroma planes of
// ceil(width / 2) × ceil(height / 2)).
enum class PictureFormat : uint8_t { kBgra, kI420 };

// A picture's planes, rows top-down; the memory is someone else's.
struct PictureView {
    PictureFormat format = PictureFormat::kI420;
    int width = 0;
    int height = 0;
    std::array<uint8_t*, 3> data{};
    std::array<int, 3> stride{};
};

// Bytes a width × height picture of the format takes with packed planes.
[[nodiscard]] size_t PictureBytes(PictureFormat format, int width, int height);
// The packed planes of a width × height picture laid out from memory (PictureBytes long).
[[nodiscard]] PictureView LayOutPicture(PictureFormat format, int width, int height, uint8_t* memory);

// A picture with packed planes in memory of its own.
class Picture {
  public:
    // Sets the picture up (its pixels undefined); false when memory runs out.
    [[nodiscard]] bool Allocate(PictureFormat format, int width, int height);
    [[nodiscard]] bool Fits(PictureFormat format, int width, int height) const {
        return memory_ && view_.format == format && view_.width == width && view_.height == height;
    }
    [[nodiscard]] const PictureView& View() const { return view_; }
    [[nodiscard]] size_t Bytes() const { return bytes_; }
    // Every pixel of other, a picture of the same format and size.
    void CopyFrom(const Picture& other);

  private:
    std::unique_ptr<uint8_t[]> memory_;
    size_t bytes_ = 0;
    PictureView view_;
};

// Whether a block of a picture of this format starts on its chroma grid and ends on it or at the
// picture's right and bottom edges (4:2:0 blocks must; any BGRA block does).
[[nodiscard]] bool BlockAligned(const PictureView& picture, int x, int y, int w, int h);

// Copies the w × h block at (sx, sy) of src to (dx, dy) of dst, both of one format. For 4:2:0 both
// blocks must be aligned (BlockAligned) and the chroma follows: a block that is aligned by reaching
// an edge in one picture must reach it in the other too. False when a block does not lie inside its
// picture or is not aligned.
[[nodiscard]] bool CopyPictureBlock(const PictureView& dst, int dx, int dy, const PictureView& src, int sx,
                                    int sy, int w, int h);

// Converts the w × h BGRA block whose top-left pixel is at src (rows src_stride bytes apart, negative
// for rows stored bottom-up) into the block at (x, y) of dst: libyuv for 4:2:0, a copy for BGRA.
// Equals the same block of a conversion of the whole picture when the block is aligned. False when
// the block does not lie inside dst or is not aligned.
[[nodiscard]] bool ConvertBgraBlock(const uint8_t* src, int src_stride, const PictureView& dst, int x, int y,
                                    int w, int h);

}  // namespace vexa::engine
