// The preview computed by PreviewStep's renderer is the unwrap engine's
// preview mapping of the same frame with the same geometry, seam rotation and
// flips, shown top-down in the transform window.
#include <gtest/gtest.h>

#include <vector>

#include "setup/overlay.h"
#include "setup/preview_renderer.h"
#include "unwrap/preview_unwrap.h"

namespace hv::setup {
namespace {

FrameBuffer PatternFrame(int w, int h) {
    FrameBuffer f;
    f.Allocate(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            f.pixels[static_cast<size_t>(y) * w + x] = 0xFF000000u | uint32_t(y * 977 + x * 31);
    return f;
}

PreviewImage Expected(const GeometrySnapshot& s, const FrameBuffer& f) {
    const RingGeometryResult r = BuildPreviewGeometry(s.geometry, s.shiftRect, f.width, f.height);
    EXPECT_TRUE(r.ok) << r.error;
    PreviewUnwrapper u;
    u.SetMapping(r.ring, FlipModeOf(s.geometry.flipH, s.geometry.flipV));
    PreviewImage img;
    EXPECT_TRUE(u.Unwrap(f, img));
    return img;
}

TEST(SetupPreview, RendererMatchesPreviewMappingForRotationAndFlips) {
    const FrameBuffer frame = PatternFrame(641, 479);  // odd sizes
    PreviewRenderer renderer;
    GeometrySnapshot s;
    s.geometry = {115, 35, 390, 380, 35, 0, 0};

    struct Case {
        int32_t shift, flipH, flipV;
    };
    PreviewImage previous;
    uint64_t builds = 0;
    for (const Case c :
         {Case{0, 0, 0}, Case{50, 0, 0}, Case{50, 1, 0}, Case{50, 0, 1}, Case{200, 1, 1}}) {
        s.shiftRect = c.shift;
        s.geometry.flipH = c.flipH;
        s.geometry.flipV = c.flipV;
        const SetupPictures pics = renderer.Render(s, frame);
        EXPECT_EQ(renderer.GeometryBuilds(), ++builds) << "every change recomputes the mapping";
        const PreviewImage expected = Expected(s, frame);
        const PreviewImage& got = renderer.Strip();
        ASSERT_EQ(got.width, expected.width);
        ASSERT_EQ(got.height, expected.height);
        EXPECT_TRUE(got.pixels == expected.pixels)
            << "shift " << c.shift << " flips " << c.flipH << c.flipV;
        EXPECT_FALSE(got.pixels == previous.pixels) << "each setting changes the picture";
        previous = got;

        const RingGeometry& ring = renderer.Ring();
        EXPECT_EQ(pics.preview, DrawPreviewPicture(StripForDisplay(expected), ring.Wp, ring.Hp));
        EXPECT_EQ(pics.doughnut,
                  DrawDoughnutPicture(frame.data(), frame.width, frame.height, s.geometry));
    }

    // The same snapshot again reuses the mapping.
    renderer.Render(s, frame);
    EXPECT_EQ(renderer.GeometryBuilds(), builds);
    // A new video recomputes it.
    renderer.Reset();
    renderer.Render(s, frame);
    EXPECT_EQ(renderer.GeometryBuilds(), builds + 1);
}

TEST(SetupPreview, UnusableGeometryStillDrawsTheDoughnutPicture) {
    const FrameBuffer frame = PatternFrame(320, 240);
    PreviewRenderer renderer;
    GeometrySnapshot s;
    s.geometry = {111, 111, 390, 380, 400, 0, 0};  // inner circle beyond the ring
    const SetupPictures pics = renderer.Render(s, frame);
    EXPECT_FALSE(renderer.RingUsable());
    EXPECT_EQ(pics.preview.size(), QSize(1010, 280));
    EXPECT_EQ(pics.preview.pixel(900, 200), PictureBackground());
    EXPECT_EQ(pics.doughnut.size(), QSize(600, 600));
    EXPECT_NE(pics.doughnut.pixel(20, 200), PictureBackground());

    // An empty frame buffer draws the backgrounds only.
    const SetupPictures none = renderer.Render(s, FrameBuffer());
    EXPECT_EQ(none.doughnut.pixel(300, 300), PictureBackground());
}

}  // namespace
}  // namespace hv::setup
