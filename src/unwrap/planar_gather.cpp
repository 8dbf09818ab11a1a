#include "unwrap/planar_gather.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace hv {
namespace {

// A sample minus 128, spread over 16 bits as (b << 8) | b of its byte b.
int32_t Spread(int i) {
    const int32_t b = (i - 128) & 0xff;
    return static_cast<int16_t>(static_cast<uint16_t>(b << 8 | b));
}

// The high half of the 16 x 16 bit product (floor).
int32_t MulHigh(int32_t a, int32_t coefficient) {
    return (a * coefficient) >> 16;
}

// A coefficient with 8 fraction bits.
int32_t Fixed8(double c) {
    return static_cast<int32_t>(std::lrint(c * 256.0));
}

// Where a table entry reads: the luma offset, the chroma offset (of U; V
// sits at the same offset of its plane, or one byte on in NV12's pairs) and
// whether it is the spare row's black. NV12 also names the chroma row on
// the other side of the luma line (chroma2) and whether the luma column
// lies between two chroma columns (between).
struct Source {
    uint32_t luma = 0;
    uint32_t chroma = 0;
    bool black = false;
    uint32_t chroma2 = 0;
    bool between = false;
};

Source SourceOf(const PlanarPicture& p, int32_t x, int32_t memoryRow) {
    if (memoryRow >= p.height) return {0, 0, true, 0, false};
    const int32_t line = p.height - 1 - memoryRow;
    const uint32_t cx = uint32_t(x) >> 1, cy = uint32_t(line) >> 1;
    Source s;
    s.luma = uint32_t(line) * uint32_t(p.strides[0]) + uint32_t(x);
    if (p.layout == PlanarLayout::NV12) {
        const int32_t lastRow = ChromaHeight(p.height) - 1;
        const int32_t other =
            (line & 1) != 0 ? std::min(int32_t(cy) + 1, lastRow) : std::max(int32_t(cy) - 1, 0);
        s.chroma = cy * uint32_t(p.strides[1]) + 2 * cx;
        s.chroma2 = uint32_t(other) * uint32_t(p.strides[1]) + 2 * cx;
        s.between = (x & 1) != 0 && int32_t(cx) + 1 < ChromaWidth(p.width);
    } else {
        s.chroma = cy * uint32_t(p.strides[1]) + cx;
    }
    return s;
}

// NV12's chroma as the converter upsamples it (chroma sited with the even
// columns, between the lines): 3/4 of the chroma row the line lies in and
// 1/4 of the nearer neighbour, then the mean of the two chroma columns for
// an odd luma column.
inline uint8_t Upsampled(const uint8_t* plane, uint32_t c, uint32_t c2, bool between) {
    const int32_t v0 = (3 * plane[c] + plane[c2] + 2) >> 2;
    if (!between) return uint8_t(v0);
    const int32_t v1 = (3 * plane[c + 2] + plane[c2 + 2] + 2) >> 2;
    return uint8_t((v0 + v1 + 1) >> 1);
}

const uint8_t* VPlane(const PlanarPicture& p) {
    return p.layout == PlanarLayout::NV12 ? p.planes[1] + 1 : p.planes[2];
}

}  // namespace

YuvToBgrx::YuvToBgrx(const YuvColour& colour) : colour_(colour) {
    const double kr = colour.kr, kb = colour.kb, kg = 1.0 - kr - kb;
    // Limited range stretches luma by 255 / 219 and chroma by 255 / 224.
    // Like GStreamer's conversion, luma is taken about 128 rather than 16
    // (limited range comes out about 2.4 levels darker than exact).
    const double ys = colour.fullRange ? 1.0 : 255.0 / 219.0;
    const double cs = colour.fullRange ? 1.0 : 255.0 / 224.0;
    const int32_t yc = Fixed8(ys);
    const int32_t rv = Fixed8(2.0 * (1.0 - kr) * cs);
    const int32_t gu = Fixed8(-2.0 * kb * (1.0 - kb) / kg * cs);
    const int32_t gv = Fixed8(-2.0 * kr * (1.0 - kr) / kg * cs);
    const int32_t bu = Fixed8(2.0 * (1.0 - kb) * cs);
    yc_ = int16_t(yc);
    rv8_ = int16_t(rv);
    bu8_ = int16_t(bu);
    gu8_ = int16_t(gu);
    gv8_ = int16_t(gv);
    for (int i = 0; i < 256; ++i) {
        const int32_t s = Spread(i);
        y_[i] = MulHigh(s, yc) + 128;
        rv_[i] = MulHigh(s, rv);
        gu_[i] = MulHigh(s, gu);
        gv_[i] = MulHigh(s, gv);
        bu_[i] = MulHigh(s, bu);
    }
}

void YuvToBgrx::ConvertBlock(const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t n,
                             uint32_t* out) const {
    const __m128i flip = _mm_set1_epi8(char(0x80));  // x - 128 and x + 128 on bytes
    const __m128i ones = _mm_set1_epi8(char(0xff));
    const __m128i cy = _mm_set1_epi16(yc_), crv = _mm_set1_epi16(rv8_), cbu = _mm_set1_epi16(bu8_),
                  cgu = _mm_set1_epi16(gu8_), cgv = _mm_set1_epi16(gv8_);
    int32_t k = 0;
    for (; k + 16 <= n; k += 16) {
        const __m128i y8 =
            _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + k)), flip);
        const __m128i u8 =
            _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u + k)), flip);
        const __m128i v8 =
            _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + k)), flip);
        __m128i r[2], g[2], b[2];
        for (int h = 0; h < 2; ++h) {
            // Spread: (b << 8) | b of each byte.
            const __m128i wy =
                _mm_mulhi_epi16(h ? _mm_unpackhi_epi8(y8, y8) : _mm_unpacklo_epi8(y8, y8), cy);
            const __m128i wu = h ? _mm_unpackhi_epi8(u8, u8) : _mm_unpacklo_epi8(u8, u8);
            const __m128i wv = h ? _mm_unpackhi_epi8(v8, v8) : _mm_unpacklo_epi8(v8, v8);
            r[h] = _mm_add_epi16(wy, _mm_mulhi_epi16(wv, crv));
            b[h] = _mm_add_epi16(wy, _mm_mulhi_epi16(wu, cbu));
            g[h] = _mm_add_epi16(_mm_add_epi16(wy, _mm_mulhi_epi16(wu, cgu)),
                                 _mm_mulhi_epi16(wv, cgv));
        }
        // Saturate to -128..127, then + 128.
        const __m128i R = _mm_xor_si128(_mm_packs_epi16(r[0], r[1]), flip);
        const __m128i G = _mm_xor_si128(_mm_packs_epi16(g[0], g[1]), flip);
        const __m128i B = _mm_xor_si128(_mm_packs_epi16(b[0], b[1]), flip);
        const __m128i bgLo = _mm_unpacklo_epi8(B, G), bgHi = _mm_unpackhi_epi8(B, G);
        const __m128i rxLo = _mm_unpacklo_epi8(R, ones), rxHi = _mm_unpackhi_epi8(R, ones);
        auto* o = reinterpret_cast<__m128i*>(out + k);
        _mm_storeu_si128(o + 0, _mm_unpacklo_epi16(bgLo, rxLo));
        _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(bgLo, rxLo));
        _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(bgHi, rxHi));
        _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(bgHi, rxHi));
    }
    for (; k < n; ++k) out[k] = (*this)(y[k], u[k], v[k]);
}

bool PlanarPictureFits(const RingGeometry& ring, const PlanarPicture& p) {
    if (p.width != ring.frameW || p.height != ring.frameH || p.width <= 0 || p.height <= 0)
        return false;
    if (p.planes[0] == nullptr || p.planes[1] == nullptr || p.strides[0] < p.width) return false;
    const int32_t chromaRow =
        p.layout == PlanarLayout::NV12 ? 2 * ChromaWidth(p.width) : ChromaWidth(p.width);
    if (p.strides[1] < chromaRow) return false;
    if (p.layout == PlanarLayout::I420 && (p.planes[2] == nullptr || p.strides[2] != p.strides[1]))
        return false;
    // Offsets are 32-bit.
    return int64_t{p.strides[0]} * p.height <= int64_t{UINT32_MAX};
}

void UnwrapPlanarReference(const RingGeometry& ring, const UnwrapTable& table,
                           const PlanarPicture& picture, uint32_t* panorama) {
    const YuvToBgrx convert(picture.colour);
    const uint8_t* Y = picture.planes[0];
    const uint8_t* U = picture.planes[1];
    const uint8_t* V = VPlane(picture);
    const int64_t n = ring.PanoramaPixels();
    for (int64_t i = 0; i < n; ++i) {
        const Source s = SourceOf(picture, table.srcX[i], table.srcRow[i]);
        if (s.black) {
            panorama[i] = 0u;
        } else if (picture.layout == PlanarLayout::NV12) {
            panorama[i] = convert(Y[s.luma], Upsampled(U, s.chroma, s.chroma2, s.between),
                                  Upsampled(V, s.chroma, s.chroma2, s.between));
        } else {
            panorama[i] = convert(Y[s.luma], U[s.chroma], V[s.chroma]);
        }
    }
}

void PlanarGatherPlan::Build(const RingGeometry& ring, const UnwrapTable& table,
                             const PlanarPicture& picture) {
    Wp_ = ring.Wp;
    Hp_ = ring.Hp;
    layout_ = picture.layout;
    width_ = picture.width;
    height_ = picture.height;
    std::copy(std::begin(picture.strides), std::end(picture.strides), strides_);
    convert_ = YuvToBgrx(picture.colour);
    const size_t n = static_cast<size_t>(ring.PanoramaPixels());
    lumaOffsets_.assign(n + GatherPlan::kPrefetchAhead, 0u);
    chromaOffsets_.assign(n + GatherPlan::kPrefetchAhead, 0u);
    black_.clear();
    const bool nv12 = layout_ == PlanarLayout::NV12;
    chroma2Offsets_.assign(nv12 ? n : 0, 0u);
    between_.assign(nv12 ? n : 0, 0);
    uint32_t* luma = lumaOffsets_.data();
    uint32_t* chroma = chromaOffsets_.data();
    uint32_t* chroma2 = chroma2Offsets_.data();
    uint8_t* between = between_.data();
    constexpr int32_t kTileRows = GatherPlan::kTileRows, kTileCols = GatherPlan::kTileCols;
    for (int32_t r0 = 0; r0 < Hp_; r0 += kTileRows) {
        const int32_t r1 = std::min(r0 + kTileRows, Hp_);
        for (int32_t c0 = 0; c0 < Wp_; c0 += kTileCols) {
            const int32_t c1 = std::min(c0 + kTileCols, Wp_);
            for (int32_t r = r0; r < r1; ++r) {
                const size_t row = size_t(r) * size_t(Wp_);
                for (int32_t c = c0; c < c1; ++c) {
                    const Source s = SourceOf(picture, table.srcX[row + c], table.srcRow[row + c]);
                    *luma++ = s.luma;
                    *chroma++ = s.chroma;
                    if (nv12) {
                        *chroma2++ = s.chroma2;
                        *between++ = s.between ? 1 : 0;
                    }
                    if (s.black) black_.push_back(uint32_t(row + c));
                }
            }
        }
    }
    std::sort(black_.begin(), black_.end());
}

void PlanarGatherPlan::Clear() {
    lumaOffsets_.clear();
    lumaOffsets_.shrink_to_fit();
    chromaOffsets_.clear();
    chromaOffsets_.shrink_to_fit();
    chroma2Offsets_.clear();
    chroma2Offsets_.shrink_to_fit();
    between_.clear();
    between_.shrink_to_fit();
    black_.clear();
    black_.shrink_to_fit();
    Wp_ = Hp_ = width_ = height_ = 0;
}

bool PlanarGatherPlan::Matches(const PlanarPicture& p) const {
    return !Empty() && p.layout == layout_ && p.width == width_ && p.height == height_ &&
           std::equal(std::begin(strides_), std::end(strides_), std::begin(p.strides)) &&
           p.colour == convert_.Colour();
}

void PlanarGatherPlan::Run(const PlanarPicture& picture, uint32_t* panorama, int32_t rowBegin,
                           int32_t rowEnd) const {
    constexpr int32_t kTileRows = GatherPlan::kTileRows;
    rowBegin = std::clamp(rowBegin, 0, Hp_);
    rowEnd = std::clamp(rowEnd, rowBegin, Hp_);
    Run(picture, panorama, PanoramaRegion::Whole(), rowBegin / kTileRows,
        (rowEnd + kTileRows - 1) / kTileRows);
}

void PlanarGatherPlan::Run(const PlanarPicture& picture, uint32_t* panorama,
                           const PanoramaRegion& region, int32_t bandBegin,
                           int32_t bandEnd) const {
    constexpr int32_t kTileRows = GatherPlan::kTileRows, kTileCols = GatherPlan::kTileCols;
    static_assert(kTileCols <= YuvToBgrx::kBlock);
    constexpr int32_t kAhead = GatherPlan::kPrefetchAhead;
    const int32_t around = TileColumns(Wp_);
    int32_t tileBegin = 0, tileCount = around;
    if (!region.whole) {
        if (region.tilesAround != around) return;
        bandBegin = std::max(bandBegin, region.bandBegin);
        bandEnd = std::min(bandEnd, region.bandEnd);
        tileBegin = region.tileBegin;
        tileCount = std::min(region.tileCount, around);
    }
    bandBegin = std::max(bandBegin, 0);
    bandEnd = std::min(bandEnd, TileBands(Hp_));
    if (bandBegin >= bandEnd) return;
    const uint8_t* Y = picture.planes[0];
    const uint8_t* U = picture.planes[1];
    const uint8_t* V = VPlane(picture);
    const bool nv12 = layout_ == PlanarLayout::NV12;
    for (int32_t band = bandBegin; band < bandEnd; ++band) {
        const int32_t r0 = band * kTileRows;
        const int32_t rows = std::min(kTileRows, Hp_ - r0);
        const size_t bandStart = size_t(r0) * size_t(Wp_);
        for (int32_t k = 0; k < tileCount; ++k) {
            const int32_t c0 = ((tileBegin + k) % around) * kTileCols;
            const int32_t w = std::min(kTileCols, Wp_ - c0);
            // The plan stores a band's tiles one after the other, each
            // row by row.
            const size_t first = bandStart + size_t(rows) * size_t(c0);
            const uint32_t* luma = lumaOffsets_.data() + first;
            const uint32_t* chroma = chromaOffsets_.data() + first;
            const uint32_t* chroma2 = nv12 ? chroma2Offsets_.data() + first : nullptr;
            const uint8_t* between = nv12 ? between_.data() + first : nullptr;
            for (int32_t r = r0; r < r0 + rows; ++r) {
                uint32_t* dst = panorama + size_t(r) * size_t(Wp_) + c0;
                alignas(16) uint8_t ys[kTileCols], us[kTileCols], vs[kTileCols];
                if (nv12) {
                    for (int32_t j = 0; j < w; ++j) {
                        __builtin_prefetch(Y + luma[j + kAhead]);
                        __builtin_prefetch(U + chroma[j + kAhead]);
                        ys[j] = Y[luma[j]];
                        us[j] = Upsampled(U, chroma[j], chroma2[j], between[j] != 0);
                        vs[j] = Upsampled(V, chroma[j], chroma2[j], between[j] != 0);
                    }
                    chroma2 += w;
                    between += w;
                } else {
                    for (int32_t j = 0; j < w; ++j) {
                        // All three planes: the chroma reads miss as often
                        // as the luma ones.
                        __builtin_prefetch(Y + luma[j + kAhead]);
                        __builtin_prefetch(U + chroma[j + kAhead]);
                        __builtin_prefetch(V + chroma[j + kAhead]);
                        ys[j] = Y[luma[j]];
                        us[j] = U[chroma[j]];
                        vs[j] = V[chroma[j]];
                    }
                }
                convert_.ConvertBlock(ys, us, vs, w, dst);
                luma += w;
                chroma += w;
            }
        }
    }
    // The spare row's pixels of these tiles: black.
    const uint32_t lo = uint32_t(size_t(bandBegin) * kTileRows * size_t(Wp_));
    const uint32_t hi = uint32_t(std::min(size_t(bandEnd) * kTileRows, size_t(Hp_)) * size_t(Wp_));
    auto it = std::lower_bound(black_.begin(), black_.end(), lo);
    const bool allTiles = tileCount >= around;
    for (; it != black_.end() && *it < hi; ++it) {
        if (allTiles || region.HasTile(int32_t(*it % uint32_t(Wp_)) / kTileCols)) panorama[*it] = 0u;
    }
}

}  // namespace hv
