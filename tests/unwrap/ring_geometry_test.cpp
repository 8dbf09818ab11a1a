// Ring geometry of the player and of the setup utility's preview.
#include "unwrap/ring_geometry.h"

#include <gtest/gtest.h>

#include <climits>

#include "unwrap_test_util.h"

namespace {

using hv::BuildPreviewGeometry;
using hv::BuildRingGeometry;
using hv::DoughnutGeometry;
using hv::RingGeometry;

TEST(RingGeometry, WorkedExampleComesOutExactly) {
    const RingGeometry r = hvtest::ExampleRing();
    EXPECT_EQ(r.frameW, 640);
    EXPECT_EQ(r.frameH, 480);
    EXPECT_EQ(r.sx, 640.0f / 600.0f);
    EXPECT_EQ(r.sy, 0.8f);
    EXPECT_EQ(r.left, 123);
    EXPECT_EQ(r.top, 28);
    EXPECT_EQ(r.inner, 36);  // round(37.33) = 37, made even
    EXPECT_EQ(r.cutW, 416);
    EXPECT_EQ(r.D, 304);
    EXPECT_EQ(r.cx, 331);
    EXPECT_EQ(r.cy, 180);
    EXPECT_EQ(r.Hp, 152);
    EXPECT_EQ(r.Wp, 380);  // 382.02 -> 382 -> down to a multiple of 4
    EXPECT_EQ(r.step, 5.0f / 304.0f);
    EXPECT_NEAR(r.step, 0.016447, 5e-7);
    EXPECT_EQ(r.halfW, 190);
    EXPECT_EQ(r.halfH, 76);
    EXPECT_EQ(r.origin, -114);
    EXPECT_EQ(r.Ws(), 380);
    EXPECT_EQ(r.Hs(), 116);
    EXPECT_FALSE(r.preview);
}

TEST(RingGeometry, HalvesRoundToEven) {
    // 600 x 600: sx = sy = 1, so only the halvings round.
    DoughnutGeometry g{100, 100, 301, 302, 20, 0, 0};
    RingGeometry r = BuildRingGeometry(g, 600, 600).ring;
    EXPECT_EQ(r.cx, 100 + 150);  // round(150.5) = 150
    EXPECT_EQ(r.cy, 100 + 151);
    // 600 x 300: sy = 0.5, top 111 -> 55.5 -> 56; D = 190.
    g = {111, 111, 390, 380, 36, 0, 0};
    r = BuildRingGeometry(g, 600, 300).ring;
    EXPECT_EQ(r.top, 56);
    EXPECT_EQ(r.D, 190);
    EXPECT_EQ(r.Hp, 92);  // 95 down to a multiple of 4
    // Inner radius 37 is made even towards zero, -37 likewise, then taken
    // as 0: there is no circle to skip.
    g.innerRadius = 37;
    EXPECT_EQ(BuildRingGeometry(g, 600, 600).ring.inner, 36);
    g.innerRadius = -37;
    const hv::RingGeometryResult neg = BuildRingGeometry(g, 600, 600);
    ASSERT_TRUE(neg.ok) << neg.error;
    EXPECT_EQ(neg.ring.inner, 0);
    EXPECT_EQ(neg.ring.Hs(), neg.ring.Hp);
}

TEST(RingGeometry, InnerRadiusReachingThePanoramaHeightIsRefused) {
    DoughnutGeometry g = hvtest::kExampleGeometry;
    // Hp is 152 rows in the worked example: inner 152 leaves Hs = 0.
    g.innerRadius = 143;  // 152.53 -> 153, made even: 152
    hv::RingGeometryResult r = BuildRingGeometry(g, 640, 480);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("inner radius"), std::string::npos) << r.error;
    g.innerRadius = 141;  // 150.4 -> 150: two rows left
    r = BuildRingGeometry(g, 640, 480);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.ring.Hs(), 2);
    g.innerRadius = 5000;
    EXPECT_FALSE(BuildRingGeometry(g, 640, 480).ok);
    EXPECT_FALSE(BuildPreviewGeometry(g, 0, 640, 480).ok);
}

TEST(RingGeometry, AbsurdInputIsRefusedWithAMessage) {
    const DoughnutGeometry ok = hvtest::kExampleGeometry;
    for (auto [w, h] : {std::pair{0, 480},
                        {640, 0},
                        {-640, 480},
                        {640, -1},
                        {16385, 480},
                        {INT32_MAX, INT32_MAX},
                        {INT32_MIN, 480},
                        {16384, 16384}}) {
        const hv::RingGeometryResult r = BuildRingGeometry(ok, w, h);
        EXPECT_FALSE(r.ok) << w << "x" << h;
        EXPECT_NE(r.error.find("frame size"), std::string::npos) << r.error;
        EXPECT_FALSE(BuildPreviewGeometry(ok, 0, w, h).ok);
    }
    // Tiny or non-positive outer circles.
    for (int32_t height : {0, -380, 4, INT32_MIN}) {
        DoughnutGeometry g = ok;
        g.height = height;
        g.innerRadius = 0;
        EXPECT_FALSE(BuildRingGeometry(g, 640, 480).ok) << height;
        EXPECT_FALSE(BuildPreviewGeometry(g, 0, 640, 480).ok) << height;
    }
    // Every field at both 32-bit extremes: refused or usable, never UB.
    for (int32_t v : {INT32_MIN, INT32_MAX}) {
        for (int field = 0; field < 5; ++field) {
            DoughnutGeometry g = ok;
            int32_t* f[] = {&g.left, &g.top, &g.width, &g.height, &g.innerRadius};
            *f[field] = v;
            const hv::RingGeometryResult r = BuildRingGeometry(g, 3840, 2160);
            EXPECT_FALSE(r.ok) << "field " << field << " = " << v;
            EXPECT_FALSE(r.error.empty());
            EXPECT_FALSE(BuildPreviewGeometry(g, v, 3840, 2160).ok);
        }
    }
    // A ring far too large for the panorama buffers.
    DoughnutGeometry big = ok;
    big.top = 0;
    big.height = 600;
    const hv::RingGeometryResult r = BuildRingGeometry(big, 8192, 16384);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("panorama"), std::string::npos) << r.error;
    // An 8K frame whose ring fills its height is fine.
    EXPECT_TRUE(BuildRingGeometry(big, 7680, 4320).ok);
}

TEST(PreviewGeometry, WidthIsAMultipleOf16AndDIsRecomputed) {
    // Start-up defaults on 640 x 480: D 304 gives a strip of 382 -> 368
    // columns, D = round(368 / 0.4 pi) = 293.
    const DoughnutGeometry g = hv::kStartupGeometry;
    hv::RingGeometryResult res = BuildPreviewGeometry(g, 0, 640, 480);
    ASSERT_TRUE(res.ok) << res.error;
    const RingGeometry& r = res.ring;
    EXPECT_TRUE(r.preview);
    EXPECT_EQ(r.left, 118);
    EXPECT_EQ(r.top, 89);
    EXPECT_EQ(r.inner, 38);
    EXPECT_EQ(r.cutW, 416);
    EXPECT_EQ(r.cx, 326);  // from the cut width, not from D
    EXPECT_EQ(r.D, 293);
    EXPECT_EQ(r.cy, 89 + 146);  // round(146.5) = 146
    EXPECT_EQ(r.Hp, 146);       // a multiple of 2 only
    EXPECT_EQ(r.Wp, 368);
    EXPECT_EQ(r.step, float(5.0 / 293.0));
    EXPECT_EQ(r.halfW, 184);
    EXPECT_EQ(r.halfH, 73);
    EXPECT_EQ(r.origin, -111);
    EXPECT_EQ(r.Hs(), 108);
    // The player's geometry for the same values differs.
    EXPECT_EQ(BuildRingGeometry(g, 640, 480).ring.Wp, 380);

    // SHIFTERECT turns the origin by 0.005 of the width per unit.
    EXPECT_EQ(BuildPreviewGeometry(g, 1, 640, 480).ring.origin, -109);   // -109.16
    EXPECT_EQ(BuildPreviewGeometry(g, 100, 640, 480).ring.origin, 73);   // + 184
    EXPECT_EQ(BuildPreviewGeometry(g, 200, 640, 480).ring.origin, 257);  // a full turn
    // Values a hand-edited file might hold are taken modulo a turn.
    EXPECT_EQ(BuildPreviewGeometry(g, 300, 640, 480).ring.origin, 73);
    EXPECT_EQ(BuildPreviewGeometry(g, -100, 640, 480).ring.origin, 73);

    for (int32_t h : {240, 480, 720, 1080, 2160}) {
        const RingGeometry p = BuildPreviewGeometry(g, 0, h * 4 / 3, h).ring;
        EXPECT_EQ(p.Wp % 16, 0) << h;
        EXPECT_EQ(p.Hp % 2, 0) << h;
        EXPECT_GT(p.Hs(), 0) << h;
    }
}

}  // namespace
