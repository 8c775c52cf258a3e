#include "ui/region_drawing.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/screen/screen_backend.h"
#include "toolkit/fonts.h"
#include "ui/region_geometry.h"

namespace vexa::ui::region {
namespace {

constexpr int kFontPixels = 13;
constexpr int kDotRun = 3;                              // dotted pen: 3 light, 3 dark
constexpr int kDashOn = 18, kDashPeriod = 24;           // dashed pen: 18 red, 6 dark
constexpr int kHatchPeriod = 8;                         // forward diagonal hatch, one line every 8 pixels
constexpr int kCrossBand = kZoom;                       // the cross-hair is one zoomed pixel wide
constexpr int kCrossStart = (kZoomSource / 2) * kZoom;  // 84: the zoomed centre pixel
constexpr int kTint = 80;
constexpr int kStripTextTop = kMagnifierTextTop + 3;  // below the strip's border

QRgb PenColour(Pen pen, int index) {
    if (pen == Pen::kDotted) return (index / kDotRun) % 2 == 0 ? kLightGrey : kDarkGrey;
    return index % kDashPeriod < kDashOn ? kRecordingRed : kDarkGrey;
}

// Calls visit(x, y, n) for the outline pixels of `box`, clockwise from its top-left corner, n
// counting along the way.
template <typename Visit>
void ForEachOutlinePixel(const QRect& box, Visit visit) {
    if (box.isEmpty()) return;
    const int l = box.left(), t = box.top(), r = box.right(), b = box.bottom();
    int n = 0;
    for (int x = l; x <= r; ++x) visit(x, t, n++);
    for (int y = t + 1; y <= b; ++y) visit(r, y, n++);
    if (b > t) {
        for (int x = r - 1; x >= l; --x) visit(x, b, n++);
    }
    if (r > l) {
        for (int y = b - 1; y > t; --y) visit(l, y, n++);
    }
}

QRgb* Row(QImage& image, int y) {
    return reinterpret_cast<QRgb*>(image.scanLine(y));
}

QRgb Tinted(QRgb c) {
    return qRgb(std::min(qRed(c) + kTint, 255), std::max(qGreen(c) - kTint, 0),
                std::max(qBlue(c) - kTint, 0));
}

QRgb Inverted(QRgb c) {
    return 0xFF000000u | (~c & 0x00FFFFFFu);
}

// The cross-hair at a pixel of the zoomed picture (zx, zy in 0..174): the colour it becomes.
QRgb CrossHair(QRgb c, int zx, int zy) {
    const bool in_row = zy >= kCrossStart && zy < kCrossStart + kCrossBand &&
                        (zx < kCrossStart || zx >= kCrossStart + kCrossBand);
    const bool in_column = zx >= kCrossStart && zx < kCrossStart + kCrossBand &&
                           (zy < kCrossStart || zy >= kCrossStart + kCrossBand);
    if (!in_row && !in_column) return c;
    const int across = in_row ? zy - kCrossStart : zx - kCrossStart;
    const int along = in_row ? zx : zy;
    const bool edge = across == 0 || across == kCrossBand - 1;
    return edge && along % 4 == 0 ? Inverted(c) : Tinted(c);
}

// One colour byte dimmed in each 16-bit lane: the guard bit 8 survives the subtraction exactly
// when the byte was at least 96, and then the low byte is the result.
uint32_t DimPixel(uint32_t p) {
    constexpr uint32_t kLanes = 0x00FF00FFu;
    const uint32_t blue_red = ((p & kLanes) | 0x01000100u) - 0x00600060u;
    const uint32_t green_alpha = (((p >> 8) & kLanes) | 0x01000100u) - 0x00600060u;
    const uint32_t keep_blue_red = ((blue_red >> 8) & 0x00010001u) * 0xFFu;
    const uint32_t keep_green = ((green_alpha >> 8) & 0x00000001u) * 0xFFu;
    return (p & 0xFF000000u) | (blue_red & keep_blue_red) | ((green_alpha & keep_green) << 8);
}

// A row dimmed (the colour bytes of four pixels at a time with saturating subtraction where SSE2
// is there) or made opaque.
void DimRow(const QRgb* in, QRgb* out, int width) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i cut = _mm_set1_epi32(0x00606060);
    for (; x + 4 <= width; x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_subs_epu8(pixels, cut));
    }
#endif
    for (; x < width; ++x) out[x] = DimPixel(in[x]);
}

void MakeOpaque(QRgb* row, int width) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; x + 4 <= width; x += 4) {
        auto* at = reinterpret_cast<__m128i*>(row + x);
        _mm_storeu_si128(at, _mm_or_si128(_mm_loadu_si128(at), alpha));
    }
#endif
    for (; x < width; ++x) row[x] |= 0xFF000000u;
}

}  // namespace

RegionPainter::RegionPainter()
    : font_(toolkit::makeFont(toolkit::FontSpec{"宋体", kFontPixels})) {}  // not translated: a font family

QSize RegionPainter::TextSize(const std::string& text) const {
    const QFontMetrics metrics(font_);
    return QSize(metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height());
}

void RegionPainter::Outline(QImage& image, const QRect& box, Pen pen, const QRect& clip) const {
    const QRect area = clip & image.rect();
    ForEachOutlinePixel(box, [&](int x, int y, int n) {
        if (area.contains(x, y)) Row(image, y)[x] = PenColour(pen, n);
    });
}

void RegionPainter::Border3(QImage& image, const QRect& box, const QRect& clip) const {
    Outline(image, box.adjusted(-1, -1, 1, 1), Pen::kDotted, clip);
    Outline(image, box, Pen::kDotted, clip);
    Outline(image, box.adjusted(1, 1, -1, -1), Pen::kDotted, clip);
}

void RegionPainter::Fill(QImage& image, const QRect& box, QRgb colour, const QRect& clip) const {
    const QRect area = box & clip & image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::fill_n(Row(image, y) + area.left(), area.width(), colour);
}

void RegionPainter::Text(QImage& image, const QRect& box, const std::string& text, const QRect& clip) const {
    const QRect area = box & clip & image.rect();
    if (area.isEmpty()) return;
    QPainter painter(&image);
    painter.setClipRect(area);
    painter.setFont(font_);
    painter.setPen(QColor::fromRgb(kTextGrey));
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, QString::fromStdString(text));
}

void RegionPainter::Label(QImage& image, const QRect& box, const std::string& text, const QRect& clip) const {
    Fill(image, box, kDarkGrey, clip);
    Text(image, box, text, clip);
    Border3(image, box, clip);
}

void RegionPainter::Magnifier(QImage& image, const QRect& box, const QImage& source, QPoint point,
                              const QRect& clip) const {
    const QRect zoomed(box.x() + kMagnifierInset, box.y() + kMagnifierInset, kZoomArea, kZoomArea);
    const QRect area = zoomed & clip & image.rect();
    const QRect shown = source.rect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const int zy = y - zoomed.y();
        const int sy = point.y() - kZoomSource / 2 + zy / kZoom;
        const QRgb* src =
            shown.contains(shown.x(), sy) ? reinterpret_cast<const QRgb*>(source.constScanLine(sy)) : nullptr;
        QRgb* out = Row(image, y);
        for (int x = area.left(); x <= area.right(); ++x) {
            const int zx = x - zoomed.x();
            const int sx = point.x() - kZoomSource / 2 + zx / kZoom;
            QRgb c;
            if (src && sx >= 0 && sx < shown.width())
                c = 0xFF000000u | src[sx];
            else
                c = ((x - y) & (kHatchPeriod - 1)) == 0 ? kLightGrey : kDarkGrey;
            out[x] = CrossHair(c, zx, zy);
        }
    }
    const QRect strip(box.x() + kMagnifierInset, box.y() + kMagnifierTextTop, kZoomArea,
                      box.height() - kMagnifierInset - kMagnifierTextTop);
    Fill(image, strip, kDarkGrey, clip);
    Text(image,
         QRect(strip.x(), box.y() + kStripTextTop, strip.width(),
               box.height() - kMagnifierInset - kStripTextTop),
         MagnifierText(point), clip);
    Border3(image,
            QRect(QPoint(box.x() + 1, box.y() + kMagnifierTextTop + 1), box.bottomRight() - QPoint(1, 1)),
            clip);
    Border3(image, box.adjusted(1, 1, -1, -1), clip);
}

// The picture comes from the backend a recording would use: on Wayland one picture of the desktop's
// screen-sharing stream (X11 polling there would copy XWayland's empty root window).
constexpr std::chrono::milliseconds kFirstPictureWait{2000};

Result<QImage> GrabScreen(QSize size) {
    Result<std::unique_ptr<platform::ScreenBackend>> backend =
        platform::CreateScreenBackend(platform::MethodChoice::kAuto, {false, nullptr});
    if (!backend.ok()) return backend.error().Within("cannot copy the screen");
    platform::ScreenBackend& screen = *backend.value();
    if (Error opened = screen.Open(platform::CaptureMethod::kPolling); !opened.ok()) {
        if (Error damage = screen.Open(platform::CaptureMethod::kDamage); !damage.ok())
            return opened.Within("cannot copy the screen");
    }
    // A screen-sharing stream sends its first picture when it likes (the wlroots portal only once
    // something on the screen changes): a short wait for it, then the copy fails as before.
    const auto deadline = std::chrono::steady_clock::now() + kFirstPictureWait;
    while (!screen.PictureReady() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QImage picture(size, QImage::Format_RGB32);
    if (picture.isNull())
        return Error(ErrorCode::kInternal, "cannot hold a copy of the screen: out of memory");
    picture.fill(Qt::black);
    const platform::ScreenRect crop{0, 0, std::min(size.width(), screen.Width()),
                                    std::min(size.height(), screen.Height())};
    if (crop.right <= 0 || crop.bottom <= 0 ||
        !screen.Grab(crop, picture.bits(), static_cast<int>(picture.bytesPerLine()))) {
        return Error(ErrorCode::kIo, "cannot copy the screen: the screen refused the picture");
    }
    // The server may leave the fourth byte as it likes; these pictures are opaque.
    for (int y = 0; y < crop.bottom; ++y) MakeOpaque(Row(picture, y), crop.right);
    return picture;
}

QImage Dim(const QImage& picture) {
    QImage dimmed(picture.size(), picture.format());
    for (int y = 0; y < picture.height(); ++y)
        DimRow(reinterpret_cast<const QRgb*>(picture.constScanLine(y)), Row(dimmed, y), picture.width());
    return dimmed;
}

}  // namespace vexa::ui::region
