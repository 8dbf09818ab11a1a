#include "unwrap/render_view.h"

#include <cmath>

#include "unwrap/filters.h"

namespace hv {

bool RenderDraft(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src, uint32_t* out) {
    if (CpuHasAvx2()) return RenderDraftAvx2(s, M, src, out);
    return RenderDraftScalar(s, M, src, out);
}

bool RenderHigh(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src, uint32_t* out) {
    if (CpuHasAvx2()) return RenderHighAvx2(s, M, src, out);
    return RenderHighScalar(s, M, src, out);
}

ViewRenderer::ViewRenderer(std::shared_ptr<const ViewSetup> setup) : setup_(std::move(setup)) {}

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
    const bool draft =
        options.quality == QualityMode::Draft || (options.quality == QualityMode::Mixed && moving);
    const bool ok =
        draft ? RenderDraft(s, M_, src, buffer.data()) : RenderHigh(s, M_, src, buffer.data());
    if (!ok) return false;
    if (options.grayscale) ApplyGrayscale(s.pixelCount, buffer.data());
    if (options.soften) ApplySoften(s.Wout, s.Hout, buffer.data());
    return true;
}

}  // namespace hv
