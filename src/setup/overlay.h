// The two pictures of the setup utility: the 600 x 600 doughnut picture (the
// frame letterboxed into the square with the cut area's circles drawn over
// it) and the 1010 x 280 preview picture (the unwrapped strip stretched into
// the transform window). QtGui only: the preview worker draws them into
// QImages, the GUI thread shows them.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>

#include "config/doughnut_geometry.h"
#include "unwrap/preview_unwrap.h"

namespace hv::setup {

// The doughnut picture is the setup square, one pixel per unit.
inline constexpr int kDoughnutPictureSize = kSetupSquare;
inline constexpr int kPreviewPictureWidth = 1010;
inline constexpr int kPreviewPictureHeight = 280;

// Background of both pictures, RGB(0, 68, 85).
QRgb PictureBackground();

// Where the frame and the circles land in the doughnut picture for a W x H
// frame. Rectangles use the Windows convention of the original drawing: a
// box (x1, y1)-(x2, y2) covers the pixels x1..x2-1 and y1..y2-1.
struct OverlayLayout {
    int h = 0;   // displayed frame height, round(600 * H / W)
    int t = 0;   // top margin, round(0.5 * (600 - h))
    int d = 0;   // overlay offset, round(-0.85 * t)
    int cx = 0;  // centre of the cut area, (2 * left + width) >> 1
    int cy = 0;
    QRect inner;  // yellow internal circle (corners already in order)
    QRect red;    // dotted ellipses
    QRect blue;
    QRect orange;
};
OverlayLayout ComputeOverlay(const DoughnutGeometry& g, int frameW, int frameH);

// Clears a picture to the background and writes `text` in white at (10, 10):
// "Main Window" / "Transform Window" before a video, and after one ends.
QImage CaptionedBackground(int width, int height, const QString& text);

// The doughnut picture for one frame (bottom-up BGRX rows of frameW x frameH,
// stride 4 * frameW): frame stretched to 600 x h at (0, t), letterbox boxes,
// the internal circle and the three dotted ellipses. A frame of zero size
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
