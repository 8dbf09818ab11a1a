// The scalar renderers: the reference that every faster path matches bit for
// bit, plus the matrix set-up they share.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "unwrap/render_common.h"
#include "unwrap/render_view.h"

namespace hv {

using render_detail::RenderInputsOk;
using render_detail::UAbs;
using render_detail::WrapAdd;
using render_detail::WrapMulAdd;

namespace {

// 2^17: fixScale is this many units per radian of field of view.
constexpr double kFixUnitsPerFov = 131072.0;
// Below this field of view (radians) fixScale stops growing.
constexpr float kMinFixFovRad = 0.3f;
constexpr float kMaxFixScale = 436906.66f;  // 131072 / 0.3
// Longest ray (Euclidean length) the fixed-point arithmetic accepts: below
// 2^19 with room for the LEN table's rounding, so that a component shifted by
// 12 bits and a LEN x length product both stay under 2^31.
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
    if (a > 0) {
        if (b > 0) {
            const uint32_t ub = static_cast<uint32_t>(b);
            return T.ANG8[(ub << 12) / (static_cast<uint32_t>(a) + ub)];
        }
        const uint32_t nb = UAbs(b);
        return -T.ANG8[(nb << 12) / (static_cast<uint32_t>(a) + nb)];
    }
    if (a == 0) return b > 0 ? T.quarter : -T.quarter;
    const uint32_t na = UAbs(a);
    if (b < 0) {
        const uint32_t nb = UAbs(b);
        // na + nb wraps to 0 only for a = b = INT32_MIN: the diagonal.
        const uint32_t d = na + nb;
        return T.ANG8[d != 0 ? (nb << 12) / d : 2048] - T.halfTurn;
    }
    const uint32_t ub = static_cast<uint32_t>(b);
    return T.halfTurn - T.ANG8[(ub << 12) / (na + ub)];
}

bool RenderHighScalar(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                      uint32_t* out) {
    if (!RenderInputsOk(s, M, src, out)) return false;
    const ViewTables& T = s.tables;
    const int32_t Ws = s.Ws, Hs = s.Hs, Wout = s.Wout;
    const int32_t colBase = Ws >> 1, rowBase = (Hs - 1) >> 1;
    const uint32_t* source = src.pixels;
    for (int32_t m = 1; m <= s.Hout - 1; ++m) {
        const int32_t v = s.rowStart + m;
        const int32_t rx = WrapMulAdd(M[1], v, M[2]);
        const int32_t y = WrapMulAdd(M[4], v, M[5]);
        const int32_t rz = WrapMulAdd(M[7], v, M[8]);
        uint32_t* dst = out + static_cast<size_t>(m) * Wout;
        for (int32_t i = 0; i <= Wout - 2; ++i) {
            const int32_t u = s.colStart + i + 1;
            const int32_t x = WrapMulAdd(M[0], u, rx);
            const int32_t z = WrapMulAdd(M[6], u, rz);
            const int32_t az = AngleOf(z, x, T);
            const uint32_t ax = UAbs(x), azz = UAbs(z);
            uint32_t h;
            if (azz > ax) {
                h = (static_cast<uint32_t>(T.LEN[(ax << 12) / azz]) * azz) >> 12;
            } else if (ax == 0) {
                h = 0;
            } else {
                h = (static_cast<uint32_t>(T.LEN[(azz << 12) / ax]) * ax) >> 12;
            }
            const int32_t el = AngleOf(static_cast<int32_t>(h), y, T);
            const int32_t col = (az >> 8) + colBase;
            const int32_t row = (el >> 8) + rowBase;
            if (col < 0 || row < 0 || col > Ws - 1 || row > Hs - 2) continue;
            const uint32_t fx = static_cast<uint32_t>(az) & 255;
            const uint32_t fy = static_cast<uint32_t>(el) & 255;
            const int32_t col1 = col == Ws - 1 ? 0 : col + 1;
            const uint32_t* r0 = source + static_cast<size_t>(row) * Ws;
            const uint32_t* r1 = r0 + Ws;
            const uint32_t p00 = r0[col], p01 = r0[col1], p10 = r1[col], p11 = r1[col1];
            const auto& Pf = T.PROD[fx];
            const auto& Pg = T.PROD[255 - fx];
            uint32_t pixel = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const uint32_t top = Pf[(p01 >> shift) & 255] + Pg[(p00 >> shift) & 255];
                const uint32_t bottom = Pf[(p11 >> shift) & 255] + Pg[(p10 >> shift) & 255];
                const uint32_t value = (((top >> 4) * (255 - fy) + (bottom >> 4) * fy) * 16) >> 16;
                pixel |= value << shift;
            }
            dst[i] = pixel;
        }
    }
    return true;
}

bool RenderDraftScalar(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                       uint32_t* out) {
    if (!RenderInputsOk(s, M, src, out)) return false;
    const ViewTables& T = s.tables;
    const int32_t Ws = s.Ws, Wout = s.Wout;
    const int32_t zeroRight = 3 * (Ws >> 2), zeroLeft = Ws >> 2;
    const uint32_t* source = src.pixels;
    for (int32_t m = 0; m <= s.Hout; ++m) {
        const int32_t v = s.rowStart + m + 1;
        const int32_t rx = WrapMulAdd(M[1], v, M[2]);
        const int32_t y = WrapMulAdd(M[4], v, M[5]);
        const int32_t rz = WrapMulAdd(M[7], v, M[8]);
        const int32_t* rowTable = y >= 0 ? T.ROWUP.data() : T.ROWDN.data();
        const uint32_t Y = UAbs(y);
        uint32_t* dst = out + static_cast<size_t>(m) * Wout;
        for (int32_t i = 0; i < Wout; ++i) {
            const int32_t u = s.colStart + i + 1;
            const int32_t x = WrapMulAdd(M[0], u, rx);
            const int32_t z = WrapMulAdd(M[6], u, rz);
            int32_t column;
            int32_t h;
            if (z != 0) {
                const uint32_t zz = UAbs(z);
                const int32_t* colTable;
                uint32_t xp;
                if (z > 0) {
                    colTable = x > 0 ? T.COLQ1.data() : T.COLQ2.data();
                    xp = UAbs(x);
                } else {
                    colTable = x < 0 ? T.COLQ4.data() : T.COLQ3.data();
                    xp = UAbs(x);
                }
                uint32_t colIndex;
                if (xp > zz) {
                    h = static_cast<int32_t>(static_cast<uint32_t>(T.LEN[(zz << 12) / xp]) * xp) >>
                        12;
                    colIndex = 4096 - (zz << 12) / (xp + zz);
                } else {
                    h = static_cast<int32_t>(static_cast<uint32_t>(T.LEN[(xp << 12) / zz]) * zz) >>
                        12;
                    colIndex = (xp << 12) / (xp + zz);
                }
                column = colTable[colIndex];
            } else {
                column = x > 0 ? zeroRight : zeroLeft;
                h = static_cast<int32_t>(UAbs(x));
            }
            const uint32_t d = Y + static_cast<uint32_t>(h);
            // Only a zero-length ray has d = 0; it looks at the horizon.
            const uint32_t rowIndex = d != 0 ? (Y << 12) / d : 0;
            const int32_t row = rowTable[rowIndex];
            dst[i] = source[static_cast<size_t>(row) * Ws + column];
        }
    }
    return true;
}

}  // namespace hv
