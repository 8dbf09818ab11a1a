// AVX2 renderers: eight view pixels per step, bit-identical to the scalar
// reference (render_scalar.cpp). A row's last vector ends at the row's end and
// overlaps the one before it; only rows narrower than a vector go to the
// reference's own per-pixel step (render_common.h).
//
// Why the shortcuts are exact, given RaysInRange (every ray shorter than
// 500000, so |component| << 12 < 2^31):
// - Every unsigned division of the design has a numerator below 2^31, a
//   divisor below 2^21 and a quotient of at most 4096: a float quotient
//   corrected by its remainder gives the exact integer quotient (DivSmall).
// - The blend's horizontal products and sums fit unsigned 16-bit lanes (at
//   most 65025), its vertical step fits _mm256_madd_epi16 (operands below
//   2^15), and (s << 4) >> 16 equals s >> 12 for s < 2^28.
// - Lanes the scalar code skips are gathered from pixel 0 and then replaced
//   by the buffer's previous contents.
#include <algorithm>
#include <cstddef>

#include "unwrap/render_common.h"
#include "unwrap/render_view.h"

#if defined(__x86_64__) || defined(__i386__)
#define HV_HAVE_AVX2_PATH 1
#include <immintrin.h>
#endif

namespace hv {

using render_detail::kBlendRowShift;
using render_detail::RenderInputsOk;
using render_detail::UAbs;

#if HV_HAVE_AVX2_PATH

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

namespace {

#define HV_AVX2 __attribute__((target("avx2")))

// Gather indices are signed 32-bit: the whole source must stay below 2^31
// pixels.
bool GatherableSource(const ViewSetup& s) {
    return static_cast<int64_t>(s.Ws) * (s.sourceRowsRead + 1) < (int64_t{1} << 31);
}

// Columns the vector passes buffer at a time (a multiple of 8); wider rows
// go in segments of this many.
constexpr int32_t kMaxRowChunk = 1024;

// One segment of a row of at least 8 columns: columns base .. base + size - 1.
// Its vectors start every 8 columns, except the last, which ends at the
// segment's end and overlaps the one before it when size is not a multiple
// of 8. An overlapped column gets the same value twice (a lane the reference
// skips is skipped both times), so no row needs a scalar tail.
struct Segment {
    int32_t base;
    int32_t size;
    int32_t Chunks() const { return (size + 7) / 8; }
    int32_t Column(int32_t k) const { return std::min(8 * k, size - 8); }
};

// Advances seg to the row's next segment (the first when seg.size is 0);
// false after the last. A short last segment starts early enough to hold 8
// columns, overlapping the one before it.
inline bool NextSegment(Segment& seg, int32_t count) {
    const int32_t next = seg.base + seg.size;
    if (next >= count) return false;
    seg.size = std::max(8, std::min(kMaxRowChunk, count - next));
    seg.base = std::min(next, count - seg.size);
    return true;
}

// floor(n / d) for 0 <= n < 2^31, 0 < d < 2^21 and a quotient of at most 4096.
// The quotient is n times 1 / d, the reciprocal estimate (relative error
// below 2^-11) refined by one Newton step to below 2^-21 with the roundings;
// n is rounded to 24 bits. So the float quotient is within 2^-8 of the true
// one and its truncation is off by at most one; the remainder n - q * d (no
// overflow: q * d <= n + d < 2^31) corrects it. The estimate and the step
// cost less than a division.
HV_AVX2 inline __m256i DivSmall(__m256i n, __m256i d) {
    const __m256 df = _mm256_cvtepi32_ps(d);
    const __m256 r0 = _mm256_rcp_ps(df);
    const __m256 r1 = _mm256_mul_ps(r0, _mm256_sub_ps(_mm256_set1_ps(2.0f), _mm256_mul_ps(df, r0)));
    const __m256 qf = _mm256_mul_ps(_mm256_cvtepi32_ps(n), r1);
    __m256i q = _mm256_cvttps_epi32(qf);
    const __m256i r = _mm256_sub_epi32(n, _mm256_mullo_epi32(q, d));
    // r < 0: one too many; r >= d: one too few (compare masks are -1).
    q = _mm256_add_epi32(q, _mm256_cmpgt_epi32(_mm256_setzero_si256(), r));
    q = _mm256_sub_epi32(q, _mm256_cmpgt_epi32(r, _mm256_sub_epi32(d, _mm256_set1_epi32(1))));
    return q;
}

// A prefetch by offset without forming an out-of-range pointer.
inline void PrefetchAt(const int32_t* base, int32_t offset) {
    __builtin_prefetch(reinterpret_cast<const char*>(
        reinterpret_cast<uintptr_t>(base) + static_cast<uintptr_t>(static_cast<intptr_t>(offset)) * 4));
}

HV_AVX2 inline __m256i Gather(const int32_t* base, __m256i idx) {
    return _mm256_i32gather_epi32(base, idx, 4);
}

// Four 64-bit pairs, in lane order, into one vector: a0 b0 a1 b1 | a2 b2 a3 b3.
HV_AVX2 inline __m256i LoadPairs(const int32_t* p0, const int32_t* p1, const int32_t* p2,
                                 const int32_t* p3) {
    const auto pair = [](const int32_t* p) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    };
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi64(pair(p0), pair(p1))),
                                   _mm_unpacklo_epi64(pair(p2), pair(p3)), 1);
}

// Two vectors of four pairs each (lanes 0-3, 4-7) to the pairs' first and
// second pixels in lane order.
HV_AVX2 inline void SplitPairs(__m256i g0, __m256i g1, __m256i& left, __m256i& right) {
    const __m256 f0 = _mm256_castsi256_ps(g0), f1 = _mm256_castsi256_ps(g1);
    const __m256i a = _mm256_castps_si256(_mm256_shuffle_ps(f0, f1, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m256i b = _mm256_castps_si256(_mm256_shuffle_ps(f0, f1, _MM_SHUFFLE(3, 1, 3, 1)));
    // a = a0 a1 a4 a5 | a2 a3 a6 a7: 64-bit blocks 0 2 1 3 restore the order.
    left = _mm256_permute4x64_epi64(a, _MM_SHUFFLE(3, 1, 2, 0));
    right = _mm256_permute4x64_epi64(b, _MM_SHUFFLE(3, 1, 2, 0));
}

// The 2 x 2 neighbourhoods at offsets idx (left, top), idx + 1, idx + Ws and
// idx + Ws + 1 for eight offsets. Left and right neighbours are adjacent, so
// each row of a neighbourhood is one 64-bit load; plain loads beat the gather
// instruction here, and both rows share one extraction of the offsets.
HV_AVX2 inline void GatherNeighbourhoods(const int32_t* base, __m256i idx, int32_t Ws, __m256i& p00,
                                         __m256i& p01, __m256i& p10, __m256i& p11) {
    alignas(32) int32_t at[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), idx);
    const int32_t* t[8];
    for (int j = 0; j < 8; ++j) t[j] = base + at[j];
    SplitPairs(LoadPairs(t[0], t[1], t[2], t[3]), LoadPairs(t[4], t[5], t[6], t[7]), p00, p01);
    SplitPairs(LoadPairs(t[0] + Ws, t[1] + Ws, t[2] + Ws, t[3] + Ws),
               LoadPairs(t[4] + Ws, t[5] + Ws, t[6] + Ws, t[7] + Ws), p10, p11);
}

// AngleOf for eight (a, b) pairs; see the scalar AngleOf. With a != 0 every
// case reads ANG8[(|b| << 12) / (|a| + |b|)]; the sign of the result follows
// b (b > 0 when a > 0, b >= 0 when a < 0) and a < 0 measures from halfTurn.
HV_AVX2 inline __m256i AngleOf8(__m256i a, __m256i b, const int32_t* ang8, __m256i quarter,
                                __m256i halfTurn) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i na = _mm256_abs_epi32(a), nb = _mm256_abs_epi32(b);
    const __m256i aZero = _mm256_cmpeq_epi32(a, zero);
    const __m256i aNeg = _mm256_cmpgt_epi32(zero, a);
    const __m256i bPos = _mm256_cmpgt_epi32(b, zero);
    const __m256i bNeg = _mm256_cmpgt_epi32(zero, b);
    __m256i den = _mm256_add_epi32(na, nb);
    den = _mm256_blendv_epi8(den, one, aZero);
    const __m256i idx = DivSmall(_mm256_slli_epi32(nb, kViewTableBits), den);
    __m256i val = Gather(ang8, _mm256_andnot_si256(aZero, idx));
    val = _mm256_blendv_epi8(val, _mm256_sub_epi32(halfTurn, val), aNeg);
    // Positive sign: a > 0 and b > 0, or a < 0 and b >= 0.
    const __m256i positive = _mm256_blendv_epi8(bPos, _mm256_andnot_si256(bNeg, aNeg), aNeg);
    const __m256i r = _mm256_blendv_epi8(_mm256_sub_epi32(zero, val), val, positive);
    const __m256i q = _mm256_blendv_epi8(_mm256_sub_epi32(zero, quarter), quarter, bPos);
    return _mm256_blendv_epi8(r, q, aZero);
}

// One row of the horizontal blend, (left * g + right * f) >> 4 per channel.
HV_AVX2 inline void BlendRow(__m256i left, __m256i right, __m256i gLo, __m256i fLo, __m256i gHi,
                             __m256i fHi, __m256i& lo, __m256i& hi) {
    const __m256i zero = _mm256_setzero_si256();
    lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(left, zero), gLo),
                          _mm256_mullo_epi16(_mm256_unpacklo_epi8(right, zero), fLo));
    hi = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(left, zero), gHi),
                          _mm256_mullo_epi16(_mm256_unpackhi_epi8(right, zero), fHi));
    lo = _mm256_srli_epi16(lo, kBlendRowShift);
    hi = _mm256_srli_epi16(hi, kBlendRowShift);
}

// The reference's last step, (s << kBlendRowShift) >> kBlendProductBits, as
// one shift: exact because s < 2^28.
constexpr int32_t kVerticalShift = render_detail::kBlendProductBits - render_detail::kBlendRowShift;

HV_AVX2 inline __m256i Blend8(__m256i p00, __m256i p01, __m256i p10, __m256i p11, __m256i fx,
                              __m256i wy) {
    const __m256i fx2 = _mm256_or_si256(fx, _mm256_slli_epi32(fx, 16));
    const __m256i gx2 = _mm256_sub_epi16(_mm256_set1_epi16(kAngleFracMask), fx2);
    const __m256i fLo = _mm256_unpacklo_epi32(fx2, fx2), fHi = _mm256_unpackhi_epi32(fx2, fx2);
    const __m256i gLo = _mm256_unpacklo_epi32(gx2, gx2), gHi = _mm256_unpackhi_epi32(gx2, gx2);
    __m256i tLo, tHi, bLo, bHi;
    BlendRow(p00, p01, gLo, fLo, gHi, fHi, tLo, tHi);
    BlendRow(p10, p11, gLo, fLo, gHi, fHi, bLo, bHi);
    const __m256i v0 = _mm256_srli_epi32(
        _mm256_madd_epi16(_mm256_unpacklo_epi16(tLo, bLo), _mm256_shuffle_epi32(wy, 0x00)),
        kVerticalShift);
    const __m256i v1 = _mm256_srli_epi32(
        _mm256_madd_epi16(_mm256_unpackhi_epi16(tLo, bLo), _mm256_shuffle_epi32(wy, 0x55)),
        kVerticalShift);
    const __m256i v2 = _mm256_srli_epi32(
        _mm256_madd_epi16(_mm256_unpacklo_epi16(tHi, bHi), _mm256_shuffle_epi32(wy, 0xAA)),
        kVerticalShift);
    const __m256i v3 = _mm256_srli_epi32(
        _mm256_madd_epi16(_mm256_unpackhi_epi16(tHi, bHi), _mm256_shuffle_epi32(wy, 0xFF)),
        kVerticalShift);
    const __m256i packed =
        _mm256_packus_epi16(_mm256_packus_epi32(v0, v1), _mm256_packus_epi32(v2, v3));
    return _mm256_and_si256(packed, _mm256_set1_epi32(0x00FFFFFF));
}

// The panorama column and row of the top-left neighbour that eight
// (azimuth, elevation) angles sample; not yet checked against the panorama.
HV_AVX2 inline void SourceCell(__m256i az, __m256i el, __m256i colBase, __m256i rowBase,
                               __m256i& col, __m256i& row) {
    col = _mm256_add_epi32(_mm256_srai_epi32(az, kAngleFracBits), colBase);
    row = _mm256_add_epi32(_mm256_srai_epi32(el, kAngleFracBits), rowBase);
}

// Weights (255 - f) | f << 16.
HV_AVX2 inline __m256i Weights(__m256i f) {
    return _mm256_or_si256(_mm256_sub_epi32(_mm256_set1_epi32(kAngleFracMask), f),
                           _mm256_slli_epi32(f, 16));
}

}  // namespace

bool RenderHighAvx2(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                    uint32_t* out) {
    return RenderHighAvx2(s, M, src, out, RowBand{});
}

HV_AVX2 bool RenderHighAvx2(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                            uint32_t* out, RowBand band) {
    if (!CpuHasAvx2()) return false;
    if (!RenderInputsOk(s, M, src, out)) return false;
    if (!GatherableSource(s)) return RenderHighScalar(s, M, src, out, band);
    const auto [firstRow, lastRow_] = render_detail::HighRows(s, band);
    const ViewTables& T = s.tables;
    const int32_t Ws = s.Ws, Hs = s.Hs, Wout = s.Wout;
    const int32_t* ang8 = T.ANG8.data();
    const int32_t* len = T.LEN.data();
    const auto* source = reinterpret_cast<const int32_t*>(src.pixels);
    const __m256i quarter = _mm256_set1_epi32(T.quarter);
    const __m256i halfTurn = _mm256_set1_epi32(T.halfTurn);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i m0 = _mm256_set1_epi32(M[0]), m6 = _mm256_set1_epi32(M[6]);
    const __m256i colBase = _mm256_set1_epi32(Ws >> 1);
    const __m256i rowBase = _mm256_set1_epi32((Hs - 1) >> 1);
    const __m256i lastCol = _mm256_set1_epi32(Ws - 1);
    const __m256i lastSourceRow = _mm256_set1_epi32(Hs - 2);
    const __m256i vWs = _mm256_set1_epi32(Ws);
    const __m256i fracMask = _mm256_set1_epi32(kAngleFracMask);
    const int32_t count = Wout - 1;  // columns 0 .. Wout - 2
    // Per-row angles of the vector passes.
    alignas(32) int32_t azRow[kMaxRowChunk];
    alignas(32) int32_t elRow[kMaxRowChunk];
    render_detail::HighPixels pixels(s, M, src);
    for (int32_t m = firstRow; m < lastRow_; ++m) {
        pixels.StartRow(m);
        if (count < 8) {
            pixels.Run(0, count, out + static_cast<size_t>(m) * Wout);
            continue;
        }
        const auto [rx, y, rz] = pixels.rays();
        const __m256i vrx = _mm256_set1_epi32(rx), vrz = _mm256_set1_epi32(rz);
        // A wide row goes in segments of at most kMaxRowChunk columns.
        for (Segment seg{0, 0}; NextSegment(seg, count);) {
            uint32_t* dst = out + static_cast<size_t>(m) * Wout + seg.base;
            // Three passes over the segment, each with short dependency chains,
            // so that many chunks are in flight at once: azimuth and horizontal
            // length; elevation; sampling.
            const int32_t chunks = seg.Chunks();
            for (int32_t k = 0; k < chunks; ++k) {
                const __m256i u = _mm256_add_epi32(
                    _mm256_set1_epi32(s.colStart + seg.base + seg.Column(k) + 1), lane);
                const __m256i x = _mm256_add_epi32(_mm256_mullo_epi32(m0, u), vrx);
                const __m256i z = _mm256_add_epi32(_mm256_mullo_epi32(m6, u), vrz);
                _mm256_store_si256(reinterpret_cast<__m256i*>(azRow + 8 * k),
                                   AngleOf8(z, x, ang8, quarter, halfTurn));
                // Horizontal length from the longer and the shorter of |x|, |z|.
                const __m256i ax = _mm256_abs_epi32(x), azz = _mm256_abs_epi32(z);
                const __m256i big = _mm256_max_epi32(ax, azz), small = _mm256_min_epi32(ax, azz);
                const __m256i bigZero = _mm256_cmpeq_epi32(big, zero);
                const __m256i lenIdx =
                    DivSmall(_mm256_slli_epi32(small, kViewTableBits),
                             _mm256_blendv_epi8(big, _mm256_set1_epi32(1), bigZero));
                const __m256i lenVal = Gather(len, _mm256_andnot_si256(bigZero, lenIdx));
                _mm256_store_si256(
                    reinterpret_cast<__m256i*>(elRow + 8 * k),
                    _mm256_srli_epi32(_mm256_mullo_epi32(lenVal, big), kLenFracBits));
            }
            // Elevation AngleOf(h, y) with h >= 0 and y fixed for the row:
            // +-ANG8[(|y| << 12) / (h + |y|)] by the sign of y, or +-quarter when
            // h is 0 (positive only for y > 0).
            const __m256i absY = _mm256_set1_epi32(static_cast<int32_t>(UAbs(y)));
            const __m256i yNumerator = _mm256_slli_epi32(absY, kViewTableBits);
            const __m256i ySign = _mm256_set1_epi32(y > 0 ? 0 : -1);
            const __m256i edge = y > 0 ? quarter : _mm256_sub_epi32(zero, quarter);
            for (int32_t k = 0; k < chunks; ++k) {
                auto* at = reinterpret_cast<__m256i*>(elRow + 8 * k);
                const __m256i h = _mm256_load_si256(at);
                const __m256i hZero = _mm256_cmpeq_epi32(h, zero);
                const __m256i den =
                    _mm256_blendv_epi8(_mm256_add_epi32(h, absY), _mm256_set1_epi32(1), hZero);
                const __m256i val =
                    Gather(ang8, _mm256_andnot_si256(hZero, DivSmall(yNumerator, den)));
                // Conditional negation: (val ^ sign) - sign.
                const __m256i signedVal = _mm256_sub_epi32(_mm256_xor_si256(val, ySign), ySign);
                const __m256i el = _mm256_blendv_epi8(signedVal, edge, hZero);
                _mm256_store_si256(at, el);
                // The sampling pass reads these pixels a whole segment later.
                // The panorama was just written in full and is mostly out of
                // the cache: ask for the lines of the vector's first and last
                // pixels, which cover its neighbourhoods on most rows. (A
                // prefetch of an address outside the panorama does nothing.)
                __m256i col, row;
                SourceCell(_mm256_load_si256(reinterpret_cast<const __m256i*>(azRow + 8 * k)), el,
                           colBase, rowBase, col, row);
                const __m256i at00 = _mm256_add_epi32(_mm256_mullo_epi32(row, vWs), col);
                const int32_t first = _mm256_cvtsi256_si32(at00);
                const int32_t last = _mm256_extract_epi32(at00, 7);
                PrefetchAt(source, first);
                PrefetchAt(source, first + Ws);
                PrefetchAt(source, last);
                PrefetchAt(source, last + Ws);
            }
            for (int32_t k = 0; k < chunks; ++k) {
                const __m256i az =
                    _mm256_load_si256(reinterpret_cast<const __m256i*>(azRow + 8 * k));
                const __m256i el =
                    _mm256_load_si256(reinterpret_cast<const __m256i*>(elRow + 8 * k));
                __m256i col, row;
                SourceCell(az, el, colBase, rowBase, col, row);
                const __m256i skip = _mm256_or_si256(
                    _mm256_or_si256(_mm256_cmpgt_epi32(zero, col), _mm256_cmpgt_epi32(zero, row)),
                    _mm256_or_si256(_mm256_cmpgt_epi32(col, lastCol),
                                    _mm256_cmpgt_epi32(row, lastSourceRow)));
                const int skipBits = _mm256_movemask_ps(_mm256_castsi256_ps(skip));
                if (skipBits == 0xFF) continue;
                const __m256i rowOff = _mm256_andnot_si256(skip, _mm256_mullo_epi32(row, vWs));
                const __m256i c0 = _mm256_andnot_si256(skip, col);
                const __m256i c1 =
                    _mm256_andnot_si256(_mm256_or_si256(skip, _mm256_cmpeq_epi32(col, lastCol)),
                                        _mm256_add_epi32(col, _mm256_set1_epi32(1)));
                const __m256i o00 = _mm256_add_epi32(rowOff, c0);
                __m256i p00, p01, p10, p11;
                const __m256i atSeam = _mm256_andnot_si256(skip, _mm256_cmpeq_epi32(col, lastCol));
                if (_mm256_testz_si256(atSeam, atSeam)) {
                    // No lane wraps: each pair of neighbours is one 64-bit load.
                    GatherNeighbourhoods(source, o00, Ws, p00, p01, p10, p11);
                } else {
                    const __m256i o01 = _mm256_add_epi32(rowOff, c1);
                    p00 = Gather(source, o00);
                    p01 = Gather(source, o01);
                    p10 = Gather(source, _mm256_add_epi32(o00, vWs));
                    p11 = Gather(source, _mm256_add_epi32(o01, vWs));
                }
                const __m256i wy = Weights(_mm256_and_si256(el, fracMask));
                __m256i pixel = Blend8(p00, p01, p10, p11, _mm256_and_si256(az, fracMask), wy);
                auto* at = reinterpret_cast<__m256i*>(dst + seg.Column(k));
                if (skipBits != 0) pixel = _mm256_blendv_epi8(pixel, _mm256_loadu_si256(at), skip);
                _mm256_storeu_si256(at, pixel);
            }
        }
    }
    return true;
}

bool RenderDraftAvx2(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                     uint32_t* out) {
    return RenderDraftAvx2(s, M, src, out, RowBand{});
}

HV_AVX2 bool RenderDraftAvx2(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                             uint32_t* out, RowBand band) {
    if (!CpuHasAvx2()) return false;
    if (!RenderInputsOk(s, M, src, out)) return false;
    if (!GatherableSource(s)) return RenderDraftScalar(s, M, src, out, band);
    const auto [firstRow, lastRow] = render_detail::DraftRows(s, band);
    const ViewTables& T = s.tables;
    const int32_t Ws = s.Ws, Wout = s.Wout;
    const int32_t* len = T.LEN.data();
    const int32_t* packed = s.colQuadrants.data();
    const __m256i quadrantStride = _mm256_set1_epi32(kViewTableSteps + 1);
    const auto* source = reinterpret_cast<const int32_t*>(src.pixels);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i m0 = _mm256_set1_epi32(M[0]), m6 = _mm256_set1_epi32(M[6]);
    const __m256i full = _mm256_set1_epi32(kViewTableSteps);
    const __m256i zeroRight = _mm256_set1_epi32(3 * (Ws >> 2));
    const __m256i zeroLeft = _mm256_set1_epi32(Ws >> 2);
    const __m256i vWs = _mm256_set1_epi32(Ws);
    alignas(32) int32_t colRow[kMaxRowChunk];
    alignas(32) int32_t hRow[kMaxRowChunk];
    render_detail::DraftPixels pixels(s, M, src);
    for (int32_t m = firstRow; m < lastRow; ++m) {
        pixels.StartRow(m);
        if (Wout < 8) {
            pixels.Run(0, Wout, out + static_cast<size_t>(m) * Wout);
            continue;
        }
        const auto [rx, y, rz] = pixels.rays();
        const int32_t* rowTable = pixels.rowTable();
        const __m256i vY = _mm256_set1_epi32(static_cast<int32_t>(UAbs(y)));
        const __m256i vrx = _mm256_set1_epi32(rx), vrz = _mm256_set1_epi32(rz);
        // A wide row goes in segments of at most kMaxRowChunk columns.
        for (Segment seg{0, 0}; NextSegment(seg, Wout);) {
            uint32_t* dst = out + static_cast<size_t>(m) * Wout + seg.base;
            // Two passes over the segment (column and horizontal length; row and
            // pixel) keep the dependency chains short.
            const int32_t chunks = seg.Chunks();
            for (int32_t k = 0; k < chunks; ++k) {
                const __m256i u = _mm256_add_epi32(
                    _mm256_set1_epi32(s.colStart + seg.base + seg.Column(k) + 1), lane);
                const __m256i x = _mm256_add_epi32(_mm256_mullo_epi32(m0, u), vrx);
                const __m256i z = _mm256_add_epi32(_mm256_mullo_epi32(m6, u), vrz);
                const __m256i xp = _mm256_abs_epi32(x), zz = _mm256_abs_epi32(z);
                const __m256i zZero = _mm256_cmpeq_epi32(z, zero);
                const __m256i big = _mm256_blendv_epi8(_mm256_max_epi32(xp, zz), one, zZero);
                const __m256i small = _mm256_min_epi32(xp, zz);
                const __m256i lenIdx = DivSmall(_mm256_slli_epi32(small, kViewTableBits), big);
                const __m256i lenVal = Gather(len, _mm256_andnot_si256(zZero, lenIdx));
                __m256i h = _mm256_srai_epi32(_mm256_mullo_epi32(lenVal, big), kLenFracBits);
                h = _mm256_blendv_epi8(h, xp, zZero);
                const __m256i q =
                    DivSmall(_mm256_slli_epi32(small, kViewTableBits),
                             _mm256_blendv_epi8(_mm256_add_epi32(xp, zz), one, zZero));
                const __m256i colIdx =
                    _mm256_blendv_epi8(q, _mm256_sub_epi32(full, q), _mm256_cmpgt_epi32(xp, zz));
                // Column table: COLQ1 (z > 0, x > 0), COLQ2 (z > 0, x <= 0),
                // COLQ3 (z < 0, x >= 0), COLQ4 (z < 0, x < 0).
                const __m256i zPos = _mm256_cmpgt_epi32(z, zero);
                const __m256i xPos = _mm256_cmpgt_epi32(x, zero);
                const __m256i xNeg = _mm256_cmpgt_epi32(zero, x);
                // Quadrant 0 .. 3 selects the table inside colQuadrants.
                const __m256i q12 = _mm256_andnot_si256(xPos, one);
                const __m256i q34 = _mm256_sub_epi32(_mm256_set1_epi32(2), xNeg);
                const __m256i quadrant = _mm256_blendv_epi8(q34, q12, zPos);
                const __m256i safeIdx = _mm256_andnot_si256(
                    zZero, _mm256_add_epi32(_mm256_mullo_epi32(quadrant, quadrantStride), colIdx));
                __m256i column = Gather(packed, safeIdx);
                column = _mm256_blendv_epi8(column, _mm256_blendv_epi8(zeroLeft, zeroRight, xPos),
                                            zZero);
                _mm256_store_si256(reinterpret_cast<__m256i*>(colRow + 8 * k), column);
                _mm256_store_si256(reinterpret_cast<__m256i*>(hRow + 8 * k), h);
            }
            for (int32_t k = 0; k < chunks; ++k) {
                const __m256i column =
                    _mm256_load_si256(reinterpret_cast<const __m256i*>(colRow + 8 * k));
                const __m256i h = _mm256_load_si256(reinterpret_cast<const __m256i*>(hRow + 8 * k));
                const __m256i d = _mm256_add_epi32(vY, h);
                const __m256i dZero = _mm256_cmpeq_epi32(d, zero);
                const __m256i rowIdx =
                    _mm256_andnot_si256(dZero, DivSmall(_mm256_slli_epi32(vY, kViewTableBits),
                                                        _mm256_blendv_epi8(d, one, dZero)));
                const __m256i row = Gather(rowTable, rowIdx);
                const __m256i pixel =
                    Gather(source, _mm256_add_epi32(_mm256_mullo_epi32(row, vWs), column));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + seg.Column(k)), pixel);
            }
        }
    }
    return true;
}

#else  // no x86: the scalar reference is the only path

bool CpuHasAvx2() {
    return false;
}
bool RenderDraftAvx2(const ViewSetup&, const FixedMatrix&, const ViewSource&, uint32_t*) {
    return false;
}
bool RenderHighAvx2(const ViewSetup&, const FixedMatrix&, const ViewSource&, uint32_t*) {
    return false;
}
bool RenderDraftAvx2(const ViewSetup&, const FixedMatrix&, const ViewSource&, uint32_t*, RowBand) {
    return false;
}
bool RenderHighAvx2(const ViewSetup&, const FixedMatrix&, const ViewSource&, uint32_t*, RowBand) {
    return false;
}

#endif

}  // namespace hv
