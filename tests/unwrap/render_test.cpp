// Renderers: the design's numbers, orientation, seam, skipped pixels and the
// SIMD paths against the scalar reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "unwrap/render_view.h"
#include "view_test_util.h"

namespace {

using hvtest::At;
using hvtest::CentreColumn;
using hvtest::ColumnOf;
using hvtest::RowOf;

constexpr uint32_t kSentinel = 0xA5A5A5A5u;

std::vector<uint32_t> Canvas(const hv::ViewSetup& s) {
    return std::vector<uint32_t>(static_cast<size_t>(s.Wout) * (s.Hout + 2), kSentinel);
}

uint32_t& Px(std::vector<uint32_t>& v, const hv::ViewSetup& s, int32_t col, int32_t row) {
    return v[static_cast<size_t>(row) * s.Wout + col];
}

TEST(Render, FovTermsAndMatrix) {
    const auto r = hvtest::Init(380, 116);
    const hv::FovTerms f120 = hv::ComputeFovTerms(*r.setup, 120);
    EXPECT_NEAR(f120.fovRad, 2.0944, 1e-4);
    EXPECT_NEAR(f120.fixScale, 62582.27, 0.02);
    EXPECT_NEAR(hv::ComputeFovTerms(*r.setup, 24).fixScale, 312911.3, 0.1);
    EXPECT_NEAR(hv::ComputeFovTerms(*r.setup, 10).fixScale, 436906.66, 0.01) << "below 0.3 rad";

    const hv::FixedMatrix M = hv::ViewMatrix(*r.setup, At(r.start, 0, 0, 120));
    EXPECT_EQ(M[1], 0);
    EXPECT_EQ(M[2], 0) << "round(0.5) is 0";
    EXPECT_EQ(M[3], 0);
    EXPECT_EQ(M[5], 0);
    EXPECT_EQ(M[6], 0);
    EXPECT_GT(M[0], 0);
    EXPECT_EQ(M[0], M[4]);
    EXPECT_NEAR(M[8], 62583, 1);
    const auto C = hv::BuildRotation(0.3f, -1.1f, 0.01f);
    EXPECT_EQ(C[3], 0.0f);
}

TEST(Render, AngleOfQuadrants) {
    const auto r = hvtest::Init(380, 116);
    const hv::ViewTables& T = r.setup->tables;
    EXPECT_EQ(hv::AngleOf(1000, 0, T), -4) << "-ANG8[0] straight ahead";
    EXPECT_EQ(hv::AngleOf(0, 5, T), T.quarter);
    EXPECT_EQ(hv::AngleOf(0, 0, T), -T.quarter);
    EXPECT_EQ(hv::AngleOf(0, -5, T), -T.quarter);
    EXPECT_EQ(hv::AngleOf(1000, 1000, T), T.ANG8[2048]);
    EXPECT_EQ(hv::AngleOf(-1000, 1000, T), T.halfTurn - T.ANG8[2048]);
    EXPECT_EQ(hv::AngleOf(-1000, -1000, T), T.ANG8[2048] - T.halfTurn);
    EXPECT_EQ(hv::AngleOf(-1000, 0, T), T.halfTurn - T.ANG8[0]);
    EXPECT_NEAR(T.ANG8[2048], T.quarter / 2, 40);
    // Any pair of components gives an angle in range without undefined steps.
    const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -(1 << 20), -1, 0, 1, 1 << 20, INT32_MAX};
    for (int32_t a : extremes) {
        for (int32_t b : extremes) {
            const int32_t angle = hv::AngleOf(a, b, T);
            EXPECT_GE(angle, -T.halfTurn) << a << "," << b;
            EXPECT_LE(angle, T.halfTurn) << a << "," << b;
        }
    }
}

TEST(Render, CentreColumnAtPanZero) {
    const auto r = hvtest::Init(380, 116);
    const hv::ViewSetup& s = *r.setup;
    const auto pano = hvtest::MakePanorama(380, 116, hvtest::PositionPixel);
    const hv::FixedMatrix M = hv::ViewMatrix(s, At(r.start, 0, 0, r.start.fov));
    auto draft = Canvas(s);
    ASSERT_TRUE(hv::RenderDraftScalar(s, M, pano.Source(), draft.data()));
    const int32_t c = CentreColumn(s);
    EXPECT_EQ(ColumnOf(Px(draft, s, c, 20)), 189) << "COLQ2[0] = 190 - A[0]";

    // High: column 189 with weight 252 of 255 on column 190.
    const auto edge = hvtest::MakePanorama(
        380, 116, [](int32_t col, int32_t) { return col == 190 ? 0x00FF00FFu : 0u; });
    auto high = Canvas(s);
    ASSERT_TRUE(hv::RenderHighScalar(s, M, edge.Source(), high.data()));
    const uint32_t p = Px(high, s, c, 20);
    const uint32_t expect = ((255u * 252 >> 4) * 255 * 16) >> 16;  // 250
    EXPECT_EQ(p & 255, expect);
    EXPECT_EQ((p >> 8) & 255, 0u);
    EXPECT_EQ((p >> 16) & 255, expect);
    EXPECT_EQ(p >> 24, 0u);
}

TEST(Render, ZeroForwardRays) {
    const auto r = hvtest::Init(380, 116);
    const hv::ViewSetup& s = *r.setup;
    const auto pano = hvtest::MakePanorama(380, 116, hvtest::PositionPixel);
    const int32_t c = CentreColumn(s);
    for (float pan : {-90.0f, 90.0f}) {
        const hv::FixedMatrix M = hv::ViewMatrix(s, At(r.start, pan, 0, r.start.fov));
        EXPECT_EQ(M[8], 0) << "the centre ray has z = 0";
        const int32_t expect = pan < 0 ? 380 / 4 : 3 * (380 >> 2);
        auto draft = Canvas(s), high = Canvas(s);
        ASSERT_TRUE(hv::RenderDraftScalar(s, M, pano.Source(), draft.data()));
        EXPECT_EQ(ColumnOf(Px(draft, s, c, 30)), expect) << pan;
        // High: az = +-quarter with fx = 0, so only column `expect` counts.
        const auto marker = hvtest::MakePanorama(
            380, 116, [&](int32_t col, int32_t) { return col == expect ? 0x00FFFFFFu : 0u; });
        ASSERT_TRUE(hv::RenderHighScalar(s, M, marker.Source(), high.data()));
        EXPECT_EQ(Px(high, s, c, 30), 0x00FDFDFDu) << pan;
    }
}

TEST(Render, SeamBlendsLastColumnWithFirst) {
    const auto r = hvtest::Init(380, 116);
    const hv::ViewSetup& s = *r.setup;
    const auto pano = hvtest::MakePanorama(
        380, 116, [](int32_t col, int32_t) { return col == 0 ? 0x00FFFFFFu : 0u; });
    const hv::FixedMatrix M = hv::ViewMatrix(s, At(r.start, 180, 0, r.start.fov));
    auto high = Canvas(s);
    ASSERT_TRUE(hv::RenderHighScalar(s, M, pano.Source(), high.data()));
    // Find the pixels whose ray falls between column Ws - 1 and column 0.
    int blended = 0;
    for (int32_t i = 0; i < s.Wout - 1; ++i) {
        const int32_t u = s.colStart + i + 1, v = s.rowStart + 40;
        const int32_t x = M[0] * u + M[1] * v + M[2], z = M[6] * u + M[7] * v + M[8];
        const int32_t az = hv::AngleOf(z, x, s.tables);
        if ((az >> 8) + 190 != 379) continue;
        const uint32_t fx = static_cast<uint32_t>(az) & 255;
        const uint32_t expect = ((255 * fx >> 4) * 255 * 16) >> 16;
        EXPECT_EQ(Px(high, s, i, 40) & 255, expect) << "column " << i;
        if (fx > 0) ++blended;
    }
    EXPECT_GT(blended, 0);
}

TEST(Render, WhiteIsTwoFiftyThreeAndSkippedPixelsKeepTheirValue) {
    const auto r = hvtest::Init(380, 116);
    const hv::ViewSetup& s = *r.setup;
    const auto white = hvtest::MakePanorama(380, 116, [](int32_t, int32_t) { return 0xFFFFFFFFu; });
    auto high = Canvas(s);
    // Tilted up so the top rows of the view look past the panorama.
    const hv::FixedMatrix M = hv::ViewMatrix(s, At(r.start, 10, 40, 118));
    ASSERT_TRUE(hv::RenderHighScalar(s, M, white.Source(), high.data()));
    int written = 0, skipped = 0;
    for (int32_t m = 0; m < s.Hout + 2; ++m) {
        for (int32_t i = 0; i < s.Wout; ++i) {
            const uint32_t p = Px(high, s, i, m);
            if (m == 0 || i == s.Wout - 1 || m >= s.Hout) {
                ASSERT_EQ(p, kSentinel) << "row 0, last column and spare space are not written";
            } else if (p == kSentinel) {
                ++skipped;
            } else {
                ASSERT_EQ(p, 0x00FDFDFDu) << i << "," << m;
                ++written;
            }
        }
    }
    EXPECT_GT(written, 1000);
    EXPECT_GT(skipped, 100) << "rays beyond the panorama's edge are skipped";

    // Draft repeats the clamped edge row instead and writes the spare row.
    auto draft = Canvas(s);
    ASSERT_TRUE(hv::RenderDraftScalar(s, M, white.Source(), draft.data()));
    for (int32_t m = 0; m <= s.Hout; ++m) {
        for (int32_t i = 0; i < s.Wout; ++i) ASSERT_EQ(Px(draft, s, i, m), 0xFFFFFFFFu);
    }
    EXPECT_EQ(Px(draft, s, 0, s.Hout + 1), kSentinel);
}

// A larger pan turns the view toward larger columns, a larger tilt toward
// smaller rows; pan -90 looks at column Ws / 4.
TEST(Render, Orientation) {
    const auto r = hvtest::Init(380, 116);
    const hv::ViewSetup& s = *r.setup;
    const auto pano = hvtest::MakePanorama(380, 116, hvtest::PositionPixel);
    const int32_t c = CentreColumn(s), mid = s.Hout / 2;
    auto centre = [&](float pan, float tilt, bool draft) {
        auto out = Canvas(s);
        const hv::FixedMatrix M = hv::ViewMatrix(s, At(r.start, pan, tilt, 90));
        EXPECT_TRUE(draft ? hv::RenderDraftScalar(s, M, pano.Source(), out.data())
                          : hv::RenderHighScalar(s, M, pano.Source(), out.data()));
        return Px(out, s, c, mid);
    };
    for (bool draft : {true, false}) {
        EXPECT_NEAR(ColumnOf(centre(-90, 0, draft)), 95, 1);
        const int32_t c0 = ColumnOf(centre(-20, 0, draft));
        const int32_t c1 = ColumnOf(centre(10, 0, draft));
        EXPECT_NEAR(c1 - c0, 30 * 380 / 360.0, 2) << "30 degrees of pan";
        const int32_t r0 = RowOf(centre(0, -5, draft));
        const int32_t r1 = RowOf(centre(0, 5, draft));
        EXPECT_NEAR(r0 - r1, 10 * 380 / 360.0, 2) << "larger tilt, smaller rows";
        // Up in the view (growing memory rows) is growing panorama rows, right
        // is growing columns.
        auto out = Canvas(s);
        const hv::FixedMatrix M = hv::ViewMatrix(s, At(r.start, 33, 0, 90));
        draft ? hv::RenderDraftScalar(s, M, pano.Source(), out.data())
              : hv::RenderHighScalar(s, M, pano.Source(), out.data());
        EXPECT_GT(RowOf(Px(out, s, c, mid + 20)), RowOf(Px(out, s, c, mid - 20)));
        EXPECT_GT(ColumnOf(Px(out, s, c + 20, mid)), ColumnOf(Px(out, s, c - 20, mid)));
    }
}

TEST(Render, RefusesBadInput) {
    const auto r = hvtest::Init(380, 116);
    const hv::ViewSetup& s = *r.setup;
    auto out = Canvas(s);
    const hv::FixedMatrix M = hv::ViewMatrix(s, r.start);
    const auto pano = hvtest::MakePanorama(380, 116, hvtest::PositionPixel, 0);
    hv::ViewSource src = pano.Source();
    EXPECT_TRUE(hv::RenderDraft(s, M, src, out.data())) << "Hs rows are enough";
    src.readableRows = 115;
    EXPECT_FALSE(hv::RenderDraft(s, M, src, out.data()));
    EXPECT_FALSE(hv::RenderHigh(s, M, src, out.data()));
    src = pano.Source();
    src.width = 384;
    EXPECT_FALSE(hv::RenderHigh(s, M, src, out.data()));
    hv::FixedMatrix huge = M;
    huge[8] = 1 << 30;
    EXPECT_FALSE(hv::RenderHigh(s, huge, pano.Source(), out.data()));
    EXPECT_FALSE(hv::RenderDraft(s, huge, pano.Source(), out.data()));

    // Fields of view across the whole navigation range stay in range.
    for (float fov = 5; fov <= 125; fov += 0.5f) {
        for (float tilt : {-90.0f, -30.0f, 0.0f, 45.0f, 90.0f}) {
            ASSERT_TRUE(hv::RaysInRange(s, hv::ViewMatrix(s, At(r.start, 17, tilt, fov))))
                << fov << " " << tilt;
        }
    }
    hv::ViewRenderer renderer(r.setup);
    hv::ViewBuffer buffer;
    hv::ViewState bad = r.start;
    bad.fov = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(renderer.Render(pano.Source(), bad, false, {}, buffer));
}

TEST(Render, QualityModeChoosesTheRenderer) {
    const auto r = hvtest::Init(380, 116);
    const hv::ViewSetup& s = *r.setup;
    const auto pano = hvtest::MakePanorama(380, 116, hvtest::NoisePixel);
    const hv::ViewState view = At(r.start, 12, 3, 100);
    const hv::FixedMatrix M = hv::ViewMatrix(s, view);
    auto draft = Canvas(s), high = Canvas(s);
    hv::RenderDraftScalar(s, M, pano.Source(), draft.data());
    hv::RenderHighScalar(s, M, pano.Source(), high.data());
    auto rendered = [&](hv::QualityMode q, bool moving) {
        hv::ViewRenderer renderer(r.setup);
        hv::ViewBuffer buffer;
        buffer.Prepare(s.Wout, s.Hout);
        std::fill(buffer.data(), buffer.data() + buffer.capacity(), kSentinel);
        EXPECT_TRUE(renderer.Render(pano.Source(), view, moving, {q, false, false}, buffer));
        EXPECT_EQ(renderer.matrix(), M);
        return std::vector<uint32_t>(buffer.data(), buffer.data() + draft.size());
    };
    EXPECT_EQ(rendered(hv::QualityMode::Draft, false), draft);
    EXPECT_EQ(rendered(hv::QualityMode::Mixed, true), draft);
    EXPECT_EQ(rendered(hv::QualityMode::Mixed, false), high);
    EXPECT_EQ(rendered(hv::QualityMode::High, true), high);

    hv::ViewRenderer renderer(r.setup);
    EXPECT_STREQ(renderer.RendererFor(hv::QualityMode::Draft, false).Name(), "draft");
    EXPECT_STREQ(renderer.RendererFor(hv::QualityMode::Mixed, true).Name(), "draft");
    EXPECT_STREQ(renderer.RendererFor(hv::QualityMode::Mixed, false).Name(), "high");
    EXPECT_STREQ(renderer.RendererFor(hv::QualityMode::High, true).Name(), "high");
    // Each CPU renderer through the interface draws what its reference draws.
    hv::DraftRenderer draftRenderer;
    hv::HighRenderer highRenderer;
    const std::pair<hv::PerspectiveRenderer*, const std::vector<uint32_t>*> cases[] = {
        {&draftRenderer, &draft}, {&highRenderer, &high}};
    for (const auto& [cpu, expected] : cases) {
        auto out = Canvas(s);
        EXPECT_TRUE(cpu->Render(s, M, pano.Source(), out.data())) << cpu->Name();
        EXPECT_EQ(out, *expected) << cpu->Name();
    }
}

// The AVX2 renderers match the scalar reference bit for bit, including the
// scalar tails of rows whose width is not a multiple of eight (708, 599, 63).
TEST(Render, SimdMatchesScalar) {
    if (!hv::CpuHasAvx2()) GTEST_SKIP() << "no AVX2";
    for (auto [Ws, Hs] :
         {std::pair{380, 116}, std::pair{1004, 399}, std::pair{2708, 1075}, std::pair{124, 37}}) {
        const auto r = hvtest::Init(Ws, Hs);
        const hv::ViewSetup& s = *r.setup;
        const auto pano = hvtest::MakePanorama(Ws, Hs, hvtest::NoisePixel);
        for (float pan : {-180.0f, -90.0f, -37.3f, 45.0f, 179.9f}) {
            for (float tilt : {-90.0f, -20.0f, 7.5f, 90.0f}) {
                for (float fov : {23.72f, r.start.fov, 121.4f}) {
                    const hv::FixedMatrix M = hv::ViewMatrix(s, At(r.start, pan, tilt, fov));
                    auto a = Canvas(s), b = Canvas(s);
                    ASSERT_TRUE(hv::RenderHighScalar(s, M, pano.Source(), a.data()));
                    ASSERT_TRUE(hv::RenderHighAvx2(s, M, pano.Source(), b.data()));
                    ASSERT_EQ(a, b)
                        << "high " << Ws << "x" << Hs << " " << pan << " " << tilt << " " << fov;
                    a = Canvas(s);
                    b = Canvas(s);
                    ASSERT_TRUE(hv::RenderDraftScalar(s, M, pano.Source(), a.data()));
                    ASSERT_TRUE(hv::RenderDraftAvx2(s, M, pano.Source(), b.data()));
                    ASSERT_EQ(a, b)
                        << "draft " << Ws << "x" << Hs << " " << pan << " " << tilt << " " << fov;
                }
            }
        }
    }
}

// At 3840 x 2160 the AVX2 rows go in segments; a few bands of rows, top,
// middle and bottom, match the scalar reference. So do views whose rows end
// in a segment narrower than one vector.
TEST(Render, SimdMatchesScalarAtFourK) {
    if (!hv::CpuHasAvx2()) GTEST_SKIP() << "no AVX2";
    const auto pano = hvtest::MakePanorama(2712, 850, hvtest::NoisePixel);
    const hv::ViewSetupResult r = hv::InitViewEngine(2712, 850, 3840, 2160);
    ASSERT_TRUE(r.ok) << r.error;
    const hv::ViewSetup& s = *r.setup;
    auto a = Canvas(s), b = Canvas(s);
    const auto rowsEqual = [&](hv::RowBand band) {
        const size_t from = static_cast<size_t>(band.first) * s.Wout;
        const size_t to = static_cast<size_t>(std::min(band.last, s.Hout + 1)) * s.Wout;
        return std::equal(a.begin() + from, a.begin() + to, b.begin() + from);
    };
    for (float fov : {24.0f, 120.0f}) {
        const hv::FixedMatrix M = hv::ViewMatrix(s, At(r.start, 21.5f, -10, fov));
        for (hv::RowBand band : {hv::RowBand{0, 3}, hv::RowBand{1079, 1082}, hv::RowBand{2158}}) {
            ASSERT_TRUE(hv::RenderHighScalar(s, M, pano.Source(), a.data(), band));
            ASSERT_TRUE(hv::RenderHighAvx2(s, M, pano.Source(), b.data(), band));
            ASSERT_TRUE(rowsEqual(band)) << "high rows " << band.first << " fov " << fov;
            ASSERT_TRUE(hv::RenderDraftScalar(s, M, pano.Source(), a.data(), band));
            ASSERT_TRUE(hv::RenderDraftAvx2(s, M, pano.Source(), b.data(), band));
            ASSERT_TRUE(rowsEqual(band)) << "draft rows " << band.first << " fov " << fov;
        }
    }
    // Rows whose last segment is shorter than a vector (1029 and 1030
    // columns: 1024 + 5 and + 6) or whose whole width is (7 and 6).
    for (auto [W, H] : {std::pair{1031, 9}, std::pair{1030, 8}, std::pair{8, 5}, std::pair{7, 4}}) {
        const hv::ViewSetupResult small = hv::InitViewEngine(2712, 850, W, H);
        ASSERT_TRUE(small.ok) << small.error;
        const hv::ViewSetup& t = *small.setup;
        const hv::FixedMatrix M = hv::ViewMatrix(t, At(small.start, -61.0f, 12, 70));
        auto c = Canvas(t), d = Canvas(t);
        ASSERT_TRUE(hv::RenderHighScalar(t, M, pano.Source(), c.data()));
        ASSERT_TRUE(hv::RenderHighAvx2(t, M, pano.Source(), d.data()));
        ASSERT_EQ(c, d) << "high " << W << "x" << H;
        ASSERT_TRUE(hv::RenderDraftScalar(t, M, pano.Source(), c.data()));
        ASSERT_TRUE(hv::RenderDraftAvx2(t, M, pano.Source(), d.data()));
        ASSERT_EQ(c, d) << "draft " << W << "x" << H;
    }
}

}  // namespace
