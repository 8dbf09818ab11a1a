// The setup utility's preview strip.
#include "unwrap/preview_unwrap.h"

#include <gtest/gtest.h>

#include "unwrap/unwrap_engine.h"
#include "unwrap_test_util.h"

namespace {

using hv::PreviewImage;
using hv::PreviewUnwrapper;
using hv::RingGeometry;

RingGeometry Preview(int32_t shift, int32_t w = 640, int32_t h = 480) {
    const hv::RingGeometryResult r = hv::BuildPreviewGeometry(hv::kStartupGeometry, shift, w, h);
    EXPECT_TRUE(r.ok) << r.error;
    return r.ring;
}

PreviewImage Unwrap(const RingGeometry& ring, hv::FlipMode mode, const hv::FrameBuffer& frame) {
    PreviewUnwrapper u;
    u.SetMapping(ring, mode);
    PreviewImage image;
    EXPECT_TRUE(u.Unwrap(frame, image));
    return image;
}

TEST(PreviewUnwrap, StripIsTheViewPartInEveryModeAndMatchesTheTableMapping) {
    const RingGeometry ring = Preview(37);
    const hv::FrameBuffer frame = hvtest::CodedFrame(640, 480);
    for (hv::FlipMode m : {0, 1, 2, 3}) {
        const PreviewImage image = Unwrap(ring, m, frame);
        ASSERT_EQ(image.width, ring.Wp);
        ASSERT_EQ(image.height, ring.Hp - ring.inner);
        // The same geometry through the player's table and copy.
        hv::UnwrapEngine engine;
        ASSERT_TRUE(engine.Configure(ring));
        engine.SetFlipMode(m);
        engine.UnwrapFrame(frame);
        engine.UnwrapFrame(frame);
        const hv::PanoramaView v = engine.AcquireReady();
        const std::vector<uint32_t> viewPart(v.ViewSource(),
                                             v.ViewSource() + size_t(v.Ws()) * v.Hs());
        EXPECT_EQ(image.pixels, viewPart) << "mode " << m;
    }
}

TEST(PreviewUnwrap, ModeZeroHasNoSeamOffsetAndShiftTurnsTheStrip) {
    const hv::FrameBuffer frame = hvtest::CodedFrame(640, 480);
    // SHIFTERECT 100 puts the origin at column 73; without the seam offset
    // the angle there is exactly 0: straight down from the centre.
    const RingGeometry ring = Preview(100);
    ASSERT_EQ(ring.origin, 73);
    const PreviewImage image = Unwrap(ring, 0, frame);
    for (int32_t j = 0; j < image.height; ++j) {
        const int32_t radius = ring.inner + j;
        const uint32_t want = hvtest::Code(ring.frameH - (ring.cy + radius), ring.cx);
        ASSERT_EQ(image.pixels[size_t(j) * image.width + 73], want) << "row " << j;
    }
    // 100 units = half a turn = 184 columns later.
    const PreviewImage base = Unwrap(Preview(0), 0, frame);
    for (int32_t j = 0; j < image.height; ++j) {
        for (int32_t c = 0; c + 184 < image.width; ++c) {
            ASSERT_EQ(image.pixels[size_t(j) * image.width + c + 184],
                      base.pixels[size_t(j) * image.width + c])
                << j << "," << c;
        }
    }
    // Mode 1 subtracts the seam offset: not the mirror of mode 0.
    const PreviewImage mirrored = Unwrap(ring, 1, frame);
    EXPECT_NE(mirrored.pixels[size_t(10) * image.width + (image.width - 1 - 73)],
              image.pixels[size_t(10) * image.width + 73]);
}

TEST(PreviewUnwrap, SamplesOutsideTheFrameLeaveTheImageAlone) {
    hv::DoughnutGeometry g = hv::kStartupGeometry;
    g.left = -150;
    const RingGeometry ring = hv::BuildPreviewGeometry(g, 0, 640, 480).ring;
    PreviewUnwrapper u;
    u.SetMapping(ring, 0);
    PreviewImage image;
    image.width = ring.Ws();
    image.height = ring.Hs();
    image.pixels.assign(size_t(image.width) * image.height, 0x777777u);
    ASSERT_TRUE(u.Unwrap(hvtest::UniformFrame(640, 480, 0x111111), image));
    size_t kept = 0, copied = 0;
    for (uint32_t p : image.pixels) {
        kept += p == 0x777777u;
        copied += p == 0x111111u;
    }
    EXPECT_GT(kept, 1000u);
    EXPECT_GT(copied, 1000u);
    EXPECT_EQ(kept + copied + std::count(image.pixels.begin(), image.pixels.end(), 0u),
              image.pixels.size());

    // Another frame size than the geometry's, or no mapping: refused.
    EXPECT_FALSE(u.Unwrap(hvtest::UniformFrame(320, 240, 1), image));
    EXPECT_FALSE(PreviewUnwrapper().Unwrap(hvtest::UniformFrame(640, 480, 1), image));
}

}  // namespace
