// The two pictures of the setup utility: the 600 x 600 doughnut picture (the
// frame letterboxed into the square with the cut area's circles drawn over
// it) and the 1010 x 280 preview picture (the unwrapped strip stretched into
// the transform window). QtGui only: the preview worker draws them into
// QImages, the GUI thread shows them.
#pragma once

#include <QImage>
#include <QRect>
#include <QRectF>
#include <QString>
#include <cstdint>

#include "config/doughnut_geometry.h"
#include "unwrap/preview_unwrap.h"
#include "unwrap/ring_geometry.h"

namespace hv::setup {

// The doughnut picture is the setup square, one pixel per unit.
inline constexpr int kDoughnutPictureSize = kSetupSquare;
inline constexpr int kPreviewPictureWidth = 1010;
inline constexpr int kPreviewPictureHeight = 280;

// Background of both pictures, RGB(0, 68, 85).
QRgb PictureBackground();

// Where the frame and the circles land in the doughnut picture for a W x H
// frame. The frame is stretched to 600 x h at top margin t, so a frame pixel
// (x, y) covers picture x in [x * sx, (x + 1) * sx) and y in
// [t + y * sy, t + (y + 1) * sy). The circles are the ring exactly where the
// unwrap samples it: they come from BuildRingGeometry's frame-pixel centre,
// outer diameter and inner radius carried through that mapping, never from
// square units, so the overlay and the unwrap cannot disagree. Picture
// coordinates are continuous: pixel (x, y) covers [x, x + 1) x [y, y + 1).
struct OverlayLayout {
    int h = 0;              // displayed frame height, round(600 * H / W)
    int t = 0;              // top margin, round(0.5 * (600 - h))
    double sx = 0, sy = 0;  // picture pixels per frame pixel: 600 / W, h / H
    // False when the geometry gives no ring for this frame (refused by
    // BuildRingGeometry even with the inner radius left out): no circles.
    bool ring = false;
    RingGeometry frameRing;  // the ring in frame pixels (valid when ring)
    QPointF centre;          // ring centre
    double outerRadius = 0;  // picture pixels, horizontally (vertically * sy / sx)
    double innerRadius = 0;
    // Bounding boxes: inner is yellow, red the outer circle, blue and orange
    // the guides inside and outside red (10 / 12 and 15 / 13 units on the
    // left-top / right-bottom, scaled by h / 600 vertically).
    QRectF inner, red, blue, orange;
};
OverlayLayout ComputeOverlay(const DoughnutGeometry& g, int frameW, int frameH);

// Clears a picture to the background and writes `text` in white at (10, 10):
// "Main Window" / "Transform Window" before a video, and after one ends.
QImage CaptionedBackground(int width, int height, const QString& text);

// The doughnut picture for one frame (bottom-up BGRX rows of frameW x frameH,
// stride 4 * frameW): frame stretched to 600 x h at (0, t), letterbox boxes,
// the yellow inner circle, the dotted red outer circle and its two guides. A frame of zero size
// leaves the picture cleared.
QImage DrawDoughnutPicture(const uint32_t* frame, int frameW, int frameH,
                           const DoughnutGeometry& g);

// A preview strip (bottom-up rows, as the preview mapping writes it) turned
// top-down for display; null when the strip is empty.
QImage StripForDisplay(const PreviewImage& strip);

// The preview picture: the strip stretched over 1010 x 280, with the caption
// " Output video stream" wp "x" hp " " in white on the background at (10, 10).
QImage DrawPreviewPicture(const QImage& strip, int wp, int hp);
QString PreviewCaption(int wp, int hp);

}  // namespace hv::setup
