#include "detect/circle_fit.h"

#include <algorithm>
#include <cmath>

namespace hv {
namespace {

// Solves the 3 x 3 system a x = b by Cramer's rule; false when singular.
bool Solve3(const double a[3][3], const double b[3], double x[3]) {
    auto det = [](const double m[3][3]) {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
               m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    const double d = det(a);
    if (!std::isfinite(d) || std::fabs(d) < 1e-12) return false;
    for (int c = 0; c < 3; ++c) {
        double m[3][3];
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) m[i][j] = j == c ? b[i] : a[i][j];
        }
        x[c] = det(m) / d;
    }
    return true;
}

// Algebraic (Kasa) fit of the points selected by `use`, around their mean
// so that large coordinates keep their precision.
bool AlgebraicFit(const std::vector<EdgePoint>& p, const std::vector<char>& use, CircleFit& c) {
    double mx = 0, my = 0;
    int64_t n = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        if (!use[i]) continue;
        mx += p[i].x;
        my += p[i].y;
        ++n;
    }
    if (n < 5) return false;
    mx /= double(n);
    my /= double(n);
    double a[3][3] = {}, b[3] = {};
    for (size_t i = 0; i < p.size(); ++i) {
        if (!use[i]) continue;
        const double x = p[i].x - mx, y = p[i].y - my, z = x * x + y * y;
        const double row[3] = {x, y, 1};
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 3; ++k) a[r][k] += row[r] * row[k];
            b[r] += row[r] * z;
        }
    }
    double s[3];
    if (!Solve3(a, b, s)) return false;
    const double cx = s[0] / 2, cy = s[1] / 2, r2 = s[2] + cx * cx + cy * cy;
    if (!(r2 > 0)) return false;
    c.cx = cx + mx;
    c.cy = cy + my;
    c.r = std::sqrt(r2);
    return std::isfinite(c.cx) && std::isfinite(c.cy) && std::isfinite(c.r);
}

// Gauss-Newton on the geometric distance, a few steps from the algebraic
// start: the algebraic fit is biased toward smaller circles on short arcs.
void GeometricRefine(const std::vector<EdgePoint>& p, const std::vector<char>& use, CircleFit& c) {
    for (int iter = 0; iter < 6; ++iter) {
        double a[3][3] = {}, b[3] = {};
        for (size_t i = 0; i < p.size(); ++i) {
            if (!use[i]) continue;
            const double dx = p[i].x - c.cx, dy = p[i].y - c.cy;
            const double d = std::hypot(dx, dy);
            if (d < 1e-9) continue;
            const double res = d - c.r;
            const double j[3] = {-dx / d, -dy / d, -1};
            for (int r = 0; r < 3; ++r) {
                for (int k = 0; k < 3; ++k) a[r][k] += j[r] * j[k];
                b[r] -= j[r] * res;
            }
        }
        double s[3];
        if (!Solve3(a, b, s)) return;
        c.cx += s[0];
        c.cy += s[1];
        c.r += s[2];
        if (std::fabs(s[0]) + std::fabs(s[1]) + std::fabs(s[2]) < 1e-6) return;
    }
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
    return v[mid];
}

}  // namespace

double CircleDistance(const CircleFit& c, double x, double y) {
    return std::hypot(x - c.cx, y - c.cy) - c.r;
}

CircleFit FitCircleRobust(const std::vector<EdgePoint>& points, double minBandPx, int32_t rounds) {
    CircleFit c;
    std::vector<char> use(points.size(), 1);
    for (int32_t round = 0; round < std::max(1, rounds); ++round) {
        CircleFit next;
        if (!AlgebraicFit(points, use, next)) return CircleFit{};
        GeometricRefine(points, use, next);
        if (!(next.r > 0) || !std::isfinite(next.cx) || !std::isfinite(next.cy)) return CircleFit{};
        std::vector<double> dist(points.size());
        std::vector<double> absKept;
        for (size_t i = 0; i < points.size(); ++i) {
            dist[i] = std::fabs(CircleDistance(next, points[i].x, points[i].y));
            if (use[i]) absKept.push_back(dist[i]);
        }
        const double band = std::max(minBandPx, 3.0 * 1.4826 * Median(absKept));
        bool changed = false;
        int32_t kept = 0;
        for (size_t i = 0; i < points.size(); ++i) {
            const char u = dist[i] <= band ? 1 : 0;
            changed = changed || u != use[i];
            use[i] = u;
            kept += u;
        }
        c = next;
        c.ok = true;
        if (kept < 5) return CircleFit{};
        if (!changed) break;
    }
    // The last circle against the last selection.
    double sum = 0;
    int32_t n = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        if (!use[i]) continue;
        const double d = CircleDistance(c, points[i].x, points[i].y);
        sum += d * d;
        ++n;
    }
    c.inliers = n;
    c.rmsPx = n > 0 ? std::sqrt(sum / n) : 0;
    return c;
}

}  // namespace hv
