#include "setup/preview_renderer.h"

#include "setup/overlay.h"

namespace hv::setup {

void PreviewRenderer::Reset() {
    cached_ = false;
}

void PreviewRenderer::UpdateGeometry(const GeometrySnapshot& snapshot, int32_t frameW,
                                     int32_t frameH) {
    // Everything the mapping depends on is compared, not only left, top and
    // the inner radius: a change of size, seam rotation or flips shows from
    // the next frame on, whatever order the values were changed in.
    if (cached_ && snapshot == cachedSnapshot_ && frameW == cachedW_ && frameH == cachedH_) return;
    cached_ = true;
    cachedSnapshot_ = snapshot;
    cachedW_ = frameW;
    cachedH_ = frameH;
    ++geometryBuilds_;

    const DoughnutGeometry& g = snapshot.geometry;
    const RingGeometryResult r = BuildPreviewGeometry(g, snapshot.shiftRect, frameW, frameH);
    ringOk_ = r.ok;
    if (ringOk_) {
        unwrapper_.SetMapping(r.ring, FlipModeOf(g.flipH, g.flipV));
    } else {
        unwrapper_ = PreviewUnwrapper();
        strip_ = PreviewImage();
    }
}

SetupPictures PreviewRenderer::Render(const GeometrySnapshot& snapshot, const FrameBuffer& frame) {
    SetupPictures out;
    const bool haveFrame =
        frame.width > 0 && frame.height > 0 &&
        frame.pixels.size() >= static_cast<size_t>(frame.width) * (frame.height + 1);
    if (!haveFrame) {
        out.doughnut = DrawDoughnutPicture(nullptr, 0, 0, snapshot.geometry);
        out.preview = DrawPreviewPicture({}, 0, 0);
        return out;
    }
    UpdateGeometry(snapshot, frame.width, frame.height);
    QImage shown;
    if (ringOk_ && unwrapper_.Unwrap(frame, strip_)) shown = StripForDisplay(strip_);
    const RingGeometry& ring = unwrapper_.Geometry();
    out.preview = DrawPreviewPicture(shown, ring.Wp, ring.Hp);
    out.doughnut = DrawDoughnutPicture(frame.data(), frame.width, frame.height, snapshot.geometry);
    return out;
}

}  // namespace hv::setup
