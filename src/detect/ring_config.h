// The detected ring in the configuration's terms: the five geometry values
// of the 600 x 600 setup square whose mapping onto the frame lands closest
// to the detected circle.
#pragma once

#include <cstdint>
#include <string>

#include "config/doughnut_geometry.h"

namespace hv {

// The ring in frame pixels that the unwrap builds from a geometry (centre,
// outer radius D / 2 and even inner radius), computed exactly as the
// player's mapping computes them.
struct MappedRing {
    bool ok = false;  // false for a frame size the programs refuse, or D <= 0
    int64_t cx = 0, cy = 0;
    int64_t D = 0;      // outer diameter
    int64_t inner = 0;  // inner radius
    int64_t cutW = 0;   // cut-area width in pixels
};
MappedRing MapGeometry(const DoughnutGeometry& g, int32_t frameW, int32_t frameH);

struct RingValues {
    bool ok = false;
    std::string error;
    // `keep` with X1_1, Y1_1, X2_1, Y2_1 and RSIZE_1 replaced; flips and
    // everything else stay the user's.
    DoughnutGeometry geometry;
    MappedRing mapped;  // what the unwrap makes of it
    // Mapped minus detected, pixels (signed).
    double centreDx = 0, centreDy = 0, outerDelta = 0, innerDelta = 0;
};

// The five values for a ring centred at (cx, cy) with radii outer and inner
// in a frameW x frameH frame. The height sets the diameter, the top the
// vertical centre; the width is the circle's diameter in x units so that the
// cut area is centred on the ring, and the left edge with it is chosen so
// that the mapped centre lands on the detected one as closely as the
// square's units allow. An inner radius of 0 keeps keep.innerRadius.
RingValues RingToGeometry(double cx, double cy, double outer, double inner, int32_t frameW,
                          int32_t frameH, const DoughnutGeometry& keep);

}  // namespace hv
