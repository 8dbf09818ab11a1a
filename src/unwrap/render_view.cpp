#include "unwrap/render_view.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <system_error>
#include <thread>

#include "unwrap/filters.h"
#include "unwrap/render_common.h"

namespace hv {

namespace {

// Rows per band below which another thread costs more than it saves.
constexpr int32_t kMinBandRows = 32;

using BandFunction = bool (*)(const ViewSetup&, const FixedMatrix&, const ViewSource&, uint32_t*,
                              RowBand);

// Renders rows first .. last - 1 in up to `threads` bands of nearly equal
// height; band 0 on the calling thread. The inputs were checked once before,
// so each band either writes its rows or (no AVX2) nothing, the same for all.
bool RenderBands(BandFunction render, int32_t threads, int32_t first, int32_t last,
                 const ViewSetup& s, const FixedMatrix& M, const ViewSource& src, uint32_t* out) {
    const int32_t rows = std::max(last - first, 0);
    const int32_t bands = std::clamp(rows / kMinBandRows, 1, threads);
    if (bands == 1) return render(s, M, src, out, RowBand{first, last});
    const auto bandStart = [&](int32_t b) {
        return first + static_cast<int32_t>(static_cast<int64_t>(rows) * b / bands);
    };
    std::array<std::thread, kMaxRenderThreads> helpers;
    std::array<bool, kMaxRenderThreads> results{};
    for (int32_t b = 1; b < bands; ++b) {
        const auto job = [&, b] {
            results[b] = render(s, M, src, out, RowBand{bandStart(b), bandStart(b + 1)});
        };
        try {
            helpers[b] = std::thread(job);
        } catch (const std::system_error&) {
            job();  // no thread to be had: this band on the calling thread
        }
    }
    results[0] = render(s, M, src, out, RowBand{bandStart(0), bandStart(1)});
    bool ok = true;
    for (int32_t b = 1; b < bands; ++b) {
        if (helpers[b].joinable()) helpers[b].join();
    }
    for (int32_t b = 0; b < bands; ++b) ok = ok && results[b];
    return ok;
}

bool DraftBand(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src, uint32_t* out,
               RowBand band) {
    if (CpuHasAvx2()) return RenderDraftAvx2(s, M, src, out, band);
    return RenderDraftScalar(s, M, src, out, band);
}

bool HighBand(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src, uint32_t* out,
              RowBand band) {
    if (CpuHasAvx2()) return RenderHighAvx2(s, M, src, out, band);
    return RenderHighScalar(s, M, src, out, band);
}

}  // namespace

void DraftRenderer::SetThreads(int32_t threads) {
    threads_ = std::clamp(threads, 1, kMaxRenderThreads);
}

void HighRenderer::SetThreads(int32_t threads) {
    threads_ = std::clamp(threads, 1, kMaxRenderThreads);
}

bool DraftRenderer::Render(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                           uint32_t* out) {
    if (threads_ == 1) return DraftBand(s, M, src, out, RowBand{});
    if (!render_detail::RenderInputsOk(s, M, src, out)) return false;
    return RenderBands(DraftBand, threads_, 0, s.Hout + 1, s, M, src, out);
}

bool HighRenderer::Render(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                          uint32_t* out) {
    if (threads_ == 1) return HighBand(s, M, src, out, RowBand{});
    if (!render_detail::RenderInputsOk(s, M, src, out)) return false;
    return RenderBands(HighBand, threads_, 1, s.Hout, s, M, src, out);
}

bool RenderDraft(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src, uint32_t* out) {
    return DraftRenderer().Render(s, M, src, out);
}

bool RenderHigh(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src, uint32_t* out) {
    return HighRenderer().Render(s, M, src, out);
}

ViewRenderer::ViewRenderer(std::shared_ptr<const ViewSetup> setup) : setup_(std::move(setup)) {}

void ViewRenderer::SetThreads(int32_t threads) {
    draft_.SetThreads(threads);
    high_.SetThreads(threads);
}

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
