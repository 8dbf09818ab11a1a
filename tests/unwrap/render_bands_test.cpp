// Views rendered at a window's own size, rows split into bands over threads:
// every pixel, written or skipped, equals the one-thread scalar reference of
// a setup built for that size. Odd and one-pixel sizes included; the bands
// run on real threads (this binary runs under TSan).
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "unwrap/render_view.h"
#include "unwrap/view_setup.h"
#include "view_test_util.h"

namespace {

constexpr uint32_t kSentinel = 0xA5A5A5A5u;

std::vector<uint32_t> Canvas(const hv::ViewSetup& s) {
    return std::vector<uint32_t>(static_cast<size_t>(s.Wout) * (s.Hout + 2) + 1, kSentinel);
}

TEST(ViewBands, WindowSizesMatchTheScalarReference) {
    const int32_t Ws = 1004, Hs = 399;
    const auto pano = hvtest::MakePanorama(Ws, Hs, hvtest::NoisePixel);
    const hv::ViewState start = hvtest::Init(Ws, Hs).start;
    for (auto [w, h] : {std::pair{1, 1}, std::pair{1, 4}, std::pair{3, 1}, std::pair{17, 5},
                        std::pair{601, 401}, std::pair{1283, 229}, std::pair{1029, 67}}) {
        const hv::ViewSetupResult r = hv::InitViewEngine(Ws, Hs, w, h);
        ASSERT_TRUE(r.ok) << r.error;
        const hv::ViewSetup& s = *r.setup;
        ASSERT_EQ(s.Wout, w);
        ASSERT_EQ(s.Hout, h);
        for (const hv::ViewState v :
             {hvtest::At(start, -37.3f, 7.5f, start.fov), hvtest::At(start, 179.9f, -20, 24)}) {
            const hv::FixedMatrix M = hv::ViewMatrix(s, v);
            auto highRef = Canvas(s), draftRef = Canvas(s);
            const bool highOk = hv::RenderHighScalar(s, M, pano.Source(), highRef.data());
            const bool draftOk = hv::RenderDraftScalar(s, M, pano.Source(), draftRef.data());
            for (int32_t threads : {1, 2, 3, 7}) {
                auto high = Canvas(s), draft = Canvas(s);
                hv::HighRenderer highRenderer(threads);
                hv::DraftRenderer draftRenderer(threads);
                EXPECT_EQ(highRenderer.Render(s, M, pano.Source(), high.data()), highOk);
                EXPECT_EQ(draftRenderer.Render(s, M, pano.Source(), draft.data()), draftOk);
                EXPECT_EQ(high, highRef)
                    << "high " << w << "x" << h << " threads " << threads << " pan " << v.pan;
                EXPECT_EQ(draft, draftRef)
                    << "draft " << w << "x" << h << " threads " << threads << " pan " << v.pan;
            }
        }
    }
}

// A refused render writes nothing, whatever the thread count.
TEST(ViewBands, RefusedRenderWritesNothing) {
    const auto pano = hvtest::MakePanorama(1004, 399, hvtest::NoisePixel);
    const hv::ViewSetupResult r = hv::InitViewEngine(1004, 399, 640, 480);
    ASSERT_TRUE(r.ok);
    hv::ViewSource wrongSize = pano.Source();
    wrongSize.width = 1000;
    hv::HighRenderer high(4);
    hv::DraftRenderer draft(4);
    auto out = Canvas(*r.setup);
    EXPECT_FALSE(high.Render(*r.setup, hv::ViewMatrix(*r.setup, r.start), wrongSize, out.data()));
    EXPECT_FALSE(draft.Render(*r.setup, hv::ViewMatrix(*r.setup, r.start), wrongSize, out.data()));
    EXPECT_EQ(out, Canvas(*r.setup));
}

}  // namespace
