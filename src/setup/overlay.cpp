#include "setup/overlay.h"

#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace hv::setup {
namespace {

int RoundHalfEven(double v) {
    if (!std::isfinite(v)) return 0;
    if (v > 1e9) return 1'000'000'000;
    if (v < -1e9) return -1'000'000'000;
    return static_cast<int>(std::nearbyint(v));
}

// A Windows box (x1, y1)-(x2, y2), corners swapped into order first. 64-bit
// arithmetic: geometry from a hand-edited file may hold any 32-bit value.
QRect Box(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
    auto clamp = [](int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, -1'000'000'000, 1'000'000'000));
    };
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    return QRect(QPoint(clamp(x1), clamp(y1)), QPoint(clamp(x2) - 1, clamp(y2) - 1));
}

// Qt strokes an aliased 1-pixel ellipse over (w + 1) x (h + 1) pixels of its
// rectangle; a Windows box covers exactly its pixels.
void StrokeBox(QPainter& p, const QRect& box) {
    if (box.width() < 1 || box.height() < 1) return;
    p.drawEllipse(QRect(box.left(), box.top(), box.width() - 1, box.height() - 1));
}

}  // namespace

QRgb PictureBackground() {
    return qRgb(0, 68, 85);
}

OverlayLayout ComputeOverlay(const DoughnutGeometry& g, int frameW, int frameH) {
    OverlayLayout o;
    if (frameW > 0 && frameH > 0) {
        o.h = RoundHalfEven(static_cast<double>(kSetupSquare) * frameH / frameW);
        o.t = RoundHalfEven(0.5 * (kSetupSquare - o.h));
        o.d = RoundHalfEven(-0.85 * o.t);
    }
    const int64_t L = g.left, T = g.top, Wc = g.width, Hc = g.height, d = o.d;
    o.cx = static_cast<int>(std::clamp<int64_t>((2 * L + Wc) >> 1, INT32_MIN, INT32_MAX));
    o.cy = static_cast<int>(std::clamp<int64_t>((2 * T + Hc) >> 1, INT32_MIN, INT32_MAX));
    const int64_t ri = g.innerRadius;
    o.inner = Box(o.cx - ri, o.cy - ri, o.cx + ri, o.cy + ri);
    o.red = Box(L - d, T - 5 - d, L + Wc + d, T + Hc + 5 + d);
    o.blue = Box(L - d + 10, T + 5 - d, L + Wc + d - 12, T + Hc + d - 7);
    o.orange = Box(L - d - 15, T - 20 - d, L + Wc + d + 13, T + Hc + d + 18);
    return o;
}

QImage CaptionedBackground(int width, int height, const QString& text) {
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(PictureBackground());
    QPainter p(&img);
    p.setPen(Qt::white);
    const QFontMetrics fm(p.font());
    p.drawText(QPoint(10, 10 + fm.ascent()), text);
    return img;
}

QImage DrawDoughnutPicture(const uint32_t* frame, int frameW, int frameH,
                           const DoughnutGeometry& g) {
    QImage img(kDoughnutPictureSize, kDoughnutPictureSize, QImage::Format_RGB32);
    img.fill(PictureBackground());
    if (frame == nullptr || frameW <= 0 || frameH <= 0) return img;

    const OverlayLayout o = ComputeOverlay(g, frameW, frameH);
    QPainter p(&img);
    {
        // The frame's rows are bottom-up; the picture is shown top-down.
        const QImage bottomUp(reinterpret_cast<const uchar*>(frame), frameW, frameH, frameW * 4,
                              QImage::Format_RGB32);
        // Flipped by the painter's transform, not by a copy of the frame.
        p.save();
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.translate(0, o.t + o.h);
        p.scale(1, -1);
        p.drawImage(QRect(0, 0, kDoughnutPictureSize, o.h), bottomUp);
        p.restore();
    }
    if (o.t > 0) {  // letterbox above and below a wide frame
        const int S = kSetupSquare;
        p.fillRect(Box(1, 1, S, 1 + o.t), Qt::black);
        p.fillRect(Box(1, S - o.t, S, S), Qt::black);
    }

    p.setBrush(Qt::NoBrush);
    QPen yellow(QColor(255, 255, 0), 2, Qt::SolidLine);
    p.setPen(yellow);
    StrokeBox(p, o.inner);

    // Dotted outlines whose gaps are white, as drawn with an opaque background.
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(Qt::white);
    for (const auto& [box, colour] :
         {std::pair{o.red, QColor(255, 0, 0)}, std::pair{o.blue, QColor(0, 0, 255)},
          std::pair{o.orange, QColor(255, 140, 0)}}) {
        QPen pen(colour, 1, Qt::DotLine);
        pen.setCosmetic(true);
        p.setPen(pen);
        StrokeBox(p, box);
    }
    return img;
}

QImage StripForDisplay(const PreviewImage& strip) {
    const int w = strip.width, h = strip.height;
    if (w <= 0 || h <= 0 || strip.pixels.size() < static_cast<size_t>(w) * h) return {};
    QImage shown(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        // Display row 0 is the last stored row.
        const uint32_t* src = strip.pixels.data() + static_cast<size_t>(h - 1 - y) * w;
        std::memcpy(shown.scanLine(y), src, static_cast<size_t>(w) * 4);
    }
    return shown;
}

QString PreviewCaption(int wp, int hp) {
    return QStringLiteral(" Output video stream%1x%2 ").arg(wp).arg(hp);
}

QImage DrawPreviewPicture(const QImage& strip, int wp, int hp) {
    QImage img(kPreviewPictureWidth, kPreviewPictureHeight, QImage::Format_RGB32);
    img.fill(PictureBackground());
    QPainter p(&img);
    if (!strip.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(QRect(0, 0, kPreviewPictureWidth, kPreviewPictureHeight), strip);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    }
    const QString caption = PreviewCaption(wp, hp);
    const QFontMetrics fm(p.font());
    const QRect box(10, 10, fm.horizontalAdvance(caption), fm.height());
    p.fillRect(box, PictureBackground());
    p.setPen(Qt::white);
    p.drawText(QPoint(10, 10 + fm.ascent()), caption);
    return img;
}

}  // namespace hv::setup
