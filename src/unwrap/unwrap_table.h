// The unwrap table: for every panorama pixel, the frame pixel it shows.
//
// The mapping of panorama row r (radius) and column c (angle) to the frame:
//   theta = step * (c - origin) - 0.204 pi     (single; the preview's mode 0
//                                               leaves out the 0.204 pi term)
//   X = round(sin theta * r + cx), Y = round(cos theta * r + cy)   (top-down)
// A sample is used only when 0 <= X <= Wf - 1 and 0 <= Y <= Hf; it then
// reads frame column X of memory row Hf - Y (Y = 0 is the frame buffer's
// always-black spare row). The flip mode mirrors where a sample is stored:
// mode 1 mirrors the columns, mode 2 the rows, mode 3 both.
//
// Theta = 0 (straight down the picture from the centre) therefore lies at
// column origin + 0.204 pi / step (mod Wp) in mode 0, and growing columns
// turn from down to right, up and left as seen on the picture.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "frame/large_buffer.h"
#include "unwrap/ring_geometry.h"

namespace hv {

// sin and cos of every column's angle, stored as singles.
struct ColumnAngles {
    std::vector<float> sinT, cosT;
};
void ComputeColumnAngles(const RingGeometry& ring, FlipMode mode, ColumnAngles& out);

// Index of the panorama pixel that row r, column c is stored in.
inline int64_t PanoramaIndex(const RingGeometry& ring, FlipMode mode, int32_t r, int32_t c) {
    const int64_t row = (mode == 2 || mode == 3) ? ring.Hp - 1 - r : r;
    const int64_t col = (mode == 1 || mode == 3) ? ring.Wp - 1 - c : c;
    return row * ring.Wp + col;
}

// Calls fn(panoramaIndex, X, memoryRow) for every sample of the ring that
// lies inside the frame, rows outer, columns inner. The one mapping of both
// the player's table and the setup utility's preview.
template <class Fn>
void ForEachRingSample(const RingGeometry& ring, FlipMode mode, const ColumnAngles& angles,
                       Fn&& fn) {
    const double maxX = ring.frameW - 1, maxY = ring.frameH;
    for (int32_t r = 0; r < ring.Hp; ++r) {
        for (int32_t c = 0; c < ring.Wp; ++c) {
            // Products of a single and a small integer are exact in double.
            const double X = std::nearbyint(double(angles.sinT[c]) * r + ring.cx);
            const double Y = std::nearbyint(double(angles.cosT[c]) * r + ring.cy);
            if (!(X >= 0 && X <= maxX && Y >= 0 && Y <= maxY)) continue;
            fn(PanoramaIndex(ring, mode, r, c), static_cast<int32_t>(X),
               ring.frameH - static_cast<int32_t>(Y));
        }
    }
}

// Two arrays of Wp x Hp entries; entry i belongs to panorama pixel i
// (row-major). Entries a build does not write (ring positions outside the
// frame) keep their previous contents: zero on a fresh table, which reads
// frame pixel 0, or the previous mode's source after a flip. Every entry
// always lies inside a width x (height + 1) frame buffer.
struct UnwrapTable {
    LargeVector<int32_t> srcX;
    LargeVector<int32_t> srcRow;

    // Sized for the geometry and zeroed.
    void Allocate(const RingGeometry& ring);
};

void BuildUnwrapTable(const RingGeometry& ring, FlipMode mode, UnwrapTable& table);

// The per-frame copy as the reference: panorama[i] = frame[srcRow[i] * Wf +
// srcX[i]] for i = 0 .. Wp * Hp - 1. `frame` holds Wf x (Hf + 1) pixels.
void UnwrapReference(const RingGeometry& ring, const UnwrapTable& table, const uint32_t* frame,
                     uint32_t* panorama);

// The same copy, laid out for speed: one precomputed frame offset per pixel,
// stored tile by tile so that each tile's source lies in a compact part of
// the frame. Gives exactly the reference's panorama.
class GatherPlan {
  public:
    // Panorama tiles: kTileRows radii x kTileCols columns.
    static constexpr int32_t kTileRows = 32;
    static constexpr int32_t kTileCols = 64;
    // The gather asks for the frame pixel this many entries ahead: the
    // reads follow the ring, which no hardware prefetcher predicts. The
    // offsets carry as many zero entries of padding at their end.
    static constexpr int32_t kPrefetchAhead = 512;

    void Build(const RingGeometry& ring, const UnwrapTable& table);
    void Clear();
    bool Empty() const { return offsets_.empty(); }

    // Fills panorama rows [rowBegin, rowEnd) (multiples of kTileRows, or
    // Hp); two callers may fill disjoint row ranges at once.
    void Run(const uint32_t* frame, uint32_t* panorama, int32_t rowBegin, int32_t rowEnd) const;
    void Run(const uint32_t* frame, uint32_t* panorama) const { Run(frame, panorama, 0, Hp_); }

  private:
    LargeVector<uint32_t> offsets_;
    int32_t Wp_ = 0, Hp_ = 0;
};

}  // namespace hv
