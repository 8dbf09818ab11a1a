#include "unwrap/planar_gather.h"

#include <algorithm>
#include <cmath>

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
// whether it is the spare row's black.
struct Source {
    uint32_t luma = 0;
    uint32_t chroma = 0;
    bool black = false;
};

Source SourceOf(const PlanarPicture& p, int32_t x, int32_t memoryRow) {
    if (memoryRow >= p.height) return {0, 0, true};
    const int32_t line = p.height - 1 - memoryRow;
    const uint32_t cx = uint32_t(x) >> 1, cy = uint32_t(line) >> 1;
    const uint32_t chroma =
        cy * uint32_t(p.strides[1]) + (p.layout == PlanarLayout::NV12 ? 2 * cx : cx);
    return {uint32_t(line) * uint32_t(p.strides[0]) + uint32_t(x), chroma, false};
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
    for (int i = 0; i < 256; ++i) {
        const int32_t s = Spread(i);
        y_[i] = MulHigh(s, yc) + 128;
        rv_[i] = MulHigh(s, rv);
        gu_[i] = MulHigh(s, gu);
        gv_[i] = MulHigh(s, gv);
        bu_[i] = MulHigh(s, bu);
    }
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
        panorama[i] = s.black ? 0u : convert(Y[s.luma], U[s.chroma], V[s.chroma]);
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
    uint32_t* luma = lumaOffsets_.data();
    uint32_t* chroma = chromaOffsets_.data();
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
    rowBegin = std::clamp(rowBegin, 0, Hp_);
    rowEnd = std::clamp(rowEnd, rowBegin, Hp_);
    const uint8_t* Y = picture.planes[0];
    const uint8_t* U = picture.planes[1];
    const uint8_t* V = VPlane(picture);
    constexpr int32_t kTileRows = GatherPlan::kTileRows, kTileCols = GatherPlan::kTileCols;
    constexpr int32_t kAhead = GatherPlan::kPrefetchAhead;
    const size_t first = size_t(rowBegin) * size_t(Wp_);
    const uint32_t* luma = lumaOffsets_.data() + first;
    const uint32_t* chroma = chromaOffsets_.data() + first;
    for (int32_t r0 = rowBegin; r0 < rowEnd; r0 += kTileRows) {
        const int32_t r1 = std::min(r0 + kTileRows, rowEnd);
        for (int32_t c0 = 0; c0 < Wp_; c0 += kTileCols) {
            const int32_t w = std::min(kTileCols, Wp_ - c0);
            for (int32_t r = r0; r < r1; ++r) {
                uint32_t* dst = panorama + size_t(r) * size_t(Wp_) + c0;
                for (int32_t j = 0; j < w; ++j) {
                    __builtin_prefetch(Y + luma[j + kAhead]);
                    dst[j] = convert_(Y[luma[j]], U[chroma[j]], V[chroma[j]]);
                }
                luma += w;
                chroma += w;
            }
        }
    }
    // The spare row's pixels of these rows: black.
    const uint32_t lo = uint32_t(first), hi = uint32_t(size_t(rowEnd) * size_t(Wp_));
    auto it = std::lower_bound(black_.begin(), black_.end(), lo);
    for (; it != black_.end() && *it < hi; ++it) panorama[*it] = 0u;
}

}  // namespace hv
