// The unwrap table: where each panorama pixel reads the frame, in every flip
// mode, at the frame's edges; and the fast gather against the reference.
#include "unwrap/unwrap_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "unwrap_test_util.h"

namespace {

using hv::BuildUnwrapTable;
using hv::RingGeometry;
using hv::UnwrapTable;

UnwrapTable Fresh(const RingGeometry& ring, hv::FlipMode mode) {
    UnwrapTable t;
    t.Allocate(ring);
    BuildUnwrapTable(ring, mode, t);
    return t;
}

// The column where the player's angle is `theta` (radians, as on the
// picture: 0 down, pi/2 right).
int32_t ColumnOf(const RingGeometry& r, double theta) {
    const double seam = double(0.204f) * std::numbers::pi;
    return int32_t(std::lround(r.origin + (theta + seam) / r.step));
}

TEST(UnwrapTable, SamplesLieAtTheirRadiusAndAngle) {
    const RingGeometry r = hvtest::ExampleRing();
    const UnwrapTable t = Fresh(r, 0);
    const double seam = double(0.204f) * std::numbers::pi;
    for (int32_t row = 0; row < r.Hp; ++row) {
        for (int32_t c = 0; c < r.Wp; ++c) {
            const size_t i = size_t(row) * r.Wp + c;
            // Back to top-down picture coordinates around the centre.
            const double dx = t.srcX[i] - r.cx;
            const double dy = (r.frameH - t.srcRow[i]) - r.cy;
            ASSERT_NEAR(std::hypot(dx, dy), row, 0.75) << row << "," << c;
            if (row >= 40) {
                const double want = r.step * (c - r.origin) - seam;
                const double got = std::atan2(dx, dy);
                const double diff = std::remainder(got - want, 2 * std::numbers::pi);
                ASSERT_LT(std::fabs(diff), 1.0 / row) << row << "," << c;
            }
        }
    }
}

TEST(UnwrapTable, ThetaZeroPointsDownAndColumnsTurnRightUpLeft) {
    const RingGeometry r = hvtest::ExampleRing();
    const UnwrapTable t = Fresh(r, 0);
    // The columns cover 5 Wp / D = 6.25 radians starting at 1.23: theta = 0
    // is reached as 2 pi, at column 307. The rule "origin + 0.204 pi / step,
    // modulo Wp" places it two columns earlier.
    const int32_t down = ColumnOf(r, 2 * std::numbers::pi);
    EXPECT_EQ(down, 307);
    const double stated =
        std::fmod(r.origin + double(0.204f) * std::numbers::pi / r.step + r.Wp, r.Wp);
    EXPECT_NEAR(down, stated, 3.0);
    auto at = [&](int32_t c, int32_t row) {
        const size_t i = size_t(row) * r.Wp + c;
        return std::pair{t.srcX[i] - r.cx, (r.frameH - t.srcRow[i]) - r.cy};
    };
    for (int32_t row = r.inner; row < r.Hp; ++row) {
        auto [dx, dy] = at(down, row);
        EXPECT_LE(std::abs(dx), 1) << row;
        EXPECT_NEAR(dy, row, 1) << row;
    }
    const int32_t right = ColumnOf(r, std::numbers::pi / 2);
    const int32_t up = ColumnOf(r, std::numbers::pi);
    const int32_t left = ColumnOf(r, 3 * std::numbers::pi / 2);
    EXPECT_LT(right, up);
    EXPECT_LT(up, left);
    EXPECT_LT(left, down);
    const int32_t row = 100;
    EXPECT_GT(at(right, row).first, 95);
    EXPECT_LT(at(up, row).second, -95);
    EXPECT_LT(at(left, row).first, -95);
}

TEST(UnwrapTable, FlipModesMirrorColumnsRowsOrBoth) {
    hv::DoughnutGeometry g = hvtest::kExampleGeometry;
    g.left = -20;  // partly outside: the outside entries mirror too (as zeros)
    const RingGeometry r = hv::BuildRingGeometry(g, 637, 479).ring;
    const UnwrapTable t0 = Fresh(r, 0);
    const UnwrapTable t[4] = {t0, Fresh(r, 1), Fresh(r, 2), Fresh(r, 3)};
    for (int32_t row = 0; row < r.Hp; ++row) {
        for (int32_t c = 0; c < r.Wp; ++c) {
            const size_t i0 = size_t(row) * r.Wp + c;
            const size_t mirrored[4] = {
                i0,
                size_t(row) * r.Wp + (r.Wp - 1 - c),
                size_t(r.Hp - 1 - row) * r.Wp + c,
                size_t(r.Hp - 1 - row) * r.Wp + (r.Wp - 1 - c),
            };
            for (int m = 1; m < 4; ++m) {
                ASSERT_EQ(t[m].srcX[mirrored[m]], t0.srcX[i0]) << m << ": " << row << "," << c;
                ASSERT_EQ(t[m].srcRow[mirrored[m]], t0.srcRow[i0]) << m << ": " << row << "," << c;
            }
        }
    }
}

TEST(UnwrapTable, PositionsOutsideTheFrameKeepTheirPreviousEntries) {
    hv::DoughnutGeometry g = hvtest::kExampleGeometry;
    g.left = 400;  // the ring's right part leaves a 640-wide frame
    const RingGeometry r = hv::BuildRingGeometry(g, 640, 480).ring;
    ASSERT_GT(r.cx + r.Hp, r.frameW);
    const UnwrapTable fresh0 = Fresh(r, 0);
    const UnwrapTable fresh1 = Fresh(r, 1);
    UnwrapTable flipped = fresh0;
    BuildUnwrapTable(r, 1, flipped);

    size_t outside = 0;
    for (size_t i = 0; i < fresh1.srcX.size(); ++i) {
        ASSERT_GE(fresh1.srcX[i], 0);
        ASSERT_LT(fresh1.srcX[i], r.frameW);
        if (flipped.srcX[i] != fresh1.srcX[i] || flipped.srcRow[i] != fresh1.srcRow[i]) {
            // Not written in mode 1: a fresh table reads frame pixel 0 there,
            // the flipped one still reads what mode 0 read.
            ++outside;
            ASSERT_EQ(fresh1.srcX[i], 0);
            ASSERT_EQ(fresh1.srcRow[i], 0);
            ASSERT_EQ(flipped.srcX[i], fresh0.srcX[i]);
            ASSERT_EQ(flipped.srcRow[i], fresh0.srcRow[i]);
        }
    }
    EXPECT_GT(outside, 1000u);
}

TEST(UnwrapTable, ARingTouchingTheTopEdgeReadsTheBlackSpareRow) {
    hv::DoughnutGeometry g = hvtest::kExampleGeometry;
    g.top = -5;  // top -4, cy 148: radii beyond 148 reach row 0 and above
    const RingGeometry r = hv::BuildRingGeometry(g, 640, 480).ring;
    const UnwrapTable t = Fresh(r, 0);
    size_t spare = 0;
    for (size_t i = 0; i < t.srcRow.size(); ++i) {
        ASSERT_LE(t.srcRow[i], r.frameH);
        ASSERT_GE(t.srcRow[i], 0);
        spare += t.srcRow[i] == r.frameH;
    }
    EXPECT_GT(spare, 0u);
    const hv::FrameBuffer frame = hvtest::UniformFrame(640, 480, 0x123456);
    std::vector<uint32_t> pano(t.srcX.size());
    hv::UnwrapReference(r, t, frame.data(), pano.data());
    for (size_t i = 0; i < pano.size(); ++i)
        ASSERT_EQ(pano[i], t.srcRow[i] == r.frameH ? 0u : 0x123456u) << i;
}

TEST(UnwrapTable, FastGatherEqualsTheReference) {
    struct Case {
        hv::DoughnutGeometry g;
        int32_t w, h;
    };
    const Case cases[] = {
        {hvtest::kExampleGeometry, 640, 480},       {hv::kStartupGeometry, 721, 403},  // odd sizes
        {{-40, 300, 390, 500, 20, 0, 0}, 333, 251},  // mostly outside
        {{150, 0, 300, 600, 50, 0, 0}, 1280, 720},   // fills the height
        {{0, 0, 600, 600, 0, 0, 0}, 97, 61},         // no inner circle, tiny
    };
    for (const Case& k : cases) {
        const hv::RingGeometryResult res = hv::BuildRingGeometry(k.g, k.w, k.h);
        ASSERT_TRUE(res.ok) << res.error;
        const RingGeometry& r = res.ring;
        const hv::FrameBuffer frame = hvtest::NoiseFrame(k.w, k.h, uint32_t(k.w));
        UnwrapTable t;
        t.Allocate(r);
        for (hv::FlipMode m : {0, 1, 2, 3}) {
            BuildUnwrapTable(r, m, t);  // on top of the previous mode's
            hv::GatherPlan plan;
            plan.Build(r, t);
            std::vector<uint32_t> ref(t.srcX.size(), 1), fast(t.srcX.size(), 2),
                split(t.srcX.size(), 3);
            hv::UnwrapReference(r, t, frame.data(), ref.data());
            plan.Run(frame.data(), fast.data());
            const int32_t mid = (r.Hp / 2 / hv::GatherPlan::kTileRows) * hv::GatherPlan::kTileRows;
            plan.Run(frame.data(), split.data(), mid, r.Hp);
            plan.Run(frame.data(), split.data(), 0, mid);
            ASSERT_EQ(fast, ref) << k.w << "x" << k.h << " mode " << m;
            ASSERT_EQ(split, ref) << k.w << "x" << k.h << " mode " << m;
        }
    }
}

}  // namespace
