// Robust circle fitting to edge points: an algebraic fit for the start,
// then geometric refinement while points far from the circle are dropped.
#pragma once

#include <cstdint>
#include <vector>

namespace hv {

struct EdgePoint {
    double x = 0, y = 0;
};

struct CircleFit {
    bool ok = false;
    double cx = 0, cy = 0, r = 0;
    int32_t inliers = 0;  // points kept by the last round
    double rmsPx = 0;     // RMS distance of the kept points from the circle
};

// Fits a circle to `points`. Each round drops the points farther from the
// current circle than max(minBandPx, 3 x the robust spread of the
// distances). Needs at least 5 points spread over more than a few degrees;
// otherwise ok stays false.
CircleFit FitCircleRobust(const std::vector<EdgePoint>& points, double minBandPx = 1.0,
                          int32_t rounds = 5);

// Distance of (x, y) from a fitted circle's rim, signed (positive outside).
double CircleDistance(const CircleFit& c, double x, double y);

}  // namespace hv
