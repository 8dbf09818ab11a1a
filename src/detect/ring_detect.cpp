#include "detect/ring_detect.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "detect/circle_fit.h"

namespace hv {
namespace {

constexpr double kPi = std::numbers::pi;

// Rays cast for each edge: enough for a robust fit, few enough to be cheap.
constexpr int32_t kOuterRays = 360;
constexpr int32_t kInnerRays = 360;

// The coarse search runs on a copy whose longer side is at most this.
constexpr int32_t kCoarseSide = 640;

// Per-pixel statistics over the frames, top-down, single channel.
struct FrameStats {
    cv::Mat maxImg;   // CV_32F: brightest value each pixel took
    cv::Mat meanImg;  // CV_32F
    cv::Mat stdImg;   // CV_32F: standard deviation over time
    int32_t frames = 0;
};

// Brightness of the black surround, from the frame's corners.
struct BlackLevel {
    double level = 0;      // median of the darkest corner
    double noise = 0;      // robust spread (1.4826 x MAD) there
    double threshold = 0;  // the first value counted as lit
    double faint = 0;      // still above the surround, but only just
};

bool Cancelled(const RingDetectControl& c) {
    return c.cancel != nullptr && c.cancel->load(std::memory_order_relaxed);
}

void Report(const RingDetectControl& c, double fraction, const char* stage) {
    if (c.progress) c.progress(fraction, stage);
}

double Median(std::vector<double>& v) {
    if (v.empty()) return 0;
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
    return v[mid];
}

// Bilinear sample of a CV_32F image; NaN outside the pixel centres' hull,
// so no sample ever reads outside the image.
float Sample(const cv::Mat& img, double x, double y) {
    if (!(x >= 0) || !(y >= 0) || x > img.cols - 1 || y > img.rows - 1) return NAN;
    const int x0 = std::min(static_cast<int>(x), img.cols - 2 < 0 ? 0 : img.cols - 2);
    const int y0 = std::min(static_cast<int>(y), img.rows - 2 < 0 ? 0 : img.rows - 2);
    const int x1 = std::min(x0 + 1, img.cols - 1), y1 = std::min(y0 + 1, img.rows - 1);
    const double fx = x - x0, fy = y - y0;
    const float* r0 = img.ptr<float>(y0);
    const float* r1 = img.ptr<float>(y1);
    const double top = r0[x0] + (r0[x1] - r0[x0]) * fx;
    const double bottom = r1[x0] + (r1[x1] - r1[x0]) * fx;
    return static_cast<float>(top + (bottom - top) * fy);
}

// Largest r >= 0 for which (cx, cy) + r (dx, dy) stays within `margin` of
// the image's edge pixels; negative when the start itself lies outside.
double RayExtent(double cx, double cy, double dx, double dy, int32_t w, int32_t h, double margin) {
    const double lo[2] = {margin, margin};
    const double hi[2] = {w - 1 - margin, h - 1 - margin};
    const double p[2] = {cx, cy}, d[2] = {dx, dy};
    double tMax = 1e18;
    for (int k = 0; k < 2; ++k) {
        if (p[k] < lo[k] || p[k] > hi[k]) return -1;
        if (d[k] > 1e-12) tMax = std::min(tMax, (hi[k] - p[k]) / d[k]);
        if (d[k] < -1e-12) tMax = std::min(tMax, (lo[k] - p[k]) / d[k]);
    }
    return tMax;
}

// Share of a circle's rim that lies inside the frame.
double ShareInsideFrame(double cx, double cy, double r, int32_t w, int32_t h) {
    constexpr int32_t kSteps = 720;
    int32_t inside = 0;
    for (int32_t i = 0; i < kSteps; ++i) {
        const double a = 2 * kPi * i / kSteps;
        const double x = cx + r * std::cos(a), y = cy + r * std::sin(a);
        if (x >= 0 && y >= 0 && x <= w - 1 && y <= h - 1) ++inside;
    }
    return double(inside) / kSteps;
}

// Vertex of the parabola through (-1, a), (0, b), (1, c): offset in -0.5..0.5.
double ParabolaPeak(double a, double b, double c) {
    const double den = a - 2 * b + c;
    if (!(std::fabs(den) > 1e-12)) return 0;
    return std::clamp(0.5 * (a - c) / den, -0.5, 0.5);
}

std::string CheckInput(std::span<const FrameBuffer> frames) {
    if (frames.empty()) return "no frames to look at";
    const int32_t w = frames[0].width, h = frames[0].height;
    for (const FrameBuffer& f : frames.first(std::min<size_t>(frames.size(), kDetectMaxFrames))) {
        if (f.width != w || f.height != h) {
            return "the frames differ in size (" + std::to_string(w) + "x" + std::to_string(h) +
                   " and " + std::to_string(f.width) + "x" + std::to_string(f.height) + ")";
        }
        if (!ValidFrameSize(f.width, f.height) ||
            f.pixels.size() < size_t(f.width) * size_t(f.height)) {
            return "a frame holds no usable picture";
        }
    }
    if (w < kDetectMinFrameSide || h < kDetectMinFrameSide) {
        return "the " + std::to_string(w) + "x" + std::to_string(h) +
               " picture is too small to hold a ring (each side needs " +
               std::to_string(kDetectMinFrameSide) + " pixels)";
    }
    return {};
}

// Maximum and mean brightness per pixel, top-down. False when cancelled.
bool GatherStats(std::span<const FrameBuffer> frames, const RingDetectControl& control,
                 FrameStats& s) {
    const int32_t n = static_cast<int32_t>(std::min<size_t>(frames.size(), kDetectMaxFrames));
    const int32_t w = frames[0].width, h = frames[0].height;
    cv::Mat maxU8(h, w, CV_8U, cv::Scalar(0));
    cv::Mat sum(h, w, CV_32F, cv::Scalar(0));
    cv::Mat sumSq(h, w, CV_32F, cv::Scalar(0));
    cv::Mat gray;
    for (int32_t i = 0; i < n; ++i) {
        if (Cancelled(control)) return false;
        // Rows are bottom-up: the picture's top line is the last one.
        const cv::Mat bgrx(h, w, CV_8UC4, const_cast<uint32_t*>(frames[i].data()));
        cv::cvtColor(bgrx, gray, cv::COLOR_BGRA2GRAY);
        cv::max(maxU8, gray, maxU8);
        cv::accumulate(gray, sum);
        cv::accumulateSquare(gray, sumSq);
        Report(control, 0.5 * (i + 1) / n, "reading frames");
    }
    cv::flip(maxU8, maxU8, 0);
    cv::flip(sum, sum, 0);
    cv::flip(sumSq, sumSq, 0);
    maxU8.convertTo(s.maxImg, CV_32F);
    s.meanImg = sum * (1.0 / n);
    cv::Mat var = sumSq * (1.0 / n) - s.meanImg.mul(s.meanImg);
    cv::max(var, 0.0, var);
    cv::sqrt(var, s.stdImg);
    s.frames = n;
    return true;
}

// Median and spread of each corner; the darkest corner is the surround.
BlackLevel EstimateBlack(const cv::Mat& img) {
    const int32_t side = std::max(4, std::min(img.cols, img.rows) / 20);
    BlackLevel best{1e9, 0, 0};
    for (int corner = 0; corner < 4; ++corner) {
        const int32_t x0 = (corner & 1) ? img.cols - side : 0;
        const int32_t y0 = (corner & 2) ? img.rows - side : 0;
        std::vector<double> v;
        v.reserve(size_t(side) * side);
        for (int32_t y = y0; y < y0 + side; ++y) {
            const float* row = img.ptr<float>(y);
            for (int32_t x = x0; x < x0 + side; ++x) v.push_back(row[x]);
        }
        const double med = Median(v);
        for (double& d : v) d = std::fabs(d - med);
        const double mad = Median(v);
        if (med < best.level) best = {med, 1.4826 * mad, 0};
    }
    best.noise = std::max(best.noise, 0.5);
    best.threshold = best.level + std::max(8.0, 6.0 * best.noise);
    best.faint = best.level + std::max(3.0, 3.0 * best.noise);
    return best;
}

// Coarse circle from the largest lit region's outline (edges of the frame
// left out); a Hough circle when that fails. Full-frame pixels.
CircleFit CoarseCircle(const cv::Mat& maxImg, const BlackLevel& black) {
    const int32_t factor =
        std::max(1, (std::max(maxImg.cols, maxImg.rows) + kCoarseSide - 1) / kCoarseSide);
    cv::Mat small;
    if (factor > 1) {
        cv::resize(maxImg, small, cv::Size(maxImg.cols / factor, maxImg.rows / factor), 0, 0,
                   cv::INTER_AREA);
    } else {
        small = maxImg;
    }
    auto toFull = [factor](double v) { return v * factor + 0.5 * (factor - 1); };
    cv::Mat mask;
    cv::threshold(small, mask, black.threshold, 255, cv::THRESH_BINARY);
    mask.convertTo(mask, CV_8U);
    cv::morphologyEx(mask, mask, cv::MORPH_OPEN,
                     cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3)));
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S);
    int best = 0;
    int bestArea = 0;
    for (int i = 1; i < count; ++i) {
        const int area = stats.at<int>(i, cv::CC_STAT_AREA);
        if (area > bestArea) {
            bestArea = area;
            best = i;
        }
    }
    CircleFit fit;
    const double minArea = 0.01 * small.cols * small.rows;
    if (best > 0 && bestArea >= minArea) {
        cv::Mat region = labels == best;
        std::vector<std::vector<cv::Point>> contours;
        cv::findContours(region, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
        std::vector<EdgePoint> pts;
        for (const auto& c : contours) {
            for (const cv::Point& p : c) {
                if (p.x <= 1 || p.y <= 1 || p.x >= small.cols - 2 || p.y >= small.rows - 2)
                    continue;
                pts.push_back({double(p.x), double(p.y)});
            }
        }
        if (pts.size() >= 20) fit = FitCircleRobust(pts, 1.5);
        if (fit.ok && fit.inliers < 0.5 * double(pts.size())) fit.ok = false;
    }
    if (!fit.ok) {
        // The Hough seed, on a copy small enough to stay cheap; a picture
        // that is edges everywhere (noise, dense texture) holds no single
        // rim to find and is not searched at all.
        const int32_t houghFactor = std::max(1, (std::max(small.cols, small.rows) + 319) / 320);
        cv::Mat u8;
        cv::resize(small, u8, cv::Size(small.cols / houghFactor, small.rows / houghFactor), 0, 0,
                   cv::INTER_AREA);
        u8.convertTo(u8, CV_8U);
        cv::GaussianBlur(u8, u8, cv::Size(5, 5), 1.5);
        cv::Mat edges;
        cv::Canny(u8, edges, 50, 100);
        if (cv::countNonZero(edges) > 0.08 * edges.total()) return CircleFit{};
        std::vector<cv::Vec3f> circles;
        const int minSide = std::min(u8.cols, u8.rows);
        cv::HoughCircles(u8, circles, cv::HOUGH_GRADIENT, 1, minSide, 100, 40, minSide / 10,
                         std::max(u8.cols, u8.rows));
        if (circles.empty()) return CircleFit{};
        fit.ok = true;
        fit.cx = circles[0][0] * houghFactor + 0.5 * (houghFactor - 1);
        fit.cy = circles[0][1] * houghFactor + 0.5 * (houghFactor - 1);
        fit.r = circles[0][2] * houghFactor;
    }
    fit.cx = toFull(fit.cx);
    fit.cy = toFull(fit.cy);
    fit.r *= factor;
    return fit;
}

struct EdgeFit {
    CircleFit circle;
    int32_t attempted = 0;  // rays whose edge region lies inside the frame
    double contrast = 0;    // median step across the edge, in noise units
    // Inner edge: the disc inside is calm, the scene outside busy.
    bool quietInside = false;
};

// Outer edge: rays from the centre, walked inward from beyond the rim to the
// first lit sample, then moved to the steepest fall-off within a few pixels
// (under vignetting the strongest gradient of the whole ray lies well inside
// the rim, so the search stays near the first crossing).
EdgeFit OuterEdge(const FrameStats& s, const BlackLevel& black, const BlackLevel& meanBlack,
                  double cx, double cy, double r0) {
    const double noise = meanBlack.noise;
    EdgeFit out;
    const int32_t w = s.maxImg.cols, h = s.maxImg.rows;
    const double window = 4 + 0.004 * r0;
    std::vector<EdgePoint> pts;
    std::vector<double> steps;
    std::vector<double> fallOff;
    for (int32_t k = 0; k < kOuterRays; ++k) {
        const double a = 2 * kPi * (k + 0.5) / kOuterRays;
        const double dx = std::cos(a), dy = std::sin(a);
        const double extent = RayExtent(cx, cy, dx, dy, w, h, 1.0);
        // The rim and a little black beyond it must lie inside the frame.
        if (extent < r0 + window + 2) continue;
        ++out.attempted;
        const double start = std::min(1.12 * r0 + window + 4, extent);
        const double stop = 0.7 * r0;
        if (!(Sample(s.maxImg, cx + start * dx, cy + start * dy) <= black.threshold)) continue;
        double r1 = -1;
        for (double r = start; r >= stop; r -= 0.5) {
            if (Sample(s.maxImg, cx + r * dx, cy + r * dy) > black.threshold) {
                r1 = r;
                break;
            }
        }
        if (r1 < 0) continue;
        // The lit threshold guards against noise and so lies well up a dim
        // rim's slope: the mean picture, quieter, shows how far out the rim
        // still stands above the surround.
        double rOut = r1;
        while (rOut + 0.5 < std::min(extent - 1, r1 + 2 * window) &&
               Sample(s.meanImg, cx + (rOut + 0.5) * dx, cy + (rOut + 0.5) * dy) >
                   meanBlack.faint) {
            rOut += 0.5;
        }
        // Fall-off (inside minus outside) of the mean picture, 0.25 px steps.
        const double lo = std::max(stop, r1 - window), hi = std::min(extent - 1, rOut + 3);
        std::vector<double>& g = fallOff;
        g.clear();
        for (double r = lo; r <= hi; r += 0.25) {
            const double in = Sample(s.meanImg, cx + (r - 0.75) * dx, cy + (r - 0.75) * dy);
            const double outV = Sample(s.meanImg, cx + (r + 0.75) * dx, cy + (r + 0.75) * dy);
            g.push_back(std::isnan(in) || std::isnan(outV) ? -1e30 : in - outV);
        }
        const auto top = std::max_element(g.begin(), g.end());
        if (top == g.end() || *top <= 0) continue;
        const size_t i = static_cast<size_t>(top - g.begin());
        double offset = 0;
        if (i > 0 && i + 1 < g.size() && g[i - 1] > -1e29 && g[i + 1] > -1e29) {
            offset = ParabolaPeak(g[i - 1], g[i], g[i + 1]);
        }
        const double rEdge = lo + 0.25 * (double(i) + offset);
        pts.push_back({cx + rEdge * dx, cy + rEdge * dy});
        const double inside = Sample(s.meanImg, cx + (rEdge - 3) * dx, cy + (rEdge - 3) * dy);
        const double outside = Sample(s.meanImg, cx + (rEdge + 3) * dx, cy + (rEdge + 3) * dy);
        if (!std::isnan(inside) && !std::isnan(outside)) steps.push_back(inside - outside);
    }
    out.circle = FitCircleRobust(pts, 1.0);
    out.contrast = Median(steps) / std::max(noise, 0.5);
    return out;
}

// Inner edge, in the polar picture around the ring's centre. Scene edges
// fall at random radii and cancel in the median over all angles of the
// radial gradient's size; a rim at one radius all round does not. Of such
// rims the inner one has a quiet inside (the lens's disc: the same all round
// and still over time) and a busy outside (the scene); a horizon has the
// scene on both sides. The rim found is refined per ray and fitted.
EdgeFit InnerEdge(const FrameStats& s, double cx, double cy, double outer) {
    EdgeFit out;
    const double step = 0.5;
    const double rLo = std::max(3.0, 0.03 * outer);
    const double rHi = 0.85 * outer;
    const int32_t nr = static_cast<int32_t>((rHi - rLo) / step) + 1;
    if (nr < 16) return out;
    // Sample column j holds radius rLo + (j - 2) step; edge column i (radius
    // rLo + i step) is |P(r + 1) - P(r - 1)| of the mean plus the same of the
    // temporal spread: in a moving scene the mean blurs toward one grey,
    // while the spread still jumps where the still disc ends.
    cv::Mat polar(kInnerRays, nr + 4, CV_32F);
    cv::Mat change(kInnerRays, nr + 4, CV_32F);
    cv::Mat grad(kInnerRays, nr, CV_32F);
    for (int32_t k = 0; k < kInnerRays; ++k) {
        const double a = 2 * kPi * (k + 0.5) / kInnerRays;
        const double dx = std::cos(a), dy = std::sin(a);
        float* p = polar.ptr<float>(k);
        float* t = change.ptr<float>(k);
        for (int32_t j = 0; j < nr + 4; ++j) {
            const double r = rLo + (j - 2) * step;
            p[j] = Sample(s.meanImg, cx + r * dx, cy + r * dy);
            t[j] = Sample(s.stdImg, cx + r * dx, cy + r * dy);
        }
        float* g = grad.ptr<float>(k);
        for (int32_t i = 0; i < nr; ++i) {
            g[i] = std::fabs(p[i + 4] - p[i]) + std::fabs(t[i + 4] - t[i]);
        }
    }
    // Per radius: the median gradient size over the angles, and how busy
    // the picture is there (spread over the angles plus change over time).
    std::vector<double> size(static_cast<size_t>(nr), 0.0), busy(static_cast<size_t>(nr), 0.0);
    std::vector<double> col, col2;
    for (int32_t i = 0; i < nr; ++i) {
        col.clear();
        col2.clear();
        for (int32_t k = 0; k < kInnerRays; ++k) {
            const float g = grad.at<float>(k, i);
            const float p = polar.at<float>(k, i + 2);
            if (std::isnan(g) || std::isnan(p)) continue;
            col.push_back(std::fabs(g));
            col2.push_back(p);
        }
        if (col.size() < size_t{kInnerRays} / 4) continue;
        size[size_t(i)] = Median(col);
        const double mid = Median(col2);
        for (double& v : col2) v = std::fabs(v - mid);
        col.clear();
        for (int32_t k = 0; k < kInnerRays; ++k) {
            const float t = change.at<float>(k, i + 2);
            if (!std::isnan(t)) col.push_back(t);
        }
        busy[size_t(i)] = Median(col2) + Median(col);
    }
    double peak = 0;
    for (double v : size) peak = std::max(peak, v);
    std::vector<double> sorted = size;
    const double floor = 2.0 * Median(sorted) + 1.0;
    if (peak < floor) return out;

    const int32_t gap = static_cast<int32_t>(2.0 / step);
    const int32_t band = static_cast<int32_t>(std::max(4.0, 0.02 * outer) / step);
    auto bandBusy = [&](int32_t from, int32_t to) {
        std::vector<double> v;
        for (int32_t i = std::max(0, from); i <= std::min(nr - 1, to); ++i)
            v.push_back(busy[size_t(i)]);
        return v.empty() ? -1.0 : Median(v);
    };
    // The calmest radius: sensor noise alone, measured where nothing moves.
    double calm = 1e30;
    for (double b : busy) calm = std::min(calm, b);
    int32_t pick = -1, fallback = -1;
    for (int32_t i = 1; i + 1 < nr; ++i) {
        const double m = size[size_t(i)];
        if (m < floor || m < size[size_t(i) - 1] || m < size[size_t(i) + 1]) {
            continue;
        }
        if (fallback < 0 && m >= 0.35 * peak) fallback = i;
        const double in = bandBusy(i - gap - band, i - gap);
        const double outside = bandBusy(i + gap, i + gap + band);
        if (in >= 0 && outside >= 0 && in - calm <= 0.5 * (outside - calm)) {
            pick = i;
            out.quietInside = true;
            break;
        }
    }
    // No rim with a quiet inside: the strongest inner rim is a guess only.
    if (pick < 0) pick = fallback;
    if (pick < 0) return out;
    const int32_t reach = static_cast<int32_t>(3.0 / step);
    std::vector<EdgePoint> pts;
    for (int32_t k = 0; k < kInnerRays; ++k) {
        const float* g = grad.ptr<float>(k);
        int32_t best = -1;
        double bestV = 0;
        for (int32_t i = std::max(1, pick - reach); i <= std::min(nr - 2, pick + reach); ++i) {
            const double v = std::fabs(g[i]);
            if (!std::isnan(v) && v > bestV) {
                bestV = v;
                best = i;
            }
        }
        if (best < 0 || std::isnan(g[best - 1]) || std::isnan(g[best + 1])) continue;
        ++out.attempted;
        // A ray whose step is much weaker than the typical one has no rim here.
        if (bestV < 0.3 * size[size_t(pick)]) continue;
        const double r = rLo + step * (best + ParabolaPeak(std::fabs(g[best - 1]), bestV,
                                                           std::fabs(g[best + 1])));
        const double a = 2 * kPi * (k + 0.5) / kInnerRays;
        pts.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    out.circle = FitCircleRobust(pts, 1.0);
    return out;
}

// A circle that could be a ring of this frame: a few pixels at least, no
// larger than the frame's diagonal and centred near it. Anything else (a
// near-straight edge fits a huge circle) is no ring and would only make the
// later stages sample far too much.
bool Plausible(const CircleFit& c, int32_t w, int32_t h) {
    const double diag = std::hypot(double(w), double(h));
    return c.r > 2 && c.r <= diag && std::fabs(c.cx - 0.5 * w) <= diag &&
           std::fabs(c.cy - 0.5 * h) <= diag;
}

}  // namespace

const char* RingDetectStatusName(RingDetectStatus s) {
    switch (s) {
        case RingDetectStatus::Found:
            return "found";
        case RingDetectStatus::LowConfidence:
            return "low confidence";
        case RingDetectStatus::Cancelled:
            return "cancelled";
        case RingDetectStatus::Error:
            return "error";
    }
    return "error";
}

RingDetection DetectRing(std::span<const FrameBuffer> frames, const RingDetectControl& control) {
    RingDetection res;
    res.message = CheckInput(frames);
    if (!res.message.empty()) {
        res.status = RingDetectStatus::Error;
        return res;
    }
    res.frameW = frames[0].width;
    res.frameH = frames[0].height;
    auto cancelled = [&res]() {
        res = RingDetection{RingDetectStatus::Cancelled,
                            false,
                            0,
                            0,
                            0,
                            0,
                            res.frameW,
                            res.frameH,
                            {},
                            "cancelled"};
        return res;
    };
    auto low = [&res](std::string why) {
        res.status = RingDetectStatus::LowConfidence;
        res.message = std::move(why);
        return res;
    };

    FrameStats stats;
    try {
        if (!GatherStats(frames, control, stats)) return cancelled();
        const BlackLevel black = EstimateBlack(stats.maxImg);
        const BlackLevel meanBlack = EstimateBlack(stats.meanImg);
        if (Cancelled(control)) return cancelled();
        Report(control, 0.6, "coarse circle");
        const CircleFit coarse = CoarseCircle(stats.maxImg, black);
        if (!coarse.ok || !Plausible(coarse, res.frameW, res.frameH))
            return low("no ring: nothing circular stands out from a black surround");
        res.hasGuess = true;
        res.cx = coarse.cx;
        res.cy = coarse.cy;
        res.outerRadius = coarse.r;

        // Two passes: the second casts its rays from the refined centre, so
        // they cross the rim square on.
        double cx = coarse.cx, cy = coarse.cy, r = coarse.r;
        EdgeFit outer;
        for (int pass = 0; pass < 2; ++pass) {
            if (Cancelled(control)) return cancelled();
            Report(control, 0.7 + 0.1 * pass, "outer edge");
            EdgeFit next = OuterEdge(stats, black, meanBlack, cx, cy, r);
            if (!next.circle.ok || !Plausible(next.circle, res.frameW, res.frameH)) break;
            outer = next;
            cx = outer.circle.cx;
            cy = outer.circle.cy;
            r = outer.circle.r;
        }
        RingConfidence& c = res.confidence;
        if (!outer.circle.ok) {
            c.outerInsideFrame = ShareInsideFrame(cx, cy, r, res.frameW, res.frameH);
            return low("no ring: the outer edge could not be traced");
        }
        res.cx = cx;
        res.cy = cy;
        res.outerRadius = r;
        c.outerAgreement = outer.attempted > 0 ? double(outer.circle.inliers) / outer.attempted : 0;
        c.residualPx = outer.circle.rmsPx;
        c.edgeContrast = outer.contrast;
        c.outerInsideFrame = ShareInsideFrame(cx, cy, r, res.frameW, res.frameH);

        if (Cancelled(control)) return cancelled();
        Report(control, 0.9, "inner edge");
        const EdgeFit inner = InnerEdge(stats, cx, cy, r);
        if (inner.circle.ok && inner.circle.r < r) {
            res.innerRadius = inner.circle.r;
            c.innerAgreement =
                inner.attempted > 0 ? double(inner.circle.inliers) / inner.attempted : 0;
            c.concentricityPx = std::hypot(inner.circle.cx - cx, inner.circle.cy - cy);
        } else {
            c.concentricityPx = r;
        }

        const double minSide = std::min(res.frameW, res.frameH);
        const double concLimit = std::max(2.5, 0.01 * r);
        auto unit = [](double v) { return std::clamp(v, 0.0, 1.0); };
        c.score = unit(c.outerAgreement) * std::sqrt(unit(c.innerAgreement)) *
                  unit(c.outerInsideFrame / 0.5) * std::exp(-c.residualPx / 2.0) *
                  std::exp(-c.concentricityPx / (4 * concLimit)) * unit(c.edgeContrast / 10.0);
        c.good = outer.attempted >= kOuterRays / 6 && c.outerAgreement >= 0.7 &&
                 c.innerAgreement >= 0.5 && c.residualPx <= 1.0 + 0.002 * r &&
                 c.concentricityPx <= concLimit && c.outerInsideFrame >= 0.35 &&
                 c.edgeContrast >= 5 && r >= 0.1 * minSide && inner.quietInside;
        Report(control, 1.0, "done");
        if (!c.good && c.outerAgreement >= 0.7 && !inner.quietInside) {
            return low("the inner circle is not certain: check it by eye");
        }
        if (!c.good) return low("the ring found is not certain: check it by eye");
        res.status = RingDetectStatus::Found;
        res.message.clear();
        return res;
    } catch (const cv::Exception& e) {
        res = RingDetection{};
        res.status = RingDetectStatus::Error;
        res.message = std::string("detection failed: ") + e.what();
        return res;
    } catch (const std::bad_alloc&) {
        res = RingDetection{};
        res.status = RingDetectStatus::Error;
        res.message = "detection failed: out of memory";
        return res;
    }
}

}  // namespace hv
