#include "detect/ring_config.h"

#include <cmath>
#include <limits>

#include "frame/frame_buffer.h"

namespace hv {
namespace {

// The mapping's rounding: halves to even.
int64_t RoundEven(double v) {
    return static_cast<int64_t>(std::nearbyint(v));
}

// Values beyond this many units are refused: no ring of a real frame needs
// them, and the searches below stay far from overflow.
constexpr double kMaxUnits = 1e6;

struct Scale {
    double sx = 0, sy = 0;  // single precision, as the mapping holds them
};

Scale ScaleOf(int32_t frameW, int32_t frameH) {
    return {static_cast<double>(static_cast<float>(frameW / 600.0)),
            static_cast<double>(static_cast<float>(frameH / 600.0))};
}

// Candidates around an ideal real-valued unit count.
template <typename F>
int32_t BestAround(double ideal, int32_t spread, F cost) {
    const int64_t base = static_cast<int64_t>(std::floor(ideal));
    int32_t best = static_cast<int32_t>(base);
    double bestCost = std::numeric_limits<double>::infinity();
    for (int64_t k = base - spread; k <= base + spread + 1; ++k) {
        // Ties go to the value nearest the ideal.
        const double c = cost(static_cast<int32_t>(k)) + 1e-6 * std::fabs(double(k) - ideal);
        if (c < bestCost) {
            bestCost = c;
            best = static_cast<int32_t>(k);
        }
    }
    return best;
}

}  // namespace

MappedRing MapGeometry(const DoughnutGeometry& g, int32_t frameW, int32_t frameH) {
    MappedRing m;
    if (!ValidFrameSize(frameW, frameH)) return m;
    const Scale s = ScaleOf(frameW, frameH);
    const int64_t left = RoundEven(s.sx * g.left);
    const int64_t top = RoundEven(s.sy * g.top);
    int64_t inner = RoundEven(s.sx * g.innerRadius);
    inner = (inner / 2) * 2;
    if (inner < 0) inner = 0;
    m.cutW = RoundEven(s.sx * g.width);
    m.D = RoundEven(s.sy * g.height);
    m.cx = left + RoundEven(0.5 * double(m.cutW));
    m.cy = top + RoundEven(0.5 * double(m.D));
    m.inner = inner;
    m.ok = m.D > 0;
    return m;
}

RingValues RingToGeometry(double cx, double cy, double outer, double inner, int32_t frameW,
                          int32_t frameH, const DoughnutGeometry& keep) {
    RingValues out;
    out.geometry = keep;
    if (!ValidFrameSize(frameW, frameH)) {
        out.error = "the frame size " + std::to_string(frameW) + "x" + std::to_string(frameH) +
                    " is not supported";
        return out;
    }
    const Scale s = ScaleOf(frameW, frameH);
    const double ideals[] = {cx / s.sx, cy / s.sy, 2 * outer / s.sx, 2 * outer / s.sy,
                             inner / s.sx};
    for (double v : ideals) {
        if (!std::isfinite(v) || std::fabs(v) > kMaxUnits) {
            out.error = "the ring lies too far outside the frame to be described";
            return out;
        }
    }
    if (!(outer > 0) || inner < 0 || inner >= outer) {
        out.error = "the ring's radii are not usable (outer must be positive, inner below it)";
        return out;
    }

    DoughnutGeometry& g = out.geometry;
    // Height and top together: the height alone fixes the diameter the
    // unwrap uses, the top with it the vertical centre; both errors count.
    const double idealH = 2 * outer / s.sy;
    double bestY = std::numeric_limits<double>::infinity();
    const int64_t h0 = static_cast<int64_t>(std::floor(idealH));
    for (int64_t hh = h0 - 2; hh <= h0 + 3; ++hh) {
        if (hh <= 0) continue;
        const int64_t D = RoundEven(s.sy * double(hh));
        const int64_t half = RoundEven(0.5 * double(D));
        const double idealT = (cy - double(half)) / s.sy;
        const int64_t t0 = static_cast<int64_t>(std::floor(idealT));
        for (int64_t t = t0 - 3; t <= t0 + 4; ++t) {
            const double cost =
                std::fabs(double(RoundEven(s.sy * double(t)) + half) - cy) +
                std::fabs(0.5 * double(D) - outer) +
                1e-6 * (std::fabs(double(hh) - idealH) + std::fabs(double(t) - idealT));
            if (cost < bestY) {
                bestY = cost;
                g.height = static_cast<int32_t>(hh);
                g.top = static_cast<int32_t>(t);
            }
        }
    }

    // Width and left together: the mapped centre first, then a cut area
    // as wide as the circle.
    const double idealW = 2 * outer / s.sx;
    double bestCost = std::numeric_limits<double>::infinity();
    const int64_t w0 = static_cast<int64_t>(std::floor(idealW));
    for (int64_t w = w0 - 2; w <= w0 + 3; ++w) {
        if (w <= 0) continue;
        const int64_t cutW = RoundEven(s.sx * double(w));
        const int64_t half = RoundEven(0.5 * double(cutW));
        const double idealL = (cx - double(half)) / s.sx;
        const int64_t l0 = static_cast<int64_t>(std::floor(idealL));
        for (int64_t l = l0 - 3; l <= l0 + 4; ++l) {
            const double centre = std::fabs(double(RoundEven(s.sx * double(l)) + half) - cx);
            const double cost = centre + 0.1 * std::fabs(double(cutW) - 2 * outer) +
                                1e-6 * std::fabs(double(l) - idealL);
            if (cost < bestCost) {
                bestCost = cost;
                g.width = static_cast<int32_t>(w);
                g.left = static_cast<int32_t>(l);
            }
        }
    }

    if (inner > 0) {
        g.innerRadius = BestAround(inner / s.sx, 3, [&](int32_t k) {
            if (k < 0) return 1e9;
            const int64_t r = (RoundEven(s.sx * k) / 2) * 2;
            return std::fabs(double(r) - inner);
        });
    }

    out.mapped = MapGeometry(g, frameW, frameH);
    if (!out.mapped.ok) {
        out.error = "the ring is too small to be described in the setup square";
        return out;
    }
    out.centreDx = double(out.mapped.cx) - cx;
    out.centreDy = double(out.mapped.cy) - cy;
    out.outerDelta = 0.5 * double(out.mapped.D) - outer;
    out.innerDelta = double(out.mapped.inner) - inner;
    out.ok = true;
    return out;
}

}  // namespace hv
