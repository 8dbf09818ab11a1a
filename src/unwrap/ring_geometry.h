// Ring geometry of a doughnut frame: where the ring lies in frame pixels and
// the size of the panorama it unwraps into.
#pragma once

#include <cstdint>
#include <string>

#include "config/doughnut_geometry.h"

namespace hv {

// FlipMode = FLIP_1 + 2 * FLIP_V: 0 none, 1 horizontal, 2 vertical, 3 both.
using FlipMode = int32_t;

struct RingGeometry {
    int32_t frameW = 0, frameH = 0;  // Wf, Hf
    float sx = 0, sy = 0;            // single: Wf / 600, Hf / 600
    int32_t left = 0, top = 0;
    int32_t inner = 0;               // even
    int32_t cutW = 0;
    int32_t D = 0;                   // outer diameter
    int32_t cx = 0, cy = 0;          // ring centre, top-down frame coordinates
    int32_t Hp = 0;                  // panorama rows
    float step = 0;                  // single, radians per column
    int32_t Wp = 0;                  // panorama columns
    int32_t halfW = 0, halfH = 0;
    int32_t origin = 0;              // columns

    // View source size: Ws = Wp, Hs = Hp - inner.
    int32_t Ws() const { return Wp; }
    int32_t Hs() const { return Hp - inner; }
};

// Result of a geometry computation: ok, or a message saying why the geometry
// cannot be used (e.g. the inner radius reaches the panorama height).
struct RingGeometryResult {
    bool ok = false;
    RingGeometry ring;
    std::string error;
};

// The player's mapping.
RingGeometryResult BuildRingGeometry(const DoughnutGeometry& g, int32_t frameW, int32_t frameH);

// The setup utility's preview mapping (multiple-of-16 width, recomputed D,
// SHIFTERECT added to the origin).
RingGeometryResult BuildPreviewGeometry(const DoughnutGeometry& g, int32_t shiftRect,
                                        int32_t frameW, int32_t frameH);

}  // namespace hv
