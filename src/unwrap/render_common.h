// Pieces shared by the scalar and the SIMD renderers (internal): the blend's
// fixed-point format and the per-pixel steps of both renderers. The scalar
// renderers run the per-pixel steps over whole rows; a SIMD renderer runs
// its vectors over as many columns of a row as they fill and hands the rest
// of the row to the same per-pixel step, so the two cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>

#include "unwrap/render_view.h"
#include "unwrap/view_setup.h"

namespace hv::render_detail {

// The bilinear blend: weights f and kAngleFracMask - f (8 bits each, summing
// to 255, not 256). The horizontal sums drop kBlendRowShift bits before the
// vertical step, which gives them back before the two weights' bits
// (kBlendProductBits) are dropped:
//   value = ((top >> 4) * (255 - fy) + (bottom >> 4) * fy) << 4 >> 16.
inline constexpr int32_t kBlendRowShift = 4;
inline constexpr int32_t kBlendProductBits = 2 * kAngleFracBits;

// Wrapping 32-bit arithmetic without signed overflow.
inline int32_t WrapMulAdd(int32_t a, int32_t b, int32_t c) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b) +
                                static_cast<uint32_t>(c));
}
inline int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
// |v| as unsigned (INT32_MIN gives 2^31).
inline uint32_t UAbs(int32_t v) {
    return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

// The preconditions both renderers check before writing anything.
inline bool RenderInputsOk(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                           const uint32_t* out) {
    return out != nullptr && src.Valid() && src.width == s.Ws && src.height == s.Hs &&
           src.readableRows >= s.sourceRowsRead && RaysInRange(s, M);
}

// The rows of a band that a renderer writes, as first .. last - 1 (empty
// when first >= last): high 1 .. Hout - 1, draft 0 .. Hout.
inline RowBand ClipBand(RowBand band, int32_t lo, int32_t hi) {
    return {band.first > lo ? band.first : lo, band.last < hi ? band.last : hi};
}
inline RowBand HighRows(const ViewSetup& s, RowBand band) {
    return ClipBand(band, 1, s.Hout);
}
inline RowBand DraftRows(const ViewSetup& s, RowBand band) {
    return ClipBand(band, 0, s.Hout + 1);
}

// AngleOf, inlined into the per-pixel steps.
inline int32_t Angle(int32_t a, int32_t b, const ViewTables& T) {
    if (a > 0) {
        if (b > 0) {
            const uint32_t ub = static_cast<uint32_t>(b);
            return T.ANG8[(ub << kViewTableBits) / (static_cast<uint32_t>(a) + ub)];
        }
        const uint32_t nb = UAbs(b);
        return -T.ANG8[(nb << kViewTableBits) / (static_cast<uint32_t>(a) + nb)];
    }
    if (a == 0) return b > 0 ? T.quarter : -T.quarter;
    const uint32_t na = UAbs(a);
    if (b < 0) {
        const uint32_t nb = UAbs(b);
        // na + nb wraps to 0 only for a = b = INT32_MIN: the diagonal.
        const uint32_t d = na + nb;
        return T.ANG8[d != 0 ? (nb << kViewTableBits) / d : kViewTableSteps / 2] - T.halfTurn;
    }
    const uint32_t ub = static_cast<uint32_t>(b);
    return T.halfTurn - T.ANG8[(ub << kViewTableBits) / (na + ub)];
}

// The rays of one view row: view column i looks along
// x = M[0] * u + rx (side), y (up, the same for the whole row) and
// z = M[6] * u + rz (forward), with u = colStart + i + 1.
struct RowRays {
    int32_t rx = 0, y = 0, rz = 0;
};
inline RowRays RaysOfRow(const FixedMatrix& M, int32_t v) {
    return {WrapMulAdd(M[1], v, M[2]), WrapMulAdd(M[4], v, M[5]), WrapMulAdd(M[7], v, M[8])};
}

// The draft renderer's per-pixel step: the nearest panorama pixel, its column
// from the quadrant's column table and its row from the row table.
// Construct once per render after RenderInputsOk, then StartRow before the
// columns of each row.
class DraftPixels {
  public:
    DraftPixels(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src)
        : T_(s.tables),
          M_(M),
          source_(src.pixels),
          Ws_(s.Ws),
          colStart_(s.colStart),
          rowStart_(s.rowStart),
          zeroRight_(3 * (s.Ws >> 2)),
          zeroLeft_(s.Ws >> 2) {}

    // View row m, 0 .. Hout (Hout is the spare row after the image).
    void StartRow(int32_t m) {
        rays_ = RaysOfRow(M_, rowStart_ + m + 1);
        rowTable_ = rays_.y >= 0 ? T_.ROWUP.data() : T_.ROWDN.data();
        Y_ = UAbs(rays_.y);
    }
    const RowRays& rays() const { return rays_; }
    const int32_t* rowTable() const { return rowTable_; }

    uint32_t At(int32_t i) const {
        const int32_t u = colStart_ + i + 1;
        const int32_t x = WrapMulAdd(M_[0], u, rays_.rx);
        const int32_t z = WrapMulAdd(M_[6], u, rays_.rz);
        int32_t column;
        int32_t h;
        if (z != 0) {
            const uint32_t zz = UAbs(z);
            const uint32_t xp = UAbs(x);
            const int32_t* colTable = z > 0 ? (x > 0 ? T_.COLQ1.data() : T_.COLQ2.data())
                                            : (x < 0 ? T_.COLQ4.data() : T_.COLQ3.data());
            uint32_t colIndex;
            if (xp > zz) {
                h = static_cast<int32_t>(
                        static_cast<uint32_t>(T_.LEN[(zz << kViewTableBits) / xp]) * xp) >>
                    kLenFracBits;
                colIndex = kViewTableSteps - (zz << kViewTableBits) / (xp + zz);
            } else {
                h = static_cast<int32_t>(
                        static_cast<uint32_t>(T_.LEN[(xp << kViewTableBits) / zz]) * zz) >>
                    kLenFracBits;
                colIndex = (xp << kViewTableBits) / (xp + zz);
            }
            column = colTable[colIndex];
        } else {
            column = x > 0 ? zeroRight_ : zeroLeft_;
            h = static_cast<int32_t>(UAbs(x));
        }
        const uint32_t d = Y_ + static_cast<uint32_t>(h);
        // Only a zero-length ray has d = 0; it looks at the horizon.
        const uint32_t rowIndex = d != 0 ? (Y_ << kViewTableBits) / d : 0;
        const int32_t row = rowTable_[rowIndex];
        return source_[static_cast<size_t>(row) * Ws_ + column];
    }

    // Columns begin .. end - 1 of the current row.
    void Run(int32_t begin, int32_t end, uint32_t* dst) const {
        for (int32_t i = begin; i < end; ++i) dst[i] = At(i);
    }

  private:
    const ViewTables& T_;
    const FixedMatrix M_;
    const uint32_t* source_;
    int32_t Ws_, colStart_, rowStart_;
    int32_t zeroRight_, zeroLeft_;  // columns of the rays along +x and -x
    RowRays rays_;
    const int32_t* rowTable_ = nullptr;
    uint32_t Y_ = 0;
};

// The high-quality renderer's per-pixel step: azimuth and elevation by
// AngleOf, a bilinear sample with the 360-degree seam, nothing for a ray
// outside the panorama. Construct once per render after RenderInputsOk, then
// StartRow before the columns of each row.
class HighPixels {
  public:
    HighPixels(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src)
        : T_(s.tables),
          M_(M),
          source_(src.pixels),
          Ws_(s.Ws),
          Hs_(s.Hs),
          colStart_(s.colStart),
          rowStart_(s.rowStart),
          colBase_(s.Ws >> 1),
          rowBase_((s.Hs - 1) >> 1) {}

    // View row m, 1 .. Hout - 1.
    void StartRow(int32_t m) { rays_ = RaysOfRow(M_, rowStart_ + m); }
    const RowRays& rays() const { return rays_; }

    // False, leaving `pixel` alone, when the ray of column i misses the
    // panorama.
    bool At(int32_t i, uint32_t& pixel) const {
        const int32_t u = colStart_ + i + 1;
        const int32_t x = WrapMulAdd(M_[0], u, rays_.rx);
        const int32_t z = WrapMulAdd(M_[6], u, rays_.rz);
        const int32_t az = Angle(z, x, T_);
        const uint32_t ax = UAbs(x), azz = UAbs(z);
        uint32_t h;
        if (azz > ax) {
            h = (static_cast<uint32_t>(T_.LEN[(ax << kViewTableBits) / azz]) * azz) >> kLenFracBits;
        } else if (ax == 0) {
            h = 0;
        } else {
            h = (static_cast<uint32_t>(T_.LEN[(azz << kViewTableBits) / ax]) * ax) >> kLenFracBits;
        }
        const int32_t el = Angle(static_cast<int32_t>(h), rays_.y, T_);
        const int32_t col = (az >> kAngleFracBits) + colBase_;
        const int32_t row = (el >> kAngleFracBits) + rowBase_;
        if (col < 0 || row < 0 || col > Ws_ - 1 || row > Hs_ - 2) return false;
        const uint32_t fx = static_cast<uint32_t>(az) & kAngleFracMask;
        const uint32_t fy = static_cast<uint32_t>(el) & kAngleFracMask;
        const uint32_t gy = kAngleFracMask - fy;
        const int32_t col1 = col == Ws_ - 1 ? 0 : col + 1;
        const uint32_t* r0 = source_ + static_cast<size_t>(row) * Ws_;
        const uint32_t* r1 = r0 + Ws_;
        const uint32_t p00 = r0[col], p01 = r0[col1], p10 = r1[col], p11 = r1[col1];
        // The weight products are PROD's numbers (PROD[a][b] = a * b),
        // multiplied here: reading them from the 256 KB table costs a cache
        // miss per lookup and evicts the angle tables.
        const uint32_t gx = kAngleFracMask - fx;
        uint32_t value = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            const uint32_t top = fx * ((p01 >> shift) & 0xFF) + gx * ((p00 >> shift) & 0xFF);
            const uint32_t bottom = fx * ((p11 >> shift) & 0xFF) + gx * ((p10 >> shift) & 0xFF);
            const uint32_t channel =
                (((top >> kBlendRowShift) * gy + (bottom >> kBlendRowShift) * fy)
                 << kBlendRowShift) >>
                kBlendProductBits;
            value |= channel << shift;
        }
        pixel = value;
        return true;
    }

    // Columns begin .. end - 1 of the current row.
    void Run(int32_t begin, int32_t end, uint32_t* dst) const {
        for (int32_t i = begin; i < end; ++i) At(i, dst[i]);
    }

  private:
    const ViewTables& T_;
    const FixedMatrix M_;
    const uint32_t* source_;
    int32_t Ws_, Hs_, colStart_, rowStart_;
    int32_t colBase_, rowBase_;  // panorama column and row of angle 0
    RowRays rays_;
};

}  // namespace hv::render_detail
