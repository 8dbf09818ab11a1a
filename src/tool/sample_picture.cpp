#include "tool/sample_picture.h"

#include <cmath>
#include <numbers>

#include "config/doughnut_geometry.h"
#include "unwrap/ring_geometry.h"

namespace hvtool {
namespace {

uint32_t Mix(uint32_t a, uint32_t b, double t) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const double ca = (a >> shift) & 0xff, cb = (b >> shift) & 0xff;
        out |= uint32_t(std::lround(ca + (cb - ca) * t)) << shift;
    }
    return out;
}

// Angular distance in degrees, 0..180.
double AngleApart(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return d > 180.0 ? 360.0 - d : d;
}

uint32_t RingColour(double azimuth, double t) {
    if (AngleApart(azimuth, kSampleNorthDeg) < kSampleNorthWidthDeg / 2)
        return (int(t * 10) % 2 == 0) ? 0xe02020 : 0xf0f0f0;
    for (const SampleLandmark& m : kSampleLandmarks) {
        if (AngleApart(azimuth, m.azimuthDeg) < m.widthDeg / 2 && t < m.height) return m.colour;
    }
    if (std::fabs(t - kSampleHorizon) < 0.01) return 0xffffff;
    if (t < kSampleHorizon) {
        // Ground with a darker line every 30 degrees.
        const bool line = AngleApart(std::fmod(azimuth, 30.0), 0.0) < 0.6;
        return line ? 0x3a2a18 : Mix(0x5a4a30, 0x7a8a40, t / kSampleHorizon);
    }
    return Mix(0xa8d0f0, 0x2050a0, (t - kSampleHorizon) / (1 - kSampleHorizon));
}

}  // namespace

bool DrawSamplePicture(int32_t width, int32_t height, hv::FrameBuffer& fb, std::string* error) {
    const hv::RingGeometryResult g = hv::BuildRingGeometry(hv::kStartupGeometry, width, height);
    if (!g.ok) {
        if (error) *error = g.error;
        return false;
    }
    const hv::RingGeometry& ring = g.ring;
    const double inner = ring.inner, outer = ring.D / 2.0;
    fb.Allocate(width, height);
    for (int32_t y = 0; y < height; ++y) {
        // The unwrap's top-down row Y reads picture row Y - 1 (row Y = 0 is
        // the black spare row), so picture row y sits at Y = y + 1.
        const double dy = (y + 1) - ring.cy;
        uint32_t* row = fb.data() + size_t(height - 1 - y) * size_t(width);
        for (int32_t x = 0; x < width; ++x) {
            const double dx = x - ring.cx;
            const double r = std::hypot(dx, dy);
            uint32_t colour = 0x000000;
            if (r < inner) {
                colour = 0x202020;
            } else if (r <= outer) {
                double azimuth = std::atan2(dx, dy) * 180.0 / std::numbers::pi;
                if (azimuth < 0) azimuth += 360.0;
                colour = RingColour(azimuth, (r - inner) / (outer - inner));
            }
            row[x] = colour;
        }
    }
    return true;
}

}  // namespace hvtool
