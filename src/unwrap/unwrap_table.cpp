#include "unwrap/unwrap_table.h"

#include <algorithm>
#include <numbers>

namespace hv {

void ComputeColumnAngles(const RingGeometry& ring, FlipMode mode, ColumnAngles& out) {
    // 0.204 as a single times pi in double: 36.72 degrees.
    const double seam = SeamOffsetApplies(ring, mode) ? double(0.204f) * std::numbers::pi : 0.0;
    out.sinT.resize(static_cast<size_t>(ring.Wp));
    out.cosT.resize(static_cast<size_t>(ring.Wp));
    for (int32_t c = 0; c < ring.Wp; ++c) {
        const float theta =
            static_cast<float>(double(ring.step) * (int64_t{c} - ring.origin) - seam);
        out.sinT[c] = static_cast<float>(std::sin(double(theta)));
        out.cosT[c] = static_cast<float>(std::cos(double(theta)));
    }
}

void UnwrapTable::Allocate(const RingGeometry& ring) {
    const size_t n = static_cast<size_t>(ring.PanoramaPixels());
    srcX.assign(n, 0);
    srcRow.assign(n, 0);
}

void BuildUnwrapTable(const RingGeometry& ring, FlipMode mode, UnwrapTable& table) {
    const size_t n = static_cast<size_t>(ring.PanoramaPixels());
    if (table.srcX.size() != n || table.srcRow.size() != n) table.Allocate(ring);
    ColumnAngles angles;
    ComputeColumnAngles(ring, mode, angles);
    int32_t* srcX = table.srcX.data();
    int32_t* srcRow = table.srcRow.data();
    ForEachRingSample(ring, mode, angles, [&](int64_t i, int32_t x, int32_t row) {
        srcX[i] = x;
        srcRow[i] = row;
    });
}

void UnwrapReference(const RingGeometry& ring, const UnwrapTable& table, const uint32_t* frame,
                     uint32_t* panorama) {
    const int64_t n = ring.PanoramaPixels();
    const int64_t Wf = ring.frameW;
    const int32_t* srcX = table.srcX.data();
    const int32_t* srcRow = table.srcRow.data();
    for (int64_t i = 0; i < n; ++i) panorama[i] = frame[srcRow[i] * Wf + srcX[i]];
}

void GatherPlan::Build(const RingGeometry& ring, const UnwrapTable& table) {
    Wp_ = ring.Wp;
    Hp_ = ring.Hp;
    offsets_.assign(static_cast<size_t>(ring.PanoramaPixels()) + kPrefetchAhead, 0u);
    // Frame offsets stay below Wf * (Hf + 1), far inside 32 bits.
    const uint32_t Wf = static_cast<uint32_t>(ring.frameW);
    uint32_t* out = offsets_.data();
    for (int32_t r0 = 0; r0 < Hp_; r0 += kTileRows) {
        const int32_t r1 = std::min(r0 + kTileRows, Hp_);
        for (int32_t c0 = 0; c0 < Wp_; c0 += kTileCols) {
            const int32_t c1 = std::min(c0 + kTileCols, Wp_);
            for (int32_t r = r0; r < r1; ++r) {
                const size_t row = size_t(r) * size_t(Wp_);
                for (int32_t c = c0; c < c1; ++c) {
                    *out++ = uint32_t(table.srcRow[row + c]) * Wf + uint32_t(table.srcX[row + c]);
                }
            }
        }
    }
}

void GatherPlan::Clear() {
    offsets_.clear();
    offsets_.shrink_to_fit();
    Wp_ = Hp_ = 0;
}

void GatherPlan::Run(const uint32_t* frame, uint32_t* panorama, int32_t rowBegin,
                     int32_t rowEnd) const {
    rowBegin = std::clamp(rowBegin, 0, Hp_);
    rowEnd = std::clamp(rowEnd, rowBegin, Hp_);
    // Each band of whole tiles holds exactly its rows' worth of offsets.
    const uint32_t* src = offsets_.data() + size_t(rowBegin) * size_t(Wp_);
    for (int32_t r0 = rowBegin; r0 < rowEnd; r0 += kTileRows) {
        const int32_t r1 = std::min(r0 + kTileRows, rowEnd);
        for (int32_t c0 = 0; c0 < Wp_; c0 += kTileCols) {
            const int32_t w = std::min(kTileCols, Wp_ - c0);
            for (int32_t r = r0; r < r1; ++r) {
                uint32_t* dst = panorama + size_t(r) * size_t(Wp_) + c0;
                for (int32_t j = 0; j < w; ++j) {
                    __builtin_prefetch(frame + src[j + kPrefetchAhead]);
                    dst[j] = frame[src[j]];
                }
                src += w;
            }
        }
    }
}

}  // namespace hv
