// The keypad's steps and labels, and DrawSetupFrame's doughnut picture: the
// letterbox, the overlay offset and the circles, checked pixel by pixel.
#include "setup/overlay.h"

#include <gtest/gtest.h>

#include <vector>

#include "setup/picture_view.h"
#include "setup/setup_state.h"

namespace hv::setup {
namespace {

TEST(SetupKeypad, StepsAndLabels) {
    DoughnutGeometry g;  // start-up defaults
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(ApplyKeypadStep(kKeyGrowOuter, g));
    EXPECT_EQ(g.left, 101);
    EXPECT_EQ(g.top, 101);
    EXPECT_EQ(g.width, 410);
    EXPECT_EQ(g.height, 400);
    const GeometryLabels l = GeometryLabelTexts(g);
    EXPECT_EQ(l.left + " " + l.top + " " + l.width + " " + l.height + " " + l.zoomL + " " + l.inner,
              "101 101 410 400 309 36");

    // Moves and the inner circle; no bounds.
    ApplyKeypadStep(kKeyLeft, g);
    ApplyKeypadStep(kKeyUp, g);
    ApplyKeypadStep(kKeyDown, g);
    ApplyKeypadStep(kKeyDown, g);
    ApplyKeypadStep(kKeyRight, g);
    ApplyKeypadStep(kKeyRight, g);
    EXPECT_EQ(g.left, 103);
    EXPECT_EQ(g.top, 103);
    for (int i = 0; i < 40; ++i) ApplyKeypadStep(kKeyShrinkInner, g);
    EXPECT_EQ(g.innerRadius, -4);
    EXPECT_EQ(GeometryLabelTexts(g).inner, "-4");
    ApplyKeypadStep(kKeyGrowInner, g);
    EXPECT_EQ(g.innerRadius, -3);

    // Reset gives the start-up defaults (not a file's values) and keeps flips.
    DoughnutGeometry fromFile{115, 35, 300, 280, 20, 1, 1};
    ApplyKeypadStep(kKeyReset, fromFile);
    EXPECT_EQ(fromFile, (DoughnutGeometry{111, 111, 390, 380, 36, 1, 1}));

    EXPECT_FALSE(ApplyKeypadStep(kCmdSave, g));
    EXPECT_FALSE(IsKeypadCommand(kCmdRun));
    EXPECT_TRUE(IsKeypadCommand(kKeyShrinkOuter));

    // Extreme values wrap instead of overflowing.
    DoughnutGeometry big{INT32_MAX, INT32_MIN, INT32_MAX, 0, INT32_MIN, 0, 0};
    ApplyKeypadStep(kKeyRight, big);
    ApplyKeypadStep(kKeyShrinkInner, big);
    EXPECT_EQ(big.left, INT32_MIN + 1);
    EXPECT_EQ(big.innerRadius, INT32_MAX);
    EXPECT_EQ(GeometryLabelTexts(big).zoomL, std::to_string(int64_t{INT32_MAX} - (INT32_MIN + 1)));
}

TEST(SetupOverlay, LayoutForSquareAndWideFrames) {
    const DoughnutGeometry g;
    const OverlayLayout sq = ComputeOverlay(g, 480, 480);
    EXPECT_EQ(sq.h, 600);
    EXPECT_EQ(sq.t, 0);
    EXPECT_EQ(sq.d, 0);
    // The red ellipse is the cut area grown by 5 units at top and bottom.
    EXPECT_EQ(sq.red, QRect(QPoint(111, 106), QPoint(500, 495)));

    const OverlayLayout wide = ComputeOverlay(g, 640, 480);
    EXPECT_EQ(wide.h, 450);
    EXPECT_EQ(wide.t, 75);
    EXPECT_EQ(wide.d, -64);
    EXPECT_EQ(wide.cx, 306);
    EXPECT_EQ(wide.cy, 301);
    // 64 units inside the cut area on the left and right.
    EXPECT_EQ(wide.red.left(), 111 + 64);
    EXPECT_EQ(wide.red.right() + 1, 111 + 390 - 64);
    EXPECT_EQ(wide.inner, QRect(QPoint(270, 265), QPoint(341, 336)));

    // A negative inner radius swaps the corners of its box.
    DoughnutGeometry neg = g;
    neg.innerRadius = -10;
    EXPECT_EQ(ComputeOverlay(neg, 640, 480).inner, QRect(QPoint(296, 291), QPoint(315, 310)));
}

// True when a pixel of colour c lies within the box around (x, y).
bool ColourNear(const QImage& img, int x, int y, int r, QRgb c) {
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            const int px = x + dx, py = y + dy;
            if (px >= 0 && py >= 0 && px < img.width() && py < img.height() &&
                (img.pixel(px, py) & 0xFFFFFF) == (c & 0xFFFFFF))
                return true;
        }
    return false;
}

TEST(SetupOverlay, DoughnutPicturePixels) {
    // A 640 x 480 frame, grey, with its first stored rows (the bottom of the
    // picture shown) green so the orientation shows.
    const int W = 640, H = 480;
    std::vector<uint32_t> frame(static_cast<size_t>(W) * (H + 1), 0xFF808080u);
    for (int i = 0; i < 4 * W; ++i) frame[i] = 0xFF00C000u;
    const DoughnutGeometry g;
    const QImage img = DrawDoughnutPicture(frame.data(), W, H, g);
    ASSERT_EQ(img.size(), QSize(600, 600));

    // Letterbox: black boxes rows 1..75 and 525..599, the frame between.
    EXPECT_EQ(img.pixel(300, 40) & 0xFFFFFF, 0u);
    EXPECT_EQ(img.pixel(300, 75) & 0xFFFFFF, 0u);
    EXPECT_EQ(img.pixel(300, 525) & 0xFFFFFF, 0u);
    EXPECT_EQ(img.pixel(300, 599) & 0xFFFFFF, 0u);
    EXPECT_EQ(img.pixel(20, 200), qRgb(128, 128, 128));
    EXPECT_EQ(img.pixel(20, 522), qRgb(0, 192, 0)) << "the frame's first stored rows at the bottom";
    EXPECT_EQ(img.pixel(20, 80), qRgb(128, 128, 128));

    // Yellow internal circle around (306, 301) with radius 36.
    EXPECT_TRUE(ColourNear(img, 270, 301, 1, qRgb(255, 255, 0)));
    EXPECT_TRUE(ColourNear(img, 306, 265, 1, qRgb(255, 255, 0)));
    EXPECT_EQ(img.pixel(306, 301), qRgb(128, 128, 128)) << "not filled";

    // Dotted ellipses: coloured dots and white gaps on their extreme points.
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), orange = qRgb(255, 140, 0);
    const QRgb white = qRgb(255, 255, 255);
    EXPECT_TRUE(ColourNear(img, 175, 300, 2, red));  // left, 64 inside the cut area
    EXPECT_TRUE(ColourNear(img, 436, 300, 2, red));  // right
    EXPECT_TRUE(ColourNear(img, 306, 170, 2, red));  // top: T - 5 - d
    EXPECT_TRUE(ColourNear(img, 175, 300, 2, white));
    EXPECT_TRUE(ColourNear(img, 185, 300, 2, blue));    // L - d + 10
    EXPECT_TRUE(ColourNear(img, 160, 300, 2, orange));  // L - d - 15
    EXPECT_FALSE(ColourNear(img, 250, 300, 5, red)) << "ellipses are not filled";

    // The picture control shows exactly this picture.
    PictureView view(QSize(600, 600), true);
    view.SetPicture(img);
    const QImage grabbed = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(grabbed.pixel(175, 300), img.pixel(175, 300));
    EXPECT_EQ(grabbed.pixel(300, 40), img.pixel(300, 40));

    // A square frame: no letterbox, frame from the top.
    std::vector<uint32_t> square(static_cast<size_t>(480) * 481, 0xFF808080u);
    const QImage sq = DrawDoughnutPicture(square.data(), 480, 480, g);
    EXPECT_EQ(sq.pixel(300, 40), qRgb(128, 128, 128));
    EXPECT_TRUE(ColourNear(sq, 306, 106, 2, red));

    // Absurd values from a hand-edited file draw without harm.
    for (const DoughnutGeometry& odd :
         {DoughnutGeometry{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, 1, 1},
          DoughnutGeometry{-5000000, 3000000, 7, -9000000, 2000000000, 0, 0},
          DoughnutGeometry{300, 300, 0, 0, 0, 0, 0}}) {
        const QImage weird = DrawDoughnutPicture(frame.data(), W, H, odd);
        EXPECT_EQ(weird.size(), QSize(600, 600));
    }

    // No frame: the background only.
    EXPECT_EQ(DrawDoughnutPicture(nullptr, 0, 0, g).pixel(300, 300), PictureBackground());
}

TEST(SetupOverlay, PreviewPictureAndCaption) {
    EXPECT_EQ(PreviewCaption(480, 152), QStringLiteral(" Output video stream480x152 "));
    PreviewImage strip;
    strip.width = 32;
    strip.height = 8;
    strip.pixels.assign(32 * 8, 0xFF0000FFu);                             // blue
    for (int x = 0; x < 32; ++x) strip.pixels[7 * 32 + x] = 0xFFFF0000u;  // last stored row red
    const QImage shown = StripForDisplay(strip);
    ASSERT_EQ(shown.size(), QSize(32, 8));
    EXPECT_EQ(shown.pixel(5, 0), qRgb(255, 0, 0)) << "the last stored row is shown on top";
    EXPECT_EQ(shown.pixel(5, 7), qRgb(0, 0, 255));
    const QImage pic = DrawPreviewPicture(shown, 32, 10);
    ASSERT_EQ(pic.size(), QSize(1010, 280));
    EXPECT_EQ(pic.pixel(900, 270), qRgb(0, 0, 255));
    EXPECT_EQ(pic.pixel(900, 5), qRgb(255, 0, 0));
    EXPECT_EQ(pic.pixel(11, 11), PictureBackground()) << "caption box on the background colour";
    EXPECT_TRUE(StripForDisplay(PreviewImage()).isNull());
}

}  // namespace
}  // namespace hv::setup
