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

// An outline through the box's inscribed ellipse. Boxes far larger than the
// picture are skipped: a dotted outline costs one dash per few pixels of its
// length, and such a circle shows nothing anyway.
void StrokeCircle(QPainter& p, const QRectF& box) {
    constexpr double kLargest = 8.0 * kSetupSquare;
    if (!(box.width() > 0.5 && box.height() > 0.5)) return;
    if (box.width() > kLargest || box.height() > kLargest) return;
    p.drawEllipse(box);
}

}  // namespace

QRgb PictureBackground() {
    return qRgb(0, 68, 85);
}

OverlayLayout ComputeOverlay(const DoughnutGeometry& g, int frameW, int frameH) {
    OverlayLayout o;
    if (frameW <= 0 || frameH <= 0) return o;
    o.h = RoundHalfEven(static_cast<double>(kSetupSquare) * frameH / frameW);
    o.t = RoundHalfEven(0.5 * (kSetupSquare - o.h));
    o.sx = static_cast<double>(kSetupSquare) / frameW;
    o.sy = static_cast<double>(o.h) / frameH;

    // The unwrap's own ring. An inner radius it refuses (reaching the outer
    // circle) still leaves the outer circle worth showing while the user
    // fits: then the inner circle is drawn at its unclamped size.
    RingGeometryResult r = BuildRingGeometry(g, frameW, frameH);
    double innerFrame = r.ok ? r.ring.inner : 0;
    if (!r.ok) {
        DoughnutGeometry outerOnly = g;
        outerOnly.innerRadius = 0;
        r = BuildRingGeometry(outerOnly, frameW, frameH);
        if (!r.ok) return o;
        innerFrame = std::clamp<double>(g.innerRadius, 0, 1e6) * frameW / kSetupSquare;
    }
    o.ring = true;
    o.frameRing = r.ring;
    // The unwrap samples pixel indices around pixel (cx, cy), whose centre is
    // half a pixel in.
    o.centre = QPointF((r.ring.cx + 0.5) * o.sx, o.t + (r.ring.cy + 0.5) * o.sy);
    o.outerRadius = 0.5 * r.ring.D * o.sx;
    o.innerRadius = innerFrame * o.sx;
    const double ro = o.outerRadius, ri = o.innerRadius, k = o.sy / o.sx;
    const QPointF c = o.centre;
    o.inner = QRectF(QPointF(c.x() - ri, c.y() - ri * k), QPointF(c.x() + ri, c.y() + ri * k));
    o.red = QRectF(QPointF(c.x() - ro, c.y() - ro * k), QPointF(c.x() + ro, c.y() + ro * k));
    const double v = static_cast<double>(o.h) / kSetupSquare;
    o.blue =
        QRectF(o.red.topLeft() + QPointF(10, 10 * v), o.red.bottomRight() - QPointF(12, 12 * v))
            .normalized();
    o.orange =
        QRectF(o.red.topLeft() - QPointF(15, 15 * v), o.red.bottomRight() + QPointF(13, 13 * v));
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

    if (!o.ring) return img;
    p.setBrush(Qt::NoBrush);
    QPen yellow(QColor(255, 255, 0), 2, Qt::SolidLine);
    p.setPen(yellow);
    StrokeCircle(p, o.inner);

    // Dotted outlines whose gaps are white, as drawn with an opaque background.
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(Qt::white);
    for (const auto& [box, colour] :
         {std::pair{o.red, QColor(255, 0, 0)}, std::pair{o.blue, QColor(0, 0, 255)},
          std::pair{o.orange, QColor(255, 140, 0)}}) {
        QPen pen(colour, 1, Qt::DotLine);
        pen.setCosmetic(true);
        p.setPen(pen);
        StrokeCircle(p, box);
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
