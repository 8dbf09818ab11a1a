// The region a view reads: rendered from a panorama that holds only the
// region (everything else poisoned), both renderers draw exactly what they
// draw from the whole panorama, over the navigation's range of views, in
// the flip modes whose view source starts at different rows, across the
// seam and at a window's own size.
#include "unwrap/view_region.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "unwrap/render_view.h"
#include "unwrap/unwrap_table.h"
#include "view_test_util.h"

namespace {

constexpr uint32_t kPoison = 0x00ff00ffu;
constexpr uint32_t kUnwritten = 0xA5A5A5A5u;

hv::RingGeometry Ring() {
    hv::RingGeometry r;
    r.Wp = 1000;  // 15 tiles and a part-tile of 40 columns
    r.Hp = 330;
    r.inner = 30;
    return r;
}

std::vector<uint32_t> Render(bool high, const hv::ViewSetup& s, const hv::ViewState& view,
                             const hv::ViewSource& src) {
    std::vector<uint32_t> out(size_t(s.Wout) * (s.Hout + 1) + 1, kUnwritten);
    const hv::FixedMatrix M = hv::ViewMatrix(s, view);
    const bool ok =
        high ? hv::RenderHigh(s, M, src, out.data()) : hv::RenderDraft(s, M, src, out.data());
    EXPECT_TRUE(ok);
    return out;
}

TEST(ViewRegion, RendersFromTheRegionAloneEqualRendersFromTheWholePanorama) {
    const hv::RingGeometry ring = Ring();
    const hv::ViewSetupResult standard = hvtest::Init(ring.Ws(), ring.Hs());
    const hv::ViewSetupResult window = hv::InitViewEngine(ring.Ws(), ring.Hs(), 301, 411);
    ASSERT_TRUE(standard.ok && window.ok);
    const size_t rows = size_t(ring.Hp) + hv::kPanoramaSpareRows;
    std::vector<uint32_t> whole(size_t(ring.Wp) * rows, 0u);  // spare rows stay zero
    for (int32_t r = 0; r < ring.Hp; ++r)
        for (int32_t c = 0; c < ring.Wp; ++c)
            whole[size_t(r) * ring.Wp + c] = hvtest::NoisePixel(c, r);

    const hv::ViewState start = standard.start;
    std::vector<uint32_t> part;
    int partial = 0;
    for (const hv::ViewSetupResult* setup : {&standard, &window}) {
        const hv::ViewSetup& s = *setup->setup;
        for (const hv::FlipMode mode : {hv::FlipMode{0}, hv::FlipMode{2}}) {
            const int32_t sourceRow = ring.ViewSourceRow(mode);
            for (const float pan : {-180.0f, -97.3f, 179.9f})
                for (const float tilt : {start.minTilt, start.minTilt / 2, 0.0f, start.maxTilt})
                    for (const float fov : {start.minFov, 61.0f, start.maxFov}) {
                        const hv::ViewState view = hvtest::At(start, pan, tilt, fov);
                        const hv::PanoramaRegion region = hv::ViewRegion(s, view, ring, mode, 0);
                        if (!region.whole) ++partial;
                        part = whole;
                        for (int32_t r = 0; r < ring.Hp && !region.whole; ++r) {
                            const int32_t band = r / hv::GatherPlan::kTileRows;
                            const bool rowIn = band >= region.bandBegin && band < region.bandEnd;
                            uint32_t* row = part.data() + size_t(r) * ring.Wp;
                            for (int32_t c0 = 0; c0 < ring.Wp; c0 += hv::GatherPlan::kTileCols)
                                if (!rowIn || !region.HasTile(c0 / hv::GatherPlan::kTileCols))
                                    std::fill(row + c0,
                                              row + std::min(c0 + hv::GatherPlan::kTileCols, ring.Wp),
                                              kPoison);
                        }
                        const auto source = [&](const std::vector<uint32_t>& p) {
                            return hv::ViewSource{p.data() + size_t(sourceRow) * ring.Wp, ring.Ws(),
                                                  ring.Hs(), int32_t(rows) - sourceRow};
                        };
                        for (const bool high : {false, true}) {
                            ASSERT_EQ(Render(high, s, view, source(part)),
                                      Render(high, s, view, source(whole)))
                                << (high ? "high" : "draft") << " view " << s.Wout << "x" << s.Hout
                                << " mode " << mode << " pan " << pan << " tilt " << tilt
                                << " fov " << fov;
                        }
                    }
        }
    }
    // Most of these views read only part of the panorama.
    EXPECT_GT(partial, 80);
    const hv::PanoramaRegion first = hv::ViewRegion(*standard.setup, start, ring, 0, 0);
    ASSERT_FALSE(first.whole);
    EXPECT_LT(first.tileCount, first.tilesAround / 2 + 2) << "the starting view sees 120 degrees";
}

TEST(ViewRegion, CoversAndUnionRoundTheSeam) {
    hv::PanoramaRegion a;
    a.whole = false;
    a.tilesAround = 16;
    a.bandBegin = 1, a.bandEnd = 4;
    a.tileBegin = 14, a.tileCount = 3;  // tiles 14, 15, 0
    hv::PanoramaRegion b = a;
    b.tileBegin = 1, b.tileCount = 2;  // tiles 1, 2
    b.bandBegin = 0, b.bandEnd = 2;
    EXPECT_TRUE(a.HasTile(0) && a.HasTile(15) && !a.HasTile(1) && !a.HasTile(13));
    EXPECT_FALSE(a.Covers(b));
    const hv::PanoramaRegion u = hv::Union(a, b);
    EXPECT_EQ(u.tileBegin, 14);
    EXPECT_EQ(u.tileCount, 5) << "14 round the seam to 2, not 1 up to 15";
    EXPECT_EQ(u.bandBegin, 0);
    EXPECT_EQ(u.bandEnd, 4);
    EXPECT_TRUE(u.Covers(a) && u.Covers(b) && !a.Covers(u));
    EXPECT_TRUE(hv::PanoramaRegion::Whole().Covers(u));
    EXPECT_FALSE(u.Covers(hv::PanoramaRegion::Whole()));
    hv::PanoramaRegion other = b;
    other.tilesAround = 17;  // made for another panorama
    EXPECT_TRUE(hv::Union(a, other).whole);
    EXPECT_FALSE(a.Covers(other));
}

}  // namespace
