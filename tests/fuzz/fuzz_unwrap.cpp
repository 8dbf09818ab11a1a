// libFuzzer target: ring geometry, unwrap table, one unwrap and one render on
// arbitrary geometry values and frame sizes (negative, zero, huge, the 32-bit
// extremes), for both the player's mapping and the setup utility's preview.
//
// Input layout (missing bytes read as zero): seven 32-bit geometry values,
// frame width and height, SHIFTERECT, then one byte each for flip mode,
// quality, filters and the navigation events, then pan, tilt and field of
// view as raw floats (NaN and infinities included).
//
// Checks beyond "no crash": a geometry the builder accepts fits the engine's
// limits; the fast gather gives the reference's panorama exactly; a render
// of an accepted view only writes inside its buffer (ASan).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "unwrap/filters.h"
#include "unwrap/navigation.h"
#include "unwrap/preview_unwrap.h"
#include "unwrap/render_view.h"
#include "unwrap/ring_geometry.h"
#include "unwrap/unwrap_engine.h"
#include "unwrap/unwrap_table.h"
#include "unwrap/view_setup.h"

namespace {

using hv::fuzz::Reader;

// Work sizes a fuzzing run can afford per input; larger (valid) geometries
// are still built and checked, only not unwrapped.
constexpr int64_t kMaxFuzzFramePixels = int64_t{1} << 19;
constexpr int64_t kMaxFuzzPanoramaPixels = int64_t{1} << 18;

void CheckRing(const hv::RingGeometry& r, int32_t frameW, int32_t frameH) {
    Check(r.frameW == frameW && r.frameH == frameH);
    Check(hv::ValidFrameSize(frameW, frameH));
    Check(r.Wp > 0 && r.Hp > 0 && r.inner >= 0 && r.inner < r.Hp);
    Check(int64_t{r.Wp} * (r.Hp + hv::kPanoramaSpareRows) <= hv::kMaxPanoramaPixels);
}

void FillFrame(hv::FrameBuffer& fb) {
    const size_t picture = static_cast<size_t>(fb.width) * static_cast<size_t>(fb.height);
    for (size_t i = 0; i < picture; ++i) fb.pixels[i] = static_cast<uint32_t>(i * 2654435761u) | 1u;
}

void RenderOnce(const hv::PanoramaView& pano, Reader& in) {
    hv::ViewSetupResult vs = hv::InitViewEngine(pano.Ws(), pano.Hs());
    if (!vs.ok) return;
    const hv::ViewSetup& setup = *vs.setup;
    const hv::RingGeometry& ring = pano.Geometry();
    hv::ViewSource src;
    src.pixels = pano.ViewSource();
    src.width = pano.Ws();
    src.height = pano.Hs();
    src.readableRows = ring.Hp + hv::kPanoramaSpareRows - ring.ViewSourceRow(pano.Mode());

    const uint8_t quality = in.Get<uint8_t>();
    const uint8_t filters = in.Get<uint8_t>();
    const uint8_t events = in.Get<uint8_t>();
    hv::ViewState view = vs.start;
    const float pan = in.Get<float>(), tilt = in.Get<float>(), fov = in.Get<float>();
    if (events & 0x80) {  // raw values straight into the renderer
        view.pan = pan;
        view.tilt = tilt;
        view.fov = fov;
    } else {  // or through the navigation, as the player steers
        hv::Navigator nav;
        nav.Reset(vs.start, setup.aspect);
        if (events & 1) nav.PanLeft();
        if (events & 2) nav.PanUp();
        if (events & 4) nav.ToggleZoomIn();
        if (events & 8) nav.ToggleZoomOut();
        nav.ButtonDown(0, 0);
        nav.MouseMove(static_cast<int32_t>(std::fmod(std::isfinite(pan) ? pan : 0.f, 1e6f)),
                      static_cast<int32_t>(std::fmod(std::isfinite(tilt) ? tilt : 0.f, 1e6f)),
                      (events & 16) != 0);
        for (int i = 0; i < (events & 0x60) + 1; ++i) nav.AdvanceMotion();
        nav.ButtonUp();
        nav.AdvanceMotion();
        view = nav.Snapshot();
        // A very flat panorama starts below minFov (maxFov < minFov, and
        // zooming then stays put), so only sanity is checked here.
        Check(std::isfinite(view.pan) && std::isfinite(view.tilt));
        Check(view.fov > 0 && view.fov <= 120 * 1.012f);  // one zoom step past the limit
    }
    hv::ViewRenderer renderer(vs.setup);
    hv::ViewBuffer buffer;
    buffer.Prepare(setup.Wout, setup.Hout);
    hv::RenderOptions options;
    options.quality = static_cast<hv::QualityMode>(quality % 3);
    options.grayscale = (filters & 1) != 0;
    options.soften = (filters & 2) != 0;
    renderer.Render(src, view, (filters & 4) != 0, options, buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    hv::DoughnutGeometry g;
    g.left = in.Get<int32_t>();
    g.top = in.Get<int32_t>();
    g.width = in.Get<int32_t>();
    g.height = in.Get<int32_t>();
    g.innerRadius = in.Get<int32_t>();
    g.flipH = in.Get<int32_t>();
    g.flipV = in.Get<int32_t>();
    const int32_t frameW = in.Get<int32_t>();
    const int32_t frameH = in.Get<int32_t>();
    const int32_t shiftRect = in.Get<int32_t>();
    const hv::FlipMode mode = in.Get<uint8_t>() % hv::kFlipModeCount;

    // The view engine alone on the raw sizes, over a synthetic source.
    if (const hv::ViewSetupResult vs = hv::InitViewEngine(frameW, frameH); vs.ok) {
        Check(vs.setup->Ws == frameW && vs.setup->Hs == frameH);
        const int64_t rows = int64_t{frameH} + hv::kPanoramaSpareRows;
        if (int64_t{frameW} * rows <= kMaxFuzzPanoramaPixels) {
            std::vector<uint32_t> pixels(static_cast<size_t>(frameW * rows), 0x00804020u);
            const hv::ViewSource src{pixels.data(), frameW, frameH, static_cast<int32_t>(rows)};
            hv::ViewRenderer renderer(vs.setup);
            hv::ViewBuffer buffer;
            buffer.Prepare(vs.setup->Wout, vs.setup->Hout);
            hv::RenderOptions options;
            options.quality = static_cast<hv::QualityMode>(mode % 3);
            options.soften = true;
            Check(renderer.Render(src, vs.start, false, options, buffer));
        }
    }

    const hv::RingGeometryResult player = hv::BuildRingGeometry(g, frameW, frameH);
    const hv::RingGeometryResult preview = hv::BuildPreviewGeometry(g, shiftRect, frameW, frameH);
    Check(player.ok == player.error.empty());
    Check(preview.ok == preview.error.empty());
    if (player.ok) CheckRing(player.ring, frameW, frameH);
    if (preview.ok) CheckRing(preview.ring, frameW, frameH);
    if (!player.ok && !preview.ok) return 0;
    if (int64_t{frameW} * frameH > kMaxFuzzFramePixels) return 0;

    hv::FrameBuffer fb;
    Check(fb.Allocate(frameW, frameH));
    FillFrame(fb);

    if (preview.ok && preview.ring.PanoramaPixels() <= kMaxFuzzPanoramaPixels) {
        hv::PreviewUnwrapper unwrapper;
        unwrapper.SetMapping(preview.ring, mode);
        hv::PreviewImage image;
        Check(unwrapper.Unwrap(fb, image));
        Check(image.width == preview.ring.Wp && image.height == preview.ring.Hs());
    }
    if (!player.ok || player.ring.PanoramaPixels() > kMaxFuzzPanoramaPixels) return 0;
    const hv::RingGeometry& ring = player.ring;

    // The table, then the reference copy against the tiled gather.
    hv::UnwrapTable table;
    table.Allocate(ring);
    hv::BuildUnwrapTable(ring, mode, table);
    std::vector<uint32_t> ref(static_cast<size_t>(ring.PanoramaPixels()), 0);
    std::vector<uint32_t> fast(ref.size(), 0);
    hv::UnwrapReference(ring, table, fb.data(), ref.data());
    hv::GatherPlan plan;
    plan.Build(ring, table);
    plan.Run(fb.data(), fast.data());
    Check(ref == fast);

    // The engine's job: the first frame builds the table, the second copies.
    hv::UnwrapEngine engine;
    std::string error;
    Check(engine.Configure(ring, &error));
    engine.SetFlipMode(mode);
    engine.SetCopyPath(hv::UnwrapEngine::CopyPath::Reference);
    engine.UnwrapFrame(fb);
    Check(engine.UnwrapFrame(fb));
    hv::PanoramaView pano = engine.AcquireReady();
    Check(static_cast<bool>(pano));
    Check(std::memcmp(pano.Pixels(), ref.data(), ref.size() * 4) == 0);
    RenderOnce(pano, in);
    return 0;
}
