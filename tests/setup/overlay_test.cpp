// The keypad's steps and labels, and DrawSetupFrame's doughnut picture: the
// letterbox, the overlay offset and the circles, checked pixel by pixel.
#include "setup/overlay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "setup/picture_view.h"
#include "setup/setup_state.h"
#include "unwrap/preview_unwrap.h"
#include "unwrap/ring_geometry.h"
#include "video/test_video_maker.h"

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
    // The circles come from the unwrap's ring in frame pixels (480 x 480:
    // left 89, top 89, D 304, inner 28, centre (245, 241)) carried into the
    // picture at 1.25 picture pixels per frame pixel.
    const DoughnutGeometry g;
    const OverlayLayout sq = ComputeOverlay(g, 480, 480);
    EXPECT_EQ(sq.h, 600);
    EXPECT_EQ(sq.t, 0);
    ASSERT_TRUE(sq.ring);
    EXPECT_DOUBLE_EQ(sq.centre.x(), 245.5 * 1.25);
    EXPECT_DOUBLE_EQ(sq.centre.y(), 241.5 * 1.25);
    EXPECT_DOUBLE_EQ(sq.outerRadius, 152 * 1.25);
    EXPECT_DOUBLE_EQ(sq.innerRadius, 28 * 1.25);
    EXPECT_DOUBLE_EQ(sq.red.top(), 241.5 * 1.25 - 190);

    // 640 x 480: t 75, 0.9375 picture pixels per frame pixel both ways;
    // ring left 118, top 89, D 304, inner 38, centre (326, 241).
    const OverlayLayout wide = ComputeOverlay(g, 640, 480);
    EXPECT_EQ(wide.h, 450);
    EXPECT_EQ(wide.t, 75);
    ASSERT_TRUE(wide.ring);
    EXPECT_DOUBLE_EQ(wide.centre.x(), 326.5 * 0.9375);
    EXPECT_DOUBLE_EQ(wide.centre.y(), 75 + 241.5 * 0.9375);
    EXPECT_DOUBLE_EQ(wide.outerRadius, 142.5);
    EXPECT_DOUBLE_EQ(wide.red.left(), 326.5 * 0.9375 - 142.5);
    EXPECT_DOUBLE_EQ(wide.inner.width(), 2 * 38 * 0.9375);
    // The guides: 10 / 12 units inside red and 15 / 13 outside, the vertical
    // offsets scaled by h / 600.
    EXPECT_DOUBLE_EQ(wide.blue.left(), wide.red.left() + 10);
    EXPECT_DOUBLE_EQ(wide.blue.bottom(), wide.red.bottom() - 12 * 0.75);
    EXPECT_DOUBLE_EQ(wide.orange.top(), wide.red.top() - 15 * 0.75);
    EXPECT_DOUBLE_EQ(wide.orange.right(), wide.red.right() + 13);

    // An inner radius the unwrap refuses (beyond the outer circle) still
    // shows both circles; a negative one shows no inner circle.
    DoughnutGeometry big = g;
    big.innerRadius = 250;
    const OverlayLayout b = ComputeOverlay(big, 640, 480);
    ASSERT_TRUE(b.ring);
    EXPECT_DOUBLE_EQ(b.outerRadius, 142.5);
    EXPECT_DOUBLE_EQ(b.innerRadius, 250.0);
    DoughnutGeometry neg = g;
    neg.innerRadius = -10;
    EXPECT_DOUBLE_EQ(ComputeOverlay(neg, 640, 480).innerRadius, 0.0);
    // No ring at all: nothing to draw.
    EXPECT_FALSE(ComputeOverlay(DoughnutGeometry{300, 300, 0, 0, 0, 0, 0}, 640, 480).ring);
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

    // Yellow internal circle around (306.1, 301.4) with radius 35.6.
    EXPECT_TRUE(ColourNear(img, 270, 301, 1, qRgb(255, 255, 0)));
    EXPECT_TRUE(ColourNear(img, 306, 266, 1, qRgb(255, 255, 0)));
    EXPECT_EQ(img.pixel(306, 301), qRgb(128, 128, 128)) << "not filled";

    // Dotted ellipses: coloured dots and white gaps on their extreme points.
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), orange = qRgb(255, 140, 0);
    const QRgb white = qRgb(255, 255, 255);
    EXPECT_TRUE(ColourNear(img, 164, 301, 2, red));  // left: centre 306.1 - 142.5
    EXPECT_TRUE(ColourNear(img, 448, 301, 2, red));  // right
    EXPECT_TRUE(ColourNear(img, 306, 159, 2, red));  // top: 301.4 - 142.5
    EXPECT_TRUE(ColourNear(img, 164, 301, 2, white));
    EXPECT_TRUE(ColourNear(img, 174, 301, 2, blue));    // red + 10
    EXPECT_TRUE(ColourNear(img, 149, 301, 2, orange));  // red - 15
    EXPECT_FALSE(ColourNear(img, 250, 300, 5, red)) << "ellipses are not filled";

    // The picture control shows exactly this picture.
    PictureView view(QSize(600, 600), true);
    view.SetPicture(img);
    const QImage grabbed = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(grabbed.pixel(164, 301), img.pixel(164, 301));
    EXPECT_EQ(grabbed.pixel(300, 40), img.pixel(300, 40));

    // A square frame: no letterbox, frame from the top.
    std::vector<uint32_t> square(static_cast<size_t>(480) * 481, 0xFF808080u);
    const QImage sq = DrawDoughnutPicture(square.data(), 480, 480, g);
    EXPECT_EQ(sq.pixel(300, 40), qRgb(128, 128, 128));
    EXPECT_TRUE(ColourNear(sq, 307, 112, 2, red));  // top: (241.5 - 152) * 1.25

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

// A synthetic ring frame (the test-video maker's scene: a dark inner disc, a
// ring with sky above a horizon at 0.4 of its depth, black outside) for
// geometry g, as the engine holds it: bottom-up rows plus the spare row.
struct RingFrame {
    int W, H;
    std::vector<uint32_t> topDown, bottomUp;
};
RingFrame MakeRingFrame(int W, int H, const DoughnutGeometry& g) {
    TestVideoOptions clip;
    clip.width = W;
    clip.height = H;
    clip.geometry = g;
    RingFrame f{W, H, std::vector<uint32_t>(size_t(W) * H),
                std::vector<uint32_t>(size_t(W) * (H + 1), 0)};
    RenderTestFrame(clip, 0, f.topDown.data());
    for (int y = 0; y < H; ++y)
        std::copy_n(f.topDown.data() + size_t(y) * W, W, f.bottomUp.data() + size_t(H - 1 - y) * W);
    return f;
}

// Median row of the horizon (first sky pixel above the ground) over the
// strip's columns, and the share of columns within one row of it. Columns
// under a landmark, a horizon tick or the moving marker (about a sixth of
// them) differ.
std::pair<int, double> Horizon(const PreviewImage& strip) {
    std::vector<int> rows;
    for (int c = 0; c < strip.width; ++c) {
        int found = -1;
        for (int i = 0; i < strip.height && found < 0; ++i) {
            const uint32_t p = strip.pixels[size_t(i) * strip.width + c];
            const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (r <= 125 && g <= 175 && b >= 190) found = i;
        }
        rows.push_back(found);
    }
    std::vector<int> sorted = rows;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const int median = sorted[sorted.size() / 2];
    const auto near = std::count_if(rows.begin(), rows.end(),
                                    [median](int r) { return std::abs(r - median) <= 1; });
    return {median, double(near) / double(rows.size())};
}

TEST(SetupOverlay, CirclesLieOnTheRingTheUnwrapSamples) {
    struct Case {
        int W, H;
        DoughnutGeometry g;  // off-centre rings
    };
    for (const Case& k : {Case{480, 480, {80, 60, 400, 380, 50, 0, 0}},
                          Case{640, 480, {60, 150, 330, 360, 40, 0, 0}},
                          Case{1280, 720, {200, 60, 300, 420, 60, 0, 0}}}) {
        SCOPED_TRACE(testing::Message() << k.W << "x" << k.H);
        const RingFrame f = MakeRingFrame(k.W, k.H, k.g);

        // The ring as the frame shows it: the inner disc's colour and the
        // non-black extent through its centre.
        const uint32_t disc = 0x282828u;
        double sx = 0, sy = 0, n = 0;
        for (int y = 0; y < k.H; ++y)
            for (int x = 0; x < k.W; ++x)
                if ((f.topDown[size_t(y) * k.W + x] & 0xFFFFFF) == disc) sx += x, sy += y, ++n;
        ASSERT_GT(n, 100);
        const int cx = int(std::lround(sx / n)), cy = int(std::lround(sy / n));
        auto at = [&](int x, int y) { return f.topDown[size_t(y) * k.W + x] & 0xFFFFFF; };
        int outL = cx, outR = cx, outT = cy, outB = cy, inL = cx, inR = cx;
        while (outL > 0 && at(outL - 1, cy) != 0) --outL;
        while (outR < k.W - 1 && at(outR + 1, cy) != 0) ++outR;
        while (outT > 0 && at(cx, outT - 1) != 0) --outT;
        while (outB < k.H - 1 && at(cx, outB + 1) != 0) ++outB;
        while (at(inL - 1, cy) == disc) --inL;
        while (at(inR + 1, cy) == disc) ++inR;

        const QImage pic = DrawDoughnutPicture(f.bottomUp.data(), k.W, k.H, k.g);
        const OverlayLayout o = ComputeOverlay(k.g, k.W, k.H);
        ASSERT_TRUE(o.ring);
        // Frame edges in picture coordinates.
        const double px = 600.0 / k.W, py = double(o.h) / k.H;
        const double eL = outL * px, eR = (outR + 1) * px, eT = o.t + outT * py,
                     eB = o.t + (outB + 1) * py, iL = inL * px, iR = (inR + 1) * px;
        const int pcx = int((cx + 0.5) * px), pcy = int(o.t + (cy + 0.5) * py);

        // Red and yellow pixels on the rows (columns) through the centre; a
        // dotted outline has a dot within three rows.
        const QRgb red = qRgb(255, 0, 0), yellow = qRgb(255, 255, 0);
        auto is = [&](int x, int y, QRgb c) {
            return x >= 0 && y >= 0 && x < 600 && y < 600 &&
                   (pic.pixel(x, y) & 0xFFFFFF) == (c & 0xFFFFFF);
        };
        double redL = 1e9, redR = -1e9, redT = 1e9, redB = -1e9;
        double yelL = 1e9, yelR = -1e9;  // the yellow pixels nearest the centre
        for (int d = -3; d <= 3; ++d) {
            for (int x = 0; x < 600; ++x) {
                if (is(x, pcy + d, red)) {
                    if (x < pcx)
                        redL = std::min(redL, x + 0.5);
                    else
                        redR = std::max(redR, x + 0.5);
                }
            }
            for (int y = 0; y < 600; ++y) {
                if (is(pcx + d, y, red)) {
                    if (y < pcy)
                        redT = std::min(redT, y + 0.5);
                    else
                        redB = std::max(redB, y + 0.5);
                }
            }
        }
        for (int x = pcx; x >= 0; --x)
            if (is(x, pcy, yellow)) {
                yelL = x;
                break;
            }
        for (int x = pcx; x < 600; ++x)
            if (is(x, pcy, yellow)) {
                yelR = x + 1;
                break;
            }

        EXPECT_NEAR(redL, eL, 1.0);
        EXPECT_NEAR(redR, eR, 1.0);
        EXPECT_NEAR(redT, eT, 1.0);
        EXPECT_NEAR(redB, eB, 1.0);
        // The 2-pixel yellow outline straddles the disc's edge.
        EXPECT_NEAR(yelL, iL, 1.0);
        EXPECT_NEAR(yelR, iR, 1.0);

        // The unwrap of this geometry gives a straight horizon; the same
        // ring moved by 10 units does not.
        PreviewUnwrapper unwrap;
        PreviewImage strip;
        FrameBuffer frame;
        frame.Allocate(k.W, k.H);
        frame.pixels = f.bottomUp;
        const RingGeometryResult ring = BuildRingGeometry(k.g, k.W, k.H);
        ASSERT_TRUE(ring.ok) << ring.error;
        unwrap.SetMapping(ring.ring, 0);
        ASSERT_TRUE(unwrap.Unwrap(frame, strip));
        const auto [row, share] = Horizon(strip);
        EXPECT_GT(share, 0.8) << "horizon at row " << row;
        DoughnutGeometry off = k.g;
        off.left += 10;
        unwrap.SetMapping(BuildRingGeometry(off, k.W, k.H).ring, 0);
        ASSERT_TRUE(unwrap.Unwrap(frame, strip));
        EXPECT_LT(Horizon(strip).second, 0.5) << "a misplaced ring makes the horizon wave";
    }
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
