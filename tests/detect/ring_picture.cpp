#include "ring_picture.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace hvtest {
namespace {

constexpr double kPi = std::numbers::pi;

// Deterministic value noise in 0..1 for integer lattice points.
double Hash(int64_t a, int64_t b, uint32_t seed) {
    uint64_t h = static_cast<uint64_t>(a) * 0x9E3779B97F4A7C15ull ^
                 (static_cast<uint64_t>(b) + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full ^
                 seed * 0x165667B19E3779F9ull;
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return double(h & 0xFFFFFF) / double(0xFFFFFF);
}

// The scene at azimuth `az` (radians) and elevation `e` (0 inner .. 1
// outer): textured ground below the horizon, a brighter sky with clouds
// above it. Grey level 0..255.
double Scene(double az, double e, double horizon, uint32_t seed) {
    const double u = az / (2 * kPi) * 96;  // 96 ground blocks around the turn
    if (e < horizon) {
        const double rows = e / horizon * 6;
        const double t =
            Hash(static_cast<int64_t>(std::floor(u)), static_cast<int64_t>(rows), seed);
        const double fine =
            Hash(static_cast<int64_t>(std::floor(u * 7)), static_cast<int64_t>(rows * 5), seed + 7);
        return 55 + 55 * t + 12 * fine;
    }
    const double cloud = Hash(static_cast<int64_t>(std::floor(u / 3)),
                              static_cast<int64_t>((e - horizon) * 4), seed + 3);
    return 175 + 35 * (1 - e) + (cloud > 0.8 ? 25 : 0);
}

// Separable Gaussian blur of one channel plane, edges clamped.
void Blur(std::vector<float>& img, int32_t w, int32_t h, double sigma) {
    if (sigma <= 0) return;
    const int32_t rad = std::max(1, static_cast<int32_t>(std::ceil(3 * sigma)));
    std::vector<float> k(static_cast<size_t>(2 * rad + 1));
    double sum = 0;
    for (int32_t i = -rad; i <= rad; ++i) {
        k[size_t(i + rad)] = static_cast<float>(std::exp(-0.5 * i * i / (sigma * sigma)));
        sum += k[size_t(i + rad)];
    }
    for (float& v : k) v = static_cast<float>(v / sum);
    std::vector<float> tmp(img.size());
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            float acc = 0;
            for (int32_t i = -rad; i <= rad; ++i) {
                const int32_t xx = std::clamp(x + i, 0, w - 1);
                acc += k[size_t(i + rad)] * img[size_t(y) * w + xx];
            }
            tmp[size_t(y) * w + x] = acc;
        }
    }
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            float acc = 0;
            for (int32_t i = -rad; i <= rad; ++i) {
                const int32_t yy = std::clamp(y + i, 0, h - 1);
                acc += k[size_t(i + rad)] * tmp[size_t(yy) * w + x];
            }
            img[size_t(y) * w + x] = acc;
        }
    }
}

}  // namespace

hv::FrameBuffer RenderRingFrame(const RingPicture& p, int32_t index) {
    const int32_t w = p.width, h = p.height;
    const size_t n = size_t(w) * size_t(h);
    // Brightness is rendered, blurred and made noisy as one plane; the
    // colour tint of each pixel's region is applied last.
    std::vector<float> grey(n);
    std::vector<uint8_t> region(n);               // 0 surround or disc, 1 ground, 2 sky
    const double turn = index * 5.0 * kPi / 180;  // the scene turns 5 degrees a frame
    const double depth = std::max(1.0, p.outer - p.inner);
    const double disc = p.discLevel >= 0 ? p.discLevel : p.brightDisc ? 215 : 22;
    const double black = 3;
    // 4 x 4 samples per pixel near the rims and the horizon, so each edge
    // lies where its circle is to a small fraction of a pixel.
    constexpr int32_t kSub = 4;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const double dx = x - p.cx, dy = y - p.cy;
            const double d = std::sqrt(dx * dx + dy * dy);
            double acc = 0;
            const bool nearRim = std::fabs(d - p.outer) < 1.5 || std::fabs(d - p.inner) < 1.5 ||
                                 std::fabs(d - p.HorizonRadius()) < 1.5;
            const int32_t sub = (nearRim && !p.plain) ? kSub : 1;
            for (int32_t sy = 0; sy < sub; ++sy) {
                for (int32_t sx = 0; sx < sub; ++sx) {
                    const double ox = sub == 1 ? 0 : (sx + 0.5) / sub - 0.5;
                    const double oy = sub == 1 ? 0 : (sy + 0.5) / sub - 0.5;
                    const double ddx = dx + ox, ddy = dy + oy;
                    const double dd = sub == 1 ? d : std::sqrt(ddx * ddx + ddy * ddy);
                    double v = black;
                    if (p.plain) {
                        // An ordinary picture: the scene spread over the frame.
                        const double e = 1.0 - (y + oy) / h;
                        v = Scene((x + ox) / w * 2 * kPi + turn, e, p.horizon, p.seed);
                        // A lens's own fall-off, from the frame's centre.
                        const double fx = (x - 0.5 * w) / (0.5 * w), fy = (y - 0.5 * h) / (0.5 * h);
                        v *= std::clamp(1 - p.vignette * 0.5 * (fx * fx + fy * fy), 0.0, 1.0);
                    } else if (dd <= p.inner) {
                        v = disc;
                    } else if (dd <= p.outer) {
                        const double e = (dd - p.inner) / depth;
                        v = Scene(std::atan2(ddx, ddy) + turn, e, p.horizon, p.seed);
                        const double fall = std::clamp((e - 0.5) / 0.5, 0.0, 1.0);
                        v *= 1 - p.vignette * fall * fall;
                    }
                    acc += v;
                }
            }
            const size_t i = size_t(y) * w + x;
            grey[i] = float(acc / (sub * sub));
            if (p.plain) {
                region[i] = 1.0 - double(y) / h < p.horizon ? 1 : 2;
            } else if (d > p.inner && d <= p.outer) {
                region[i] = (d - p.inner) / depth < p.horizon ? 1 : 2;
            }
        }
    }
    Blur(grey, w, h, p.blur);
    if (p.noise > 0) {
        std::mt19937 rng(p.seed * 7919u + static_cast<uint32_t>(index));
        std::normal_distribution<float> gauss(0.0f, static_cast<float>(p.noise));
        for (float& v : grey) v += gauss(rng);
    }
    // Blue, green, red factors per region.
    constexpr float kTint[3][3] = {{1, 1, 1}, {0.8f, 1.05f, 0.9f}, {1.15f, 0.95f, 0.85f}};
    hv::FrameBuffer fb;
    fb.Allocate(w, h);
    for (int32_t y = 0; y < h; ++y) {
        uint32_t* row = fb.data() + size_t(h - 1 - y) * size_t(w);  // bottom-up
        for (int32_t x = 0; x < w; ++x) {
            uint32_t px = 0;
            const size_t i = size_t(y) * w + x;
            for (int c = 0; c < 3; ++c) {
                const float v = grey[i] * kTint[region[i]][c];
                px |= static_cast<uint32_t>(std::lround(std::clamp(v, 0.0f, 255.0f))) << (8 * c);
            }
            row[x] = px;
        }
    }
    return fb;
}

std::vector<hv::FrameBuffer> RenderRingFrames(const RingPicture& p, int32_t count) {
    std::vector<hv::FrameBuffer> out;
    out.reserve(static_cast<size_t>(std::max(0, count)));
    for (int32_t i = 0; i < count; ++i) out.push_back(RenderRingFrame(p, i));
    return out;
}

}  // namespace hvtest
