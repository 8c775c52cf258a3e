// Image strings of the skin: a plain file name ("bk.png") or
// "file='x.png' source='l,t,r,b' dest='l,t,r,b' corner='l,t,r,b' fade='n' hole='true' xtiled='true'
// ytiled='true'". Malformed keys are ignored one by one; a string naming no file yields nothing.
// Thread-safety: pure functions.
#pragma once

#include <QMargins>
#include <QRect>

#include <optional>
#include <string>
#include <string_view>

class QImage;
class QPainter;

namespace vexa::toolkit {

struct ImageSpec {
    std::string file;
    std::optional<QRect> source;  // part of the image; the whole image when absent
    std::optional<QRect> dest;    // relative to the control; the whole control when absent
    QMargins corner;              // fixed borders when stretching (nine-slice)
    int fade = 255;               // 0 transparent .. 255 opaque
    bool hole = false;            // nine-slice without the centre
    bool xtiled = false;
    bool ytiled = false;

    bool operator==(const ImageSpec&) const = default;
};

[[nodiscard]] std::optional<ImageSpec> parseImageString(std::string_view text);

// Draws the part of `image` that the image string describes into `box` (the control's rectangle);
// `extraFade` multiplies the string's own fade.
void drawImage(QPainter& painter, const QImage& image, const ImageSpec& spec, const QRect& box,
               int extraFade = 255);

}  // namespace vexa::toolkit
