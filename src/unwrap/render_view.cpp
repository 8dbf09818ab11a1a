#include "unwrap/render_view.h"

#include <cmath>

#include "unwrap/filters.h"

namespace hv {

bool DraftRenderer::Render(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                           uint32_t* out) {
    if (CpuHasAvx2()) return RenderDraftAvx2(s, M, src, out);
    return RenderDraftScalar(s, M, src, out);
}

bool HighRenderer::Render(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                          uint32_t* out) {
    if (CpuHasAvx2()) return RenderHighAvx2(s, M, src, out);
    return RenderHighScalar(s, M, src, out);
}

bool RenderDraft(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src, uint32_t* out) {
    return DraftRenderer().Render(s, M, src, out);
}

bool RenderHigh(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src, uint32_t* out) {
    return HighRenderer().Render(s, M, src, out);
}

ViewRenderer::ViewRenderer(std::shared_ptr<const ViewSetup> setup) : setup_(std::move(setup)) {}

PerspectiveRenderer& ViewRenderer::RendererFor(QualityMode quality, bool moving) {
    const bool draft = quality == QualityMode::Draft || (quality == QualityMode::Mixed && moving);
    if (draft) return draft_;
    return high_;
}

bool ViewRenderer::Render(const ViewSource& src, const ViewState& view, bool moving,
                          const RenderOptions& options, ViewBuffer& buffer) {
    const ViewSetup& s = *setup_;
    if (!std::isfinite(view.fov) || !std::isfinite(view.pan) || !std::isfinite(view.tilt)) {
        return false;
    }
    if (!fovValid_ || view.fov != fov_.fov) {
        fov_ = ComputeFovTerms(s, view.fov);
        fovValid_ = true;
    }
    const float a = static_cast<float>(static_cast<double>(s.degToRad) * view.tilt);
    const float b = static_cast<float>(static_cast<double>(s.degToRad) * view.pan);
    M_ = ToFixedMatrix(BuildRotation(a, b, fov_.rayScale), fov_.fixScale);

    buffer.Prepare(s.Wout, s.Hout);
    if (!RendererFor(options.quality, moving).Render(s, M_, src, buffer.data())) return false;
    if (options.grayscale) ApplyGrayscale(s.pixelCount, buffer.data());
    if (options.soften) ApplySoften(s.Wout, s.Hout, buffer.data());
    return true;
}

}  // namespace hv
