// Perspective rendering of the panorama: the current ViewState becomes a
// fixed-point rotation matrix, and every view pixel's ray is rotated into the
// sphere of the panorama, whose azimuth picks the column and whose elevation
// picks the row.
//
// Fixed point: the matrix M holds the rotation scaled by fixScale (about
// 2^17 / fovRad), so a ray's components stay below 2^19 and a component
// shifted left by kViewTableBits still fits 32 bits. Ray arithmetic wraps in
// 32 bits (computed unsigned); divisions are unsigned.
//
// Threads: a ViewRenderer and a PerspectiveRenderer belong to the one thread
// that renders. The free functions are pure apart from the output buffer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "unwrap/navigation.h"
#include "unwrap/view_buffer.h"
#include "unwrap/view_setup.h"

namespace hv {

enum class QualityMode : int32_t { Draft = 0, Mixed = 1, High = 2 };

// The player's settings for one render, copied from its program-wide words.
struct RenderOptions {
    QualityMode quality = QualityMode::High;
    bool grayscale = false;
    bool soften = false;
};

// Field-of-view terms, recomputed only when the field of view changes.
struct FovTerms {
    float fov = 0;       // degrees
    float fovRad = 0;    // single
    float rayScale = 0;  // single: pixScale * tan(fovRad / 2)
    float fixScale = 0;  // single: 131072 / max(fovRad, 0.3)
};
FovTerms ComputeFovTerms(const ViewSetup& setup, float fov);

// Row-major rotation C = Ry(pan) * Rx(tilt), columns 0 and 1 scaled by
// rayScale. C[3] is always 0.
std::array<float, 9> BuildRotation(float tiltRad, float panRad, float rayScale);

// M[i] = round(C[i] * fixScale + 0.5).
using FixedMatrix = std::array<int32_t, 9>;
FixedMatrix ToFixedMatrix(const std::array<float, 9>& C, float fixScale);

// The matrix of a view state (steps 1-4 of a render without the cache).
FixedMatrix ViewMatrix(const ViewSetup& setup, const ViewState& view);

// True when every ray of the view stays short enough for the fixed-point
// arithmetic of both renderers (no wrapped shifts or products). Matrices of
// the navigation's range of fields of view always pass.
bool RaysInRange(const ViewSetup& setup, const FixedMatrix& M);

// Angle of the vector (forward a, side b) in 1/256 panorama columns, 0 straight
// ahead, positive toward +b, in -halfTurn .. halfTurn.
int32_t AngleOf(int32_t a, int32_t b, const ViewTables& T);

// A way of drawing the view image from the panorama, given the matrix of a
// view. The CPU renderers below implement it; another renderer (a larger
// view, a GPU) goes beside them.
//
// Render writes the view into `out`, whose capacity is at least
// Wout * (Hout + 1) + 1 pixels (as ViewBuffer provides); which of those pixels
// it writes is the renderer's own (see RenderDraft and RenderHigh). It
// returns false, writing nothing, for an invalid source, a source whose size
// differs from the setup's, or a matrix outside RaysInRange.
//
// Threads: a renderer belongs to the one thread that renders with it.
class PerspectiveRenderer {
  public:
    virtual ~PerspectiveRenderer() = default;
    virtual bool Render(const ViewSetup& setup, const FixedMatrix& M, const ViewSource& src,
                        uint32_t* out) = 0;
    // A short lower-case name for messages: "draft", "high".
    virtual const char* Name() const = 0;
};

// Most threads a renderer splits its rows over.
inline constexpr int32_t kMaxRenderThreads = 16;

// Both CPU renderers can split a render into bands of whole rows, one per
// thread: the calling thread renders the first band, threads started for the
// render take the others and are joined before Render returns. Each band
// writes only its own rows and every pixel is computed as in a one-band
// render, so the image does not depend on the thread count. A view too small
// to be worth it uses fewer bands. SetThreads takes 1 .. kMaxRenderThreads
// (clamped).

// Nearest pixel, rows 0 .. Hout (the last in the spare row).
class DraftRenderer final : public PerspectiveRenderer {
  public:
    explicit DraftRenderer(int32_t threads = 1) { SetThreads(threads); }
    bool Render(const ViewSetup& setup, const FixedMatrix& M, const ViewSource& src,
                uint32_t* out) override;
    const char* Name() const override { return "draft"; }
    void SetThreads(int32_t threads);
    int32_t Threads() const { return threads_; }

  private:
    int32_t threads_ = 1;
};

// Bilinear with the 360-degree seam, rows 1 .. Hout - 1 and columns
// 0 .. Wout - 2; rays outside the panorama leave pixels unchanged.
class HighRenderer final : public PerspectiveRenderer {
  public:
    explicit HighRenderer(int32_t threads = 1) { SetThreads(threads); }
    bool Render(const ViewSetup& setup, const FixedMatrix& M, const ViewSource& src,
                uint32_t* out) override;
    const char* Name() const override { return "high"; }
    void SetThreads(int32_t threads);
    int32_t Threads() const { return threads_; }

  private:
    int32_t threads_ = 1;
};

// Rows first .. last - 1 of a render, clipped to the rows the renderer
// writes (draft 0 .. Hout, high 1 .. Hout - 1). The default is all of them.
struct RowBand {
    int32_t first = 0;
    int32_t last = INT32_MAX;
};

// The CPU renderers as functions. The plain versions are what DraftRenderer
// and HighRenderer do: they dispatch to the fastest path the processor has.
// The Scalar versions are the reference every other path matches bit for bit.
bool RenderDraft(const ViewSetup& setup, const FixedMatrix& M, const ViewSource& src,
                 uint32_t* out);
bool RenderHigh(const ViewSetup& setup, const FixedMatrix& M, const ViewSource& src, uint32_t* out);
bool RenderDraftScalar(const ViewSetup& setup, const FixedMatrix& M, const ViewSource& src,
                       uint32_t* out);
bool RenderHighScalar(const ViewSetup& setup, const FixedMatrix& M, const ViewSource& src,
                      uint32_t* out);
// AVX2 paths; return false without writing when the processor lacks AVX2.
bool RenderDraftAvx2(const ViewSetup& setup, const FixedMatrix& M, const ViewSource& src,
                     uint32_t* out);
bool RenderHighAvx2(const ViewSetup& setup, const FixedMatrix& M, const ViewSource& src,
                    uint32_t* out);
bool CpuHasAvx2();
// One band of rows of the functions above (same checks, same pixels); the
// functions above are these with the whole RowBand.
bool RenderDraftScalar(const ViewSetup& setup, const FixedMatrix& M, const ViewSource& src,
                       uint32_t* out, RowBand band);
bool RenderHighScalar(const ViewSetup& setup, const FixedMatrix& M, const ViewSource& src,
                      uint32_t* out, RowBand band);
bool RenderDraftAvx2(const ViewSetup& setup, const FixedMatrix& M, const ViewSource& src,
                     uint32_t* out, RowBand band);
bool RenderHighAvx2(const ViewSetup& setup, const FixedMatrix& M, const ViewSource& src,
                    uint32_t* out, RowBand band);

// Renders the view of one frame: the matrix of `view`, the renderer that
// RendererFor chooses, then grayscale and soften when asked for.
class ViewRenderer {
  public:
    explicit ViewRenderer(std::shared_ptr<const ViewSetup> setup);

    // Returns false, leaving the buffer unchanged, when the source does not
    // match the setup or the view state is not a finite view.
    bool Render(const ViewSource& src, const ViewState& view, bool moving,
                const RenderOptions& options, ViewBuffer& buffer);

    // The renderer of a quality mode: Draft, and Mixed while the view moves,
    // draw draft; otherwise high.
    PerspectiveRenderer& RendererFor(QualityMode quality, bool moving);

    // Threads both renderers split their rows over (1 .. kMaxRenderThreads).
    void SetThreads(int32_t threads);

    const ViewSetup& setup() const { return *setup_; }
    const FovTerms& fovTerms() const { return fov_; }
    const FixedMatrix& matrix() const { return M_; }

  private:
    std::shared_ptr<const ViewSetup> setup_;
    bool fovValid_ = false;
    FovTerms fov_;
    FixedMatrix M_{};
    DraftRenderer draft_;
    HighRenderer high_;
};

}  // namespace hv
