// The drawing both region windows share: a dotted grey pen drawn with an opaque dark-grey
// background (every line alternates light and dark dots, 3 and 3), the dashed red pen of the
// recording frame, the diagonal hatch behind the magnifier, the label font (the CJK font at 13
// pixels) and colours, and the pieces drawn with them: 3-pixel dotted borders, size labels and the
// 7x magnifier with its cross-hair. Everything draws into 32-bit images (RGB32 or premultiplied
// ARGB32, always opaque pixels) in the image's own coordinates and stays inside a clip box, so a
// window can repaint only what changed.
// Also the screen picture the windows freeze (a copy of the primary screen through the screen
// capture layer) and its dimmed copy.
// Ownership: a RegionPainter is a value each window keeps. Thread-safety: user-interface thread
// (fonts and text drawing need the Qt application); Dim is pure.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <string>

#include "platform/error.h"

namespace vexa::ui::region {

inline constexpr QRgb kLightGrey = 0xFFA0A0A0;  // the pen and the hatch
inline constexpr QRgb kDarkGrey = 0xFF646464;   // background of lines, labels and text strips
inline constexpr QRgb kTextGrey = 0xFFF0F0F0;
inline constexpr QRgb kRecordingRed = 0xFFFF0000;

enum class Pen { kDotted, kDashedRed };

class RegionPainter {
  public:
    RegionPainter();

    [[nodiscard]] QSize TextSize(const std::string& text) const;

    // The outline of `box` (its outermost pixels), the pattern running on around the corners.
    void Outline(QImage& image, const QRect& box, Pen pen, const QRect& clip) const;
    // Three nested dotted outlines: one pixel outside `box`, on it and one pixel inside.
    void Border3(QImage& image, const QRect& box, const QRect& clip) const;
    void Fill(QImage& image, const QRect& box, QRgb colour, const QRect& clip) const;
    // Light text centred in `box` on one line, over whatever is there.
    void Text(QImage& image, const QRect& box, const std::string& text, const QRect& clip) const;
    // A size label: the box filled dark grey, the text centred in it and a 3-pixel border.
    void Label(QImage& image, const QRect& box, const std::string& text, const QRect& clip) const;
    // The magnifier at `box` (181 x 213): 25 x 25 pixels of `source` centred on `point` at 7x over
    // the hatch, a tinted cross-hair through the point with dashed edges, the coordinates below.
    void Magnifier(QImage& image, const QRect& box, const QImage& source, QPoint point,
                   const QRect& clip) const;

  private:
    QFont font_;
};

// The primary screen as it looks now, `size` pixels from the top-left corner (RGB32, opaque).
[[nodiscard]] Result<QImage> GrabScreen(QSize size);
// Each colour byte v becomes v - 96, or 0 when v <= 96; alpha stays.
[[nodiscard]] QImage Dim(const QImage& picture);

}  // namespace vexa::ui::region
