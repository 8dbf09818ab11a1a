// The scalar renderers: the reference that every faster path matches bit for
// bit (their per-pixel steps, in render_common.h, run over whole rows), plus
// the matrix set-up they share.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "unwrap/render_common.h"
#include "unwrap/render_view.h"

namespace hv {

using render_detail::RenderInputsOk;

namespace {

// 2^17: fixScale is this many units per radian of field of view.
constexpr double kFixUnitsPerFov = 131072.0;
// Below this field of view (radians) fixScale stops growing.
constexpr float kMinFixFovRad = 0.3f;
constexpr float kMaxFixScale = static_cast<float>(kFixUnitsPerFov / kMinFixFovRad);
static_assert(kMaxFixScale == 436906.66f);
// Longest ray (Euclidean length) the fixed-point arithmetic accepts: below
// 2^19 with room for the LEN table's rounding, so that a component shifted by
// kViewTableBits and a LEN x length product both stay under 2^31.
constexpr double kMaxRayLength = 500000.0;

}  // namespace

FovTerms ComputeFovTerms(const ViewSetup& s, float fov) {
    FovTerms f;
    f.fov = fov;
    f.fovRad = static_cast<float>(static_cast<double>(s.degToRad) * fov);
    f.rayScale = static_cast<float>(static_cast<double>(s.pixScale) *
                                    std::tan(0.5 * static_cast<double>(f.fovRad)));
    f.fixScale =
        f.fovRad > kMinFixFovRad ? static_cast<float>(kFixUnitsPerFov / f.fovRad) : kMaxFixScale;
    return f;
}

std::array<float, 9> BuildRotation(float a, float b, float rayScale) {
    const float ca = static_cast<float>(std::cos(static_cast<double>(a)));
    const float sa = static_cast<float>(std::sin(static_cast<double>(a)));
    const float cb = static_cast<float>(std::cos(static_cast<double>(b)));
    const float sb = static_cast<float>(std::sin(static_cast<double>(b)));
    const float Rx[9] = {1, 0, 0, 0, ca, -sa, 0, sa, ca};
    const float Ry[9] = {cb, 0, sb, 0, 1, 0, -sb, 0, cb};
    std::array<float, 9> C{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) {
                sum += static_cast<double>(Ry[r * 3 + k]) * Rx[k * 3 + c];
            }
            C[r * 3 + c] = static_cast<float>(sum);
        }
    }
    for (int r = 0; r < 3; ++r) {
        C[r * 3 + 0] = static_cast<float>(static_cast<double>(C[r * 3 + 0]) * rayScale);
        C[r * 3 + 1] = static_cast<float>(static_cast<double>(C[r * 3 + 1]) * rayScale);
    }
    return C;
}

FixedMatrix ToFixedMatrix(const std::array<float, 9>& C, float fixScale) {
    FixedMatrix M{};
    for (int i = 0; i < 9; ++i) {
        const double v = static_cast<double>(C[i]) * fixScale + 0.5;
        // Out-of-range values cannot arise from a rotation; saturate so a
        // broken input cannot make the conversion undefined.
        M[i] = static_cast<int32_t>(std::lrint(std::clamp(v, -2147483648.0, 2147483520.0)));
    }
    return M;
}

FixedMatrix ViewMatrix(const ViewSetup& s, const ViewState& view) {
    const FovTerms f = ComputeFovTerms(s, view.fov);
    const float a = static_cast<float>(static_cast<double>(s.degToRad) * view.tilt);
    const float b = static_cast<float>(static_cast<double>(s.degToRad) * view.pan);
    return ToFixedMatrix(BuildRotation(a, b, f.rayScale), f.fixScale);
}

bool RaysInRange(const ViewSetup& s, const FixedMatrix& M) {
    // Components are linear in (u, v), so the longest ray lies at a corner of
    // the range both renderers use: u in colStart .. colEnd + 1, v in
    // rowStart .. rowEnd + 2.
    const double us[2] = {static_cast<double>(s.colStart), static_cast<double>(s.colEnd) + 1};
    const double vs[2] = {static_cast<double>(s.rowStart), static_cast<double>(s.rowEnd) + 2};
    for (double u : us) {
        for (double v : vs) {
            const double x = M[0] * u + M[1] * v + M[2];
            const double y = M[3] * u + M[4] * v + M[5];
            const double z = M[6] * u + M[7] * v + M[8];
            if (!(std::sqrt(x * x + y * y + z * z) < kMaxRayLength)) return false;
        }
    }
    return true;
}

int32_t AngleOf(int32_t a, int32_t b, const ViewTables& T) {
    return render_detail::Angle(a, b, T);
}

bool RenderHighScalar(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                      uint32_t* out) {
    return RenderHighScalar(s, M, src, out, RowBand{});
}

bool RenderHighScalar(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                      uint32_t* out, RowBand band) {
    if (!RenderInputsOk(s, M, src, out)) return false;
    const auto [first, last] = render_detail::HighRows(s, band);
    render_detail::HighPixels pixels(s, M, src);
    for (int32_t m = first; m < last; ++m) {
        pixels.StartRow(m);
        pixels.Run(0, s.Wout - 1, out + static_cast<size_t>(m) * s.Wout);
    }
    return true;
}

bool RenderDraftScalar(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                       uint32_t* out) {
    return RenderDraftScalar(s, M, src, out, RowBand{});
}

bool RenderDraftScalar(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                       uint32_t* out, RowBand band) {
    if (!RenderInputsOk(s, M, src, out)) return false;
    const auto [first, last] = render_detail::DraftRows(s, band);
    render_detail::DraftPixels pixels(s, M, src);
    for (int32_t m = first; m < last; ++m) {
        pixels.StartRow(m);
        pixels.Run(0, s.Wout, out + static_cast<size_t>(m) * s.Wout);
    }
    return true;
}

}  // namespace hv
