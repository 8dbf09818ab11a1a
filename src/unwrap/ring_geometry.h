// Ring geometry of a doughnut frame: where the ring lies in frame pixels and
// the size of the panorama it unwraps into.
//
// The configuration's circle values live in a 600 x 600 square; they are
// scaled to the frame (x by Wf / 600, y by Hf / 600), the ring's outer
// diameter D is the scaled cut-area height alone. The panorama is polar:
// Wp columns cover the full turn, row r holds radius r (row 0 = centre).
//
// Everything is computed in double / int64 and refused with a message when a
// value would not fit the engine's buffers, so no configuration, however
// absurd, makes the unwrap read or write outside its arrays.
#pragma once

#include <cstdint>
#include <string>

#include "config/doughnut_geometry.h"
#include "frame/frame_buffer.h"

namespace hv {

// FlipMode = FLIP_1 + 2 * FLIP_V: 0 none, 1 horizontal, 2 vertical, 3 both.
using FlipMode = int32_t;
inline constexpr FlipMode kFlipModeCount = 4;

// The next mode of the player's flip button: 0 -> 1 -> 2 -> 3 -> 0.
inline FlipMode NextFlipMode(FlipMode m) {
    return (m >= 0 && m < 3) ? m + 1 : 0;
}

// Mode of a flag pair; any non-zero flag counts as set.
inline FlipMode FlipModeOf(int32_t flipH, int32_t flipV) {
    return (flipH != 0 ? 1 : 0) + (flipV != 0 ? 2 : 0);
}

// Largest panorama (Wp x (Hp + 101) pixels, 128 MB per buffer). An 8K frame
// whose ring fills its height needs about 12 M.
inline constexpr int64_t kMaxPanoramaPixels = int64_t{1} << 25;

// Spare rows beyond the ring in every panorama buffer; always zero. The
// renderers may read up to one row past the view source.
inline constexpr int32_t kPanoramaSpareRows = 101;

// Cut-area positions and sizes are refused beyond this many frame pixels from
// the origin: such a ring lies entirely outside any acceptable frame.
inline constexpr int64_t kMaxCoordinate = int64_t{1} << 26;

struct RingGeometry {
    int32_t frameW = 0, frameH = 0;  // Wf, Hf
    float sx = 0, sy = 0;            // single: Wf / 600, Hf / 600
    int32_t left = 0, top = 0;
    int32_t inner = 0;  // inner radius in pixels: even, 0 <= inner < Hp
    int32_t cutW = 0;
    int32_t D = 0;           // outer diameter
    int32_t cx = 0, cy = 0;  // ring centre, top-down frame coordinates
    int32_t Hp = 0;          // panorama rows
    float step = 0;          // single, radians per column
    int32_t Wp = 0;          // panorama columns
    int32_t halfW = 0, halfH = 0;
    int32_t origin = 0;  // columns

    // True for the setup utility's preview geometry: there flip mode 0 has
    // no seam offset (see SeamOffsetApplies).
    bool preview = false;

    // View source size: Ws = Wp, Hs = Hp - inner.
    int32_t Ws() const { return Wp; }
    int32_t Hs() const { return Hp - inner; }
    // First panorama row of the view source: the inner circle's rows come
    // first in modes 0 and 1 and last (mirrored) in modes 2 and 3.
    int32_t ViewSourceRow(FlipMode m) const { return (m == 2 || m == 3) ? 0 : inner; }
    int64_t PanoramaPixels() const { return int64_t{Wp} * Hp; }

    friend bool operator==(const RingGeometry&, const RingGeometry&) = default;
};

// Result of a geometry computation: ok, or a message saying why the geometry
// cannot be used (e.g. the inner radius reaches the panorama height).
struct RingGeometryResult {
    bool ok = false;
    RingGeometry ring;
    std::string error;
};

// The player's mapping for a frame of frameW x frameH pixels.
// A negative inner radius is taken as 0 (the view source then starts at the
// centre); an inner radius reaching Hp, a ring too small for one panorama
// row, an absurd frame or panorama size are refused.
RingGeometryResult BuildRingGeometry(const DoughnutGeometry& g, int32_t frameW, int32_t frameH);

// The setup utility's preview mapping: the panorama width is taken down to a
// multiple of 16 and D recomputed from it, Hp is taken down to a multiple of
// 2, and the seam rotation SHIFTERECT (0..200, 1/200 turn per unit) moves
// the origin. Same limits as above.
RingGeometryResult BuildPreviewGeometry(const DoughnutGeometry& g, int32_t shiftRect,
                                        int32_t frameW, int32_t frameH);

// Whether the angle of column c is step * (c - origin) - 0.204 pi (true) or
// step * (c - origin) alone: the player always subtracts the seam offset,
// the preview in modes 1 to 3 only.
inline bool SeamOffsetApplies(const RingGeometry& ring, FlipMode m) {
    return !ring.preview || m != 0;
}

// Empty when ValidFrameSize (frame_source.h) accepts the size, else why not.
std::string CheckFrameSize(int64_t frameW, int64_t frameH);

}  // namespace hv
