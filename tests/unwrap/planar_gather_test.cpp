// The planar unwrap's conversion: the SSE2 block and the per-pixel form give
// the same pixels for every sample value and colour, and the tile-laid plan
// gives exactly the per-pixel reference in every flip mode and layout.
#include "unwrap/planar_gather.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "unwrap/ring_geometry.h"

namespace {

using hv::YuvColour;

TEST(PlanarGather, BlockConversionEqualsThePerPixelForm) {
    const YuvColour colours[] = {hv::kBt601Limited,
                                 hv::kBt709Limited,
                                 {0.299, 0.114, true},
                                 {0.2126, 0.0722, true},
                                 {0.2627, 0.0593, false}};
    for (const YuvColour& colour : colours) {
        const hv::YuvToBgrx convert(colour);
        // Every luma value against chroma pairs that cover the whole range
        // (both ends included), in blocks of every length up to 64.
        std::vector<uint8_t> y, u, v;
        for (int a = 0; a < 256; ++a)
            for (int b = 0; b < 256; b += 5)
                for (int c = 0; c < 256; c += 5) {
                    y.push_back(uint8_t(a));
                    u.push_back(uint8_t(b == 255 ? 255 : b));
                    v.push_back(uint8_t(c));
                }
        y.push_back(255), u.push_back(255), v.push_back(255);
        std::vector<uint32_t> out(hv::YuvToBgrx::kBlock);
        int32_t n = 1;
        for (size_t i = 0; i < y.size(); i += size_t(n), n = n % hv::YuvToBgrx::kBlock + 1) {
            const int32_t len = int32_t(std::min<size_t>(size_t(n), y.size() - i));
            convert.ConvertBlock(&y[i], &u[i], &v[i], len, out.data());
            for (int32_t k = 0; k < len; ++k)
                ASSERT_EQ(out[k], convert(y[i + k], u[i + k], v[i + k]))
                    << "kr " << colour.kr << " y " << int(y[i + k]) << " u " << int(u[i + k])
                    << " v " << int(v[i + k]);
        }
    }
}

TEST(PlanarGather, PlanEqualsReferenceInEveryModeAndLayout) {
    hv::DoughnutGeometry g;
    g.left = 20;
    g.top = 10;
    g.width = g.height = 230;  // reaches past the right and bottom edges
    g.innerRadius = 30;
    const int32_t w = 237, h = 203;
    const hv::RingGeometryResult r = hv::BuildRingGeometry(g, w, h);
    ASSERT_TRUE(r.ok);
    std::mt19937 rng(3);
    for (const hv::PlanarLayout layout : {hv::PlanarLayout::I420, hv::PlanarLayout::NV12}) {
        const bool nv12 = layout == hv::PlanarLayout::NV12;
        hv::PlanarPicture p;
        p.layout = layout;
        p.width = w;
        p.height = h;
        p.strides[0] = w + 11;
        p.strides[1] = (nv12 ? 2 * hv::ChromaWidth(w) : hv::ChromaWidth(w)) + 7;
        p.strides[2] = nv12 ? 0 : p.strides[1];
        std::vector<uint8_t> planes[3];
        for (int i = 0; i < (nv12 ? 2 : 3); ++i) {
            planes[i].resize(size_t(p.strides[i]) * (i == 0 ? h : hv::ChromaHeight(h)));
            for (uint8_t& b : planes[i]) b = uint8_t(rng());
            p.planes[i] = planes[i].data();
        }
        p.colour = nv12 ? hv::kBt709Limited : YuvColour{0.299, 0.114, true};
        ASSERT_TRUE(hv::PlanarPictureFits(r.ring, p));
        for (hv::FlipMode mode = 0; mode < hv::kFlipModeCount; ++mode) {
            hv::UnwrapTable table;
            hv::BuildUnwrapTable(r.ring, mode, table);
            std::vector<uint32_t> reference(size_t(r.ring.PanoramaPixels()));
            std::vector<uint32_t> fast(reference.size(), 1u);
            hv::UnwrapPlanarReference(r.ring, table, p, reference.data());
            hv::PlanarGatherPlan plan;
            plan.Build(r.ring, table, p);
            EXPECT_TRUE(plan.Matches(p));
            plan.Run(p, fast.data());
            EXPECT_EQ(fast, reference) << "mode " << mode << (nv12 ? " NV12" : " I420");
        }
        // A plan serves only the plane layout and colour it was built for.
        hv::UnwrapTable table;
        hv::BuildUnwrapTable(r.ring, 0, table);
        hv::PlanarGatherPlan plan;
        EXPECT_FALSE(plan.Matches(p));
        plan.Build(r.ring, table, p);
        hv::PlanarPicture other = p;
        other.strides[0] += 1;
        EXPECT_FALSE(plan.Matches(other));
        other = p;
        other.colour.fullRange = !p.colour.fullRange;
        EXPECT_FALSE(plan.Matches(other));
    }
}

}  // namespace
