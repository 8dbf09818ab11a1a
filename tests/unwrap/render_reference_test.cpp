// RenderHigh against a float renderer: each ray's azimuth and elevation from
// atan2, bilinear interpolation in doubles.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "unwrap/render_view.h"
#include "view_test_util.h"

namespace {

constexpr uint32_t kSentinel = 0xA5A5A5A5u;

struct FloatView {
    double col = 0, row = 0;  // continuous panorama position
};

// The ray of the fixed-point matrix M, in doubles. (M itself is the rotation
// rounded to fixed point; its error is bounded separately below.)
FloatView FloatRay(const hv::ViewSetup& s, const hv::FixedMatrix& M, int32_t u, int32_t v) {
    const double x = static_cast<double>(M[0]) * u + static_cast<double>(M[1]) * v + M[2];
    const double y = static_cast<double>(M[4]) * v + M[5];
    const double z = static_cast<double>(M[6]) * u + static_cast<double>(M[7]) * v + M[8];
    const double az = std::atan2(x, z);
    const double el = std::atan2(y, std::hypot(x, z));
    return {az * s.k + (s.Ws >> 1), el * s.k + ((s.Hs - 1) >> 1)};
}

// Bilinear sample of channel `shift`, scaled like the fixed-point blend
// (weights out of 255 applied twice over 16-bit products: 65025 / 65536).
double FloatSample(const hvtest::Panorama& p, double col, double row, int shift) {
    col = std::fmod(col, p.Ws);
    if (col < 0) col += p.Ws;
    row = std::clamp(row, 0.0, p.Hs - 1.0);
    const int32_t c0 = static_cast<int32_t>(std::floor(col)) % p.Ws;
    const int32_t r0 = std::min(static_cast<int32_t>(std::floor(row)), p.Hs - 2);
    const int32_t c1 = (c0 + 1) % p.Ws;
    const double fx = col - std::floor(col), fy = row - r0;
    auto at = [&](int32_t c, int32_t r) {
        return static_cast<double>((p.pixels[static_cast<size_t>(r) * p.Ws + c] >> shift) & 255);
    };
    const double top = at(c0, r0) * (1 - fx) + at(c1, r0) * fx;
    const double bottom = at(c0, r0 + 1) * (1 - fx) + at(c1, r0 + 1) * fx;
    return (top * (1 - fy) + bottom * fy) * 65025.0 / 65536.0;
}

TEST(RenderReference, HighAgreesWithFloatRenderer) {
    for (auto [Ws, Hs] :
         {std::pair{380, 116}, std::pair{388, 117}, std::pair{1004, 399}, std::pair{2708, 1075}}) {
        const auto r = hvtest::Init(Ws, Hs);
        const hv::ViewSetup& s = *r.setup;
        const int32_t W = Ws, H = Hs;
        const auto pano = hvtest::MakePanorama(
            Ws, Hs, [&](int32_t c, int32_t row) { return hvtest::SmoothPixel(c, row, W, H); });
        for (float pan : {-180.0f, -12.3f, 77.7f, 179.5f}) {
            for (float tilt : {-40.0f, 0.0f, 9.0f, 60.0f}) {
                for (float fov : {24.0f, r.start.fov}) {
                    const hv::FovTerms f = hv::ComputeFovTerms(s, fov);
                    const auto C =
                        hv::BuildRotation(s.degToRad * tilt, s.degToRad * pan, f.rayScale);
                    const hv::FixedMatrix M = hv::ToFixedMatrix(C, f.fixScale);
                    std::vector<uint32_t> out(static_cast<size_t>(s.Wout) * (s.Hout + 2),
                                              kSentinel);
                    ASSERT_TRUE(hv::RenderHigh(s, M, pano.Source(), out.data()));
                    double worst = 0;
                    int written = 0, missed = 0;
                    for (int32_t m = 1; m < s.Hout; ++m) {
                        for (int32_t i = 0; i < s.Wout - 1; ++i) {
                            const uint32_t p = out[static_cast<size_t>(m) * s.Wout + i];
                            const FloatView fv = FloatRay(s, M, s.colStart + i + 1, s.rowStart + m);
                            if (p == kSentinel) {
                                // Skipped: the ray must leave the panorama.
                                if (fv.row > 1 && fv.row < Hs - 3) ++missed;
                                continue;
                            }
                            ++written;
                            for (int shift = 0; shift <= 16; shift += 8) {
                                const double e = FloatSample(pano, fv.col, fv.row, shift);
                                worst = std::max(worst, std::abs(e - ((p >> shift) & 255)));
                            }
                            ASSERT_EQ(p >> 24, 0u);
                        }
                    }
                    // The fixed-point matrix turns each corner ray by less than
                    // 0.3 degree.
                    for (int32_t u : {s.colStart, s.colEnd}) {
                        for (int32_t v : {s.rowStart, s.rowEnd}) {
                            const double fx = C[0] * u + C[1] * v + C[2], fy = C[4] * v + C[5],
                                         fz = C[6] * u + C[7] * v + C[8];
                            const double ix = static_cast<double>(M[0]) * u + M[1] * v + M[2],
                                         iy = static_cast<double>(M[4]) * v + M[5],
                                         iz = static_cast<double>(M[6]) * u + M[7] * v + M[8];
                            const double dot = (fx * ix + fy * iy + fz * iz) /
                                               std::sqrt(fx * fx + fy * fy + fz * fz) /
                                               std::sqrt(ix * ix + iy * iy + iz * iz);
                            EXPECT_LT(std::acos(std::min(dot, 1.0)), 0.3 * 3.14159 / 180);
                        }
                    }
                    EXPECT_LE(worst, 3.0)
                        << Ws << "x" << Hs << " pan " << pan << " tilt " << tilt << " fov " << fov;
                    EXPECT_EQ(missed, 0) << Ws << "x" << Hs << " pan " << pan;
                    if (std::abs(tilt) < 10) {
                        EXPECT_GT(written, s.Wout * s.Hout / 2);
                    }
                }
            }
        }
    }
}

}  // namespace
