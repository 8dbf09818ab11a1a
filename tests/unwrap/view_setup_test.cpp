// View set-up: view size, tables and the starting view.
#include "unwrap/view_setup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "view_test_util.h"

namespace {

TEST(ViewSetup, ExampleRing380x116) {
    const hv::ViewSetupResult r = hvtest::Init(380, 116);
    ASSERT_TRUE(r.ok);
    const hv::ViewSetup& s = *r.setup;
    EXPECT_EQ(s.Hout, 116);
    EXPECT_EQ(s.Wout, 208) << "4 x round(206 / 4): 51.5 rounds to even 52";
    EXPECT_NEAR(s.k, 60.4789, 1e-4);
    EXPECT_EQ(s.tables.A[0], 1);
    EXPECT_EQ(s.tables.ANG8[0], 4);
    EXPECT_EQ(s.tables.LEN[0], 4096);
    EXPECT_EQ(s.tables.LEN[4095], 5793) << "entry 4095 already has t = 1";
    EXPECT_EQ(s.tables.LEN[4096], 5793);
    EXPECT_EQ(s.tables.ANG8[4095], s.tables.ANG8[4096]);
    EXPECT_EQ(s.tables.quarter, 64 * 380);
    EXPECT_EQ(s.tables.halfTurn, 128 * 380);
    EXPECT_FLOAT_EQ(s.pixScale, 2.0f / 208);
    EXPECT_EQ(s.colStart, -103);
    EXPECT_EQ(s.colEnd, 104);
    EXPECT_EQ(s.rowStart, -58);
    EXPECT_EQ(s.rowEnd, 57);
    EXPECT_EQ(s.pixelCount, 208 * 116);
    EXPECT_EQ(s.header.biSize, 40);
    EXPECT_EQ(s.header.biWidth, 208);
    EXPECT_EQ(s.header.biHeight, 116);
    EXPECT_EQ(s.header.biBitCount, 32);
    EXPECT_EQ(s.header.biSizeImage, 4 * 208 * 116);

    const hv::ViewState& v = r.start;
    EXPECT_NEAR(v.maxTilt, 54.95, 0.005);
    EXPECT_NEAR(v.minTilt, -54.95, 0.005);
    EXPECT_FLOAT_EQ(v.maxTilt, -v.minTilt);
    EXPECT_NEAR(v.fov, 118.81, 0.005) << "one division by 1.01";
    EXPECT_EQ(v.maxFov, v.fov);
    EXPECT_EQ(v.minFov, 24);
    EXPECT_EQ(v.pan, -90);
    EXPECT_EQ(v.tilt, 0);
    hv::HalfVerticalFov half(s.aspect);
    EXPECT_NEAR(2 * half(v.fov), 86.65, 0.01);
}

TEST(ViewSetup, TallPanoramaKeepsPoles) {
    for (auto [Ws, Hs] : {std::pair{380, 190}, std::pair{380, 300}, std::pair{1200, 700}}) {
        const hv::ViewSetupResult r = hvtest::Init(Ws, Hs);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.start.maxTilt, 90) << Ws << "x" << Hs;
        EXPECT_EQ(r.start.minTilt, -90) << Ws << "x" << Hs;
    }
    const hv::ViewSetupResult big = hvtest::Init(1200, 700);
    EXPECT_EQ(big.setup->Wout, 600);
    EXPECT_EQ(big.setup->Hout, 400);
    EXPECT_NEAR(big.start.fov, 118.81, 0.005);
    EXPECT_EQ(big.start.maxFov, big.start.fov);
}

TEST(ViewSetup, TablesStayInRange) {
    for (auto [Ws, Hs] : {std::pair{380, 116}, std::pair{4, 2}, std::pair{12, 3},
                          std::pair{2704, 383}, std::pair{2708, 1075}, std::pair{101, 37}}) {
        const hv::ViewSetupResult r = hvtest::Init(Ws, Hs);
        ASSERT_TRUE(r.ok) << Ws << "x" << Hs;
        const hv::ViewTables& T = r.setup->tables;
        for (int i = 0; i <= hv::kViewTableSteps; ++i) {
            for (const auto* q : {&T.COLQ1, &T.COLQ2, &T.COLQ3, &T.COLQ4}) {
                ASSERT_GE((*q)[i], 0);
                ASSERT_LT((*q)[i], Ws);
            }
            ASSERT_GE(T.ROWUP[i], 0);
            ASSERT_LE(T.ROWUP[i], Hs - 1);
            ASSERT_GE(T.ROWDN[i], 1);
            ASSERT_LE(T.ROWDN[i], Hs);
            if (i > 0) {
                ASSERT_GE(T.ANG8[i], T.ANG8[i - 1]) << "angles grow with t";
                ASSERT_GE(T.LEN[i], T.LEN[i - 1]);
            }
        }
        EXPECT_GE(r.setup->sourceRowsRead, Hs);
        EXPECT_GE(r.setup->Wout, 4);
        EXPECT_EQ(r.setup->Wout % 4, 0);
        EXPECT_GT(r.start.fov, 0);
        EXPECT_LE(r.start.fov, 120);
        // The starting view fits the tilt range.
        hv::HalfVerticalFov half(r.setup->aspect);
        EXPECT_LT(2 * half(r.start.fov), r.start.maxTilt - r.start.minTilt);
    }
    // Row and column tables around the horizon.
    const hv::ViewSetupResult r = hvtest::Init(380, 116);
    EXPECT_EQ(r.setup->tables.ROWUP[0], 58 + 1);
    EXPECT_EQ(r.setup->tables.ROWDN[0], 58);
    EXPECT_EQ(r.setup->tables.COLQ1[0], 191);
    EXPECT_EQ(r.setup->tables.COLQ2[0], 189);
    EXPECT_EQ(r.setup->tables.COLQ3[0], 379);
    EXPECT_EQ(r.setup->tables.COLQ4[0], 1);
    EXPECT_EQ(r.setup->tables.ROWUP[4096], 115) << "clamped to Hs - 1";
    EXPECT_EQ(r.setup->tables.ROWDN[4096], 1) << "clamped to 1";
}

TEST(ViewSetup, RefusesUnusableSizes) {
    for (auto [Ws, Hs] : {std::pair{380, 0}, std::pair{380, -4}, std::pair{380, 1},
                          std::pair{0, 100}, std::pair{2, 100}, std::pair{1 << 21, 100}}) {
        const hv::ViewSetupResult r = hv::InitViewEngine(Ws, Hs);
        EXPECT_FALSE(r.ok) << Ws << "x" << Hs;
        EXPECT_FALSE(r.error.empty());
        EXPECT_EQ(r.setup, nullptr);
    }
}

// A view of an explicit size: the derived size given explicitly builds the
// same setup; the largest size keeps every ray of the navigation's fields of
// view inside the fixed-point range; sizes outside 1x1 .. 3840x2160 fail.
TEST(ViewSetup, ExplicitViewSize) {
    const hv::ViewSetupResult derived = hvtest::Init(2712, 850);
    const hv::ViewSetupResult same = hv::InitViewEngine(2712, 850, 600, 400);
    ASSERT_TRUE(same.ok) << same.error;
    const hv::ViewSetup& a = *derived.setup;
    const hv::ViewSetup& b = *same.setup;
    EXPECT_EQ(a.pixScale, b.pixScale);
    EXPECT_EQ(a.colStart, b.colStart);
    EXPECT_EQ(a.rowEnd, b.rowEnd);
    EXPECT_EQ(a.tables.ANG8, b.tables.ANG8);
    EXPECT_EQ(a.colQuadrants, b.colQuadrants);
    EXPECT_EQ(derived.start.fov, same.start.fov);

    for (auto [w, h] : {std::pair{3840, 2160}, std::pair{1920, 1080}, std::pair{1, 1},
                        std::pair{16, 48}, std::pair{3840, 1}}) {
        const hv::ViewSetupResult r = hv::InitViewEngine(2712, 850, w, h);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.setup->pixelCount, w * h);
        EXPECT_EQ(r.setup->header.biSizeImage, 4 * w * h);
        for (float fov : {24.0f, 60.0f, 90.0f, 120.0f}) {
            for (float tilt : {-90.0f, 0.0f, 45.0f}) {
                const hv::ViewState v = hvtest::At(derived.start, 33, tilt, fov);
                EXPECT_TRUE(hv::RaysInRange(*r.setup, hv::ViewMatrix(*r.setup, v)))
                    << w << "x" << h << " fov " << fov;
            }
        }
    }
    for (auto [w, h] : {std::pair{0, 400}, std::pair{600, 0}, std::pair{3841, 400},
                        std::pair{600, 2161}, std::pair{-1, -1}}) {
        const hv::ViewSetupResult r = hv::InitViewEngine(2712, 850, w, h);
        EXPECT_FALSE(r.ok) << w << "x" << h;
        EXPECT_FALSE(r.error.empty());
    }
}

// A view rendered for a file may be up to 8192 per side plus the high
// renderer's spare row and column: the same tables, sizes whose products fit,
// rays in range for the navigation's fields of view (a ray's length follows
// the aspect, not the size), and the fast renderers still equal the scalar
// reference across the widest view; one more pixel fails, and the screen cap
// stays where it was.
TEST(ViewSetup, FileViewSize) {
    const hv::ViewSetupResult derived = hvtest::Init(2712, 850);
    constexpr int32_t kMax = hv::kMaxFileViewSide;
    static_assert(kMax == 8193);
    for (auto [w, h] : {std::pair{kMax, kMax}, std::pair{kMax, 4609}, std::pair{8192, 4608},
                        std::pair{kMax, 1}, std::pair{1, 1}}) {
        const hv::ViewSetupResult r = hv::InitViewEngine(2712, 850, w, h, hv::ViewSizeCap::File);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.setup->pixelCount, w * h);
        EXPECT_EQ(int64_t{r.setup->header.biSizeImage}, int64_t{4} * w * h);
        EXPECT_EQ(r.setup->tables.ANG8, derived.setup->tables.ANG8);
        EXPECT_EQ(r.setup->colQuadrants, derived.setup->colQuadrants);
        EXPECT_EQ(r.setup->sourceRowsRead, derived.setup->sourceRowsRead);
        for (float fov : {24.0f, 60.0f, 90.0f, 120.0f}) {
            for (float tilt : {-90.0f, 0.0f, 45.0f}) {
                const hv::ViewState v = hvtest::At(derived.start, 33, tilt, fov);
                EXPECT_TRUE(hv::RaysInRange(*r.setup, hv::ViewMatrix(*r.setup, v)))
                    << w << "x" << h << " fov " << fov;
            }
        }
    }
    const hv::ViewSetupResult strip = hv::InitViewEngine(2712, 850, kMax, 9, hv::ViewSizeCap::File);
    ASSERT_TRUE(strip.ok) << strip.error;
    const hvtest::Panorama pano =
        hvtest::MakePanorama(2712, 850, hvtest::NoisePixel, strip.setup->sourceRowsRead - 850 + 1);
    const size_t size = static_cast<size_t>(kMax) * 11 + 1;
    for (float fov : {30.0f, 120.0f}) {
        const hv::FixedMatrix M =
            hv::ViewMatrix(*strip.setup, hvtest::At(derived.start, 33, 10, fov));
        std::vector<uint32_t> fast(size, 7u), reference(size, 7u);
        ASSERT_TRUE(hv::RenderHigh(*strip.setup, M, pano.Source(), fast.data()));
        ASSERT_TRUE(hv::RenderHighScalar(*strip.setup, M, pano.Source(), reference.data()));
        EXPECT_EQ(fast, reference) << "high, fov " << fov;
        ASSERT_TRUE(hv::RenderDraft(*strip.setup, M, pano.Source(), fast.data()));
        ASSERT_TRUE(hv::RenderDraftScalar(*strip.setup, M, pano.Source(), reference.data()));
        EXPECT_EQ(fast, reference) << "draft, fov " << fov;
    }

    for (auto [w, h] : {std::pair{kMax + 1, 400}, std::pair{600, kMax + 1}, std::pair{0, 1}}) {
        EXPECT_FALSE(hv::InitViewEngine(2712, 850, w, h, hv::ViewSizeCap::File).ok)
            << w << "x" << h;
    }
    EXPECT_FALSE(hv::InitViewEngine(2712, 850, 3841, 400, hv::ViewSizeCap::Screen).ok);
}

}  // namespace
