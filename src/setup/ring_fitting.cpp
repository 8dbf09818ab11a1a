#include "setup/ring_fitting.h"

#include <algorithm>
#include <cmath>

namespace hv::setup {
namespace {

int32_t Clamp(int64_t v, int32_t lo, int32_t hi) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, lo, hi));
}

int64_t RoundToInt(double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<int64_t>(std::llround(std::clamp(v, -1e12, 1e12)));
}

// Distance from the ring centre in horizontal picture pixels: the vertical
// scale of the letterboxed frame differs from the horizontal one only by the
// rounding of h.
double RingDistance(const OverlayLayout& o, QPointF p) {
    const double k = o.sy > 0 ? o.sx / o.sy : 1.0;
    const double dx = p.x() - o.centre.x(), dy = (p.y() - o.centre.y()) * k;
    return std::hypot(dx, dy);
}

}  // namespace

FitHandle HitTest(const OverlayLayout& o, QPointF p) {
    if (!o.ring) return FitHandle::None;
    const double r = RingDistance(o, p);
    const double toOuter = std::fabs(r - o.outerRadius);
    const double toInner = std::fabs(r - o.innerRadius);
    // The nearer edge wins when both are within reach (a thin ring).
    if (toInner <= kEdgeGrip && toInner < toOuter) return FitHandle::Inner;
    if (toOuter <= kEdgeGrip) return FitHandle::Outer;
    if (r < o.outerRadius) return FitHandle::Move;
    return FitHandle::None;
}

DoughnutGeometry ClampForFitting(DoughnutGeometry g) {
    g.left = Clamp(g.left, kFitPositionMin, kFitPositionMax);
    g.top = Clamp(g.top, kFitPositionMin, kFitPositionMax);
    g.width = Clamp(g.width, kFitSizeMin, kFitSizeMax);
    g.height = Clamp(g.height, kFitSizeMin, kFitSizeMax);
    g.innerRadius = Clamp(g.innerRadius, kFitInnerMin, kFitInnerMax);
    return g;
}

DoughnutGeometry MoveCut(DoughnutGeometry g, int dx, int dy) {
    g = ClampForFitting(g);
    g.left = Clamp(int64_t{g.left} + dx, kFitPositionMin, kFitPositionMax);
    g.top = Clamp(int64_t{g.top} + dy, kFitPositionMin, kFitPositionMax);
    return g;
}

DoughnutGeometry ResizeOuter(DoughnutGeometry g, int steps) {
    g = ClampForFitting(g);
    // Limit the step so that the centre stays where it is at either end.
    int64_t half = 2 * int64_t{steps};
    half = std::clamp<int64_t>(half, (kFitSizeMin - std::min(g.width, g.height)) / 2,
                               (kFitSizeMax - std::max(g.width, g.height)) / 2);
    g.left = Clamp(int64_t{g.left} - half, kFitPositionMin, kFitPositionMax);
    g.top = Clamp(int64_t{g.top} - half, kFitPositionMin, kFitPositionMax);
    g.width = Clamp(int64_t{g.width} + 2 * half, kFitSizeMin, kFitSizeMax);
    g.height = Clamp(int64_t{g.height} + 2 * half, kFitSizeMin, kFitSizeMax);
    return g;
}

DoughnutGeometry ResizeInner(DoughnutGeometry g, int steps) {
    g = ClampForFitting(g);
    g.innerRadius = Clamp(int64_t{g.innerRadius} + steps, kFitInnerMin, kFitInnerMax);
    return g;
}

DoughnutGeometry DragGeometry(const DoughnutGeometry& start, const OverlayLayout& o,
                              FitHandle handle, QPointF from, QPointF to) {
    if (!o.ring || o.h <= 0) return start;
    switch (handle) {
        case FitHandle::Move: {
            const int64_t dx = RoundToInt(to.x() - from.x());
            const int64_t dy = RoundToInt((to.y() - from.y()) * kSetupSquare / o.h);
            DoughnutGeometry g = ClampForFitting(start);
            g.left = Clamp(int64_t{g.left} + dx, kFitPositionMin, kFitPositionMax);
            g.top = Clamp(int64_t{g.top} + dy, kFitPositionMin, kFitPositionMax);
            return g;
        }
        case FitHandle::Outer: {
            // The outer radius in the picture is height * h / 1200.
            const double r = RingDistance(o, to);
            const int64_t wanted = RoundToInt(2.0 * r * kSetupSquare / o.h);
            // Both edges move by the same amount, so the height changes by an
            // even number and the centre stays put.
            DoughnutGeometry g = ClampForFitting(start);
            int64_t half = RoundToInt((wanted - int64_t{g.height}) / 2.0);
            half = std::clamp<int64_t>(half, (kFitSizeMin - std::min(g.width, g.height)) / 2,
                                       (kFitSizeMax - std::max(g.width, g.height)) / 2);
            g.left = Clamp(int64_t{g.left} - half, kFitPositionMin, kFitPositionMax);
            g.top = Clamp(int64_t{g.top} - half, kFitPositionMin, kFitPositionMax);
            g.width = Clamp(int64_t{g.width} + 2 * half, kFitSizeMin, kFitSizeMax);
            g.height = Clamp(int64_t{g.height} + 2 * half, kFitSizeMin, kFitSizeMax);
            return g;
        }
        case FitHandle::Inner: {
            // The inner radius is in horizontal setup units: one picture
            // pixel each.
            DoughnutGeometry g = ClampForFitting(start);
            g.innerRadius = Clamp(RoundToInt(RingDistance(o, to)), kFitInnerMin, kFitInnerMax);
            return g;
        }
        case FitHandle::None:
            break;
    }
    return start;
}

DoughnutGeometry WithFittedValues(DoughnutGeometry g, const DoughnutGeometry& fitted) {
    g.left = fitted.left;
    g.top = fitted.top;
    g.width = fitted.width;
    g.height = fitted.height;
    g.innerRadius = fitted.innerRadius;
    return g;
}

bool SameFittedValues(const DoughnutGeometry& a, const DoughnutGeometry& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height &&
           a.innerRadius == b.innerRadius;
}

}  // namespace hv::setup
