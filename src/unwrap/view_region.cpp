#include "unwrap/view_region.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "unwrap/render_view.h"
#include "unwrap/unwrap_table.h"

namespace hv {
namespace {

constexpr int32_t kTileRows = GatherPlan::kTileRows;
constexpr int32_t kTileCols = GatherPlan::kTileCols;

// Closer to a pole than this, the columns a view reads change too fast
// along its edges to be bounded by samples: the whole circle is taken.
constexpr double kPoleLimit = 80.0 * std::numbers::pi / 180.0;
// Samples per view edge. Along an edge (a great-circle arc) the azimuth is
// monotonic and the elevation has at most one peak, which the samples miss
// by well under a column.
constexpr int32_t kEdgeSamples = 64;
// Columns and rows beyond the exact bounds: the draft renderer rounds to the
// nearest pixel from a horizon half a row higher, the high one reads the
// next column and row, and both angle tables step in fractions of a column.
constexpr int32_t kSlack = 3;

int32_t FloorDiv(int32_t a, int32_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// a modulo n in 0 .. n - 1, for either sign of a.
int32_t Wrap(int32_t a, int32_t n) {
    return a - FloorDiv(a, n) * n;
}

// The tiles [first, first + count) of columns taken modulo the circle.
void SetColumns(PanoramaRegion& r, double first, double last, int32_t Ws) {
    const int32_t around = r.tilesAround;
    if (!(last - first < double(Ws) - 2.0 * kTileCols)) {
        r.tileBegin = 0;
        r.tileCount = around;
        return;
    }
    const int32_t c0 = int32_t(std::floor(first));
    const int32_t c1 = int32_t(std::floor(last));
    // Tiles of the unwrapped interval; a column past the seam wraps into
    // the first tiles, a column before it into the last (partial) one.
    auto tileOf = [&](int32_t c) { return FloorDiv(c, Ws) * around + Wrap(c, Ws) / kTileCols; };
    const int32_t t0 = tileOf(c0), t1 = tileOf(c1);
    r.tileCount = std::min(t1 - t0 + 1, around);
    r.tileBegin = Wrap(t0, around);
    if (r.tileCount == around) r.tileBegin = 0;
}

ViewState Ahead(const ViewState& shown, const ViewState& next, float times) {
    ViewState a = next;
    double pan = double(next.pan) - shown.pan;
    pan -= 360.0 * std::nearbyint(pan / 360.0);
    a.pan = float(next.pan + times * pan);
    a.tilt = float(std::clamp(double(next.tilt) + times * (double(next.tilt) - shown.tilt),
                              double(next.minTilt), double(next.maxTilt)));
    a.fov = float(std::clamp(double(next.fov) + times * (double(next.fov) - shown.fov),
                             double(next.minFov), double(next.maxFov)));
    return a;
}

}  // namespace

int32_t TileBands(int32_t Hp) {
    return (Hp + kTileRows - 1) / kTileRows;
}

int32_t TileColumns(int32_t Wp) {
    return (Wp + kTileCols - 1) / kTileCols;
}

bool PanoramaRegion::HasTile(int32_t t) const {
    if (whole || tileCount >= tilesAround) return true;
    return Wrap(t - tileBegin, tilesAround) < tileCount;
}

bool PanoramaRegion::Covers(const PanoramaRegion& o) const {
    if (whole) return true;
    if (o.whole || o.tilesAround != tilesAround) return false;
    if (o.bandBegin < bandBegin || o.bandEnd > bandEnd) return false;
    if (tileCount >= tilesAround) return true;
    if (o.tileCount > tileCount) return false;
    return Wrap(o.tileBegin - tileBegin, tilesAround) + o.tileCount <= tileCount;
}

PanoramaRegion Union(const PanoramaRegion& a, const PanoramaRegion& b) {
    if (a.whole || b.whole || a.tilesAround != b.tilesAround) return PanoramaRegion::Whole();
    PanoramaRegion u = a;
    u.bandBegin = std::min(a.bandBegin, b.bandBegin);
    u.bandEnd = std::max(a.bandEnd, b.bandEnd);
    const int32_t n = a.tilesAround;
    if (a.tileCount >= n || b.tileCount >= n) {
        u.tileBegin = 0;
        u.tileCount = n;
        return u;
    }
    // The shorter of the two ways to join the arcs: a then b, or b then a.
    auto joined = [n](const PanoramaRegion& x, const PanoramaRegion& y) {
        return std::max(x.tileCount, Wrap(y.tileBegin - x.tileBegin, n) + y.tileCount);
    };
    const int32_t ab = joined(a, b), ba = joined(b, a);
    u.tileBegin = ab <= ba ? a.tileBegin : b.tileBegin;
    u.tileCount = std::min(std::min(ab, ba), n);
    if (u.tileCount == n) u.tileBegin = 0;
    return u;
}

PanoramaRegion ViewRegion(const ViewSetup& setup, const ViewState& view, const RingGeometry& ring,
                          FlipMode mode, int32_t spare) {
    const FixedMatrix M = ViewMatrix(setup, view);
    if (setup.Ws != ring.Ws() || setup.Hs != ring.Hs() || !RaysInRange(setup, M))
        return PanoramaRegion::Whole();
    constexpr double kPi = std::numbers::pi;
    // The rays of view columns u and rows v as both renderers form them
    // (x side, y up, z forward); one column and row to spare round the
    // rays either renderer reads.
    const double u0 = setup.colStart, u1 = double(setup.colStart) + setup.Wout + 1;
    const double v0 = setup.rowStart, v1 = double(setup.rowStart) + setup.Hout + 1;
    double azFirst = 0, azPrev = 0, az = 0, azMin = 0, azMax = 0;
    double elMin = kPi, elMax = -kPi;
    bool first = true;
    auto visit = [&](double u, double v) {
        const double x = double(M[0]) * u + double(M[1]) * v + M[2];
        const double y = double(M[4]) * v + M[5];
        const double z = double(M[6]) * u + double(M[7]) * v + M[8];
        const double a = std::atan2(x, z);
        const double e = std::atan2(y, std::hypot(x, z));
        if (first) {
            az = azFirst = azMin = azMax = a;
            first = false;
        } else {
            double d = a - azPrev;
            d -= 2.0 * kPi * std::nearbyint(d / (2.0 * kPi));
            az += d;
            azMin = std::min(azMin, az);
            azMax = std::max(azMax, az);
        }
        azPrev = a;
        elMin = std::min(elMin, e);
        elMax = std::max(elMax, e);
    };
    // Round the view's edge, back to the first corner.
    for (int32_t i = 0; i < kEdgeSamples; ++i) visit(u0 + (u1 - u0) * i / kEdgeSamples, v0);
    for (int32_t i = 0; i < kEdgeSamples; ++i) visit(u1, v0 + (v1 - v0) * i / kEdgeSamples);
    for (int32_t i = 0; i < kEdgeSamples; ++i) visit(u1 - (u1 - u0) * i / kEdgeSamples, v1);
    for (int32_t i = 0; i <= kEdgeSamples; ++i) visit(u0, v1 - (v1 - v0) * i / kEdgeSamples);

    PanoramaRegion r;
    r.whole = false;
    r.tilesAround = TileColumns(ring.Wp);
    const double k = double(setup.Ws) / (2.0 * kPi);  // columns (and rows) per radian
    // An edge that winds round a pole puts the pole inside the view.
    const bool aroundPole = std::abs(az - azFirst) > kPi;
    if (aroundPole || elMax > kPoleLimit || elMin < -kPoleLimit) {
        r.tileBegin = 0;
        r.tileCount = r.tilesAround;
    } else {
        const double colBase = setup.Ws >> 1;
        SetColumns(r, azMin * k + colBase - kSlack - spare, azMax * k + colBase + kSlack + spare,
                   setup.Ws);
    }
    // Rows of the view source, clamped as the draft renderer clamps them
    // (0 .. Hs), then panorama rows.
    const double rowBase = (setup.Hs - 1) >> 1;
    const double lo =
        std::clamp(std::floor(elMin * k + rowBase) - kSlack - spare, 0.0, double(setup.Hs));
    const double hi =
        std::clamp(std::floor(elMax * k + rowBase) + kSlack + spare, 0.0, double(setup.Hs));
    const int32_t sourceRow = ring.ViewSourceRow(mode);
    const int32_t rowFirst = std::clamp(int32_t(lo) + sourceRow, 0, ring.Hp - 1);
    const int32_t rowLast = std::clamp(int32_t(hi) + sourceRow, 0, ring.Hp - 1);
    r.bandBegin = rowFirst / kTileRows;
    r.bandEnd = rowLast / kTileRows + 1;
    if (r.bandBegin == 0 && r.bandEnd == TileBands(ring.Hp) && r.tileCount == r.tilesAround)
        return PanoramaRegion::Whole();
    return r;
}

PanoramaRegion ViewDemand(const ViewSetup& setup, const ViewState& shown, const ViewState& next,
                          const RingGeometry& ring, FlipMode mode) {
    constexpr int32_t kSpare = kTileCols / 2;
    const PanoramaRegion now = ViewRegion(setup, next, ring, mode, kSpare);
    const bool still = shown.pan == next.pan && shown.tilt == next.tilt && shown.fov == next.fov;
    if (now.whole || still) return now;
    return Union(now, ViewRegion(setup, Ahead(shown, next, 2.0f), ring, mode, kSpare));
}

}  // namespace hv
