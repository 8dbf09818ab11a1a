// Ring detection on synthetic pictures with a known ring: accuracy per case,
// pictures without a ring, bad input, the configuration values and the
// straightness of the unwrapped horizon.
#include "detect/ring_detect.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "detect/ring_config.h"
#include "ring_picture.h"
#include "unwrap/ring_geometry.h"
#include "unwrap/unwrap_table.h"

namespace {

using hvtest::RenderRingFrames;
using hvtest::RingPicture;

struct Case {
    const char* name;
    RingPicture pic;
    int32_t frames;
    bool heavy;  // vignetting, noise, blur: the looser targets
};

RingPicture Pic(int32_t w, int32_t h, double cx, double cy, double outer, double inner,
                bool bright = false, double vignette = 0, double noise = 0, double blur = 0) {
    RingPicture p;
    p.width = w;
    p.height = h;
    p.cx = cx;
    p.cy = cy;
    p.outer = outer;
    p.inner = inner;
    p.brightDisc = bright;
    p.vignette = vignette;
    p.noise = noise;
    p.blur = blur;
    return p;
}

RingPicture DiscLike(RingPicture p, double level) {
    p.discLevel = level;
    return p;
}

RingPicture Horizon(RingPicture p, double horizon) {
    p.horizon = horizon;
    return p;
}

// Light blur and a little noise even on the "clean" rings: a real sensor's
// rim is never a hard step.
const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"720p centred", Pic(1280, 720, 640.3, 358.7, 330, 75, false, 0, 1, 0.7), 4, false},
        {"720p off-centre, bright disc", Pic(1280, 720, 600.2, 380.6, 300, 62, true, 0, 1, 0.7), 4,
         false},
        {"1080p centred, cut top and bottom",
         Pic(1920, 1080, 960.4, 539.8, 575, 125, false, 0, 1, 1), 4, false},
        {"1080p off-centre", Pic(1920, 1080, 1010.7, 520.3, 480, 110, false, 0, 1, 1), 4, false},
        {"1440x1440 centred, bright disc", Pic(1440, 1440, 720.2, 719.6, 690, 150, true, 0, 1, 1),
         3, false},
        // One picture: a still, and the only 4K case (the rest is in bench_detect).
        {"2160p off-centre, a still picture",
         Pic(3840, 2160, 1900.6, 1100.2, 1000, 210, false, 0, 1, 1.2), 1, false},
        {"1080p heavy", Pic(1920, 1080, 950.6, 545.2, 520, 115, false, 0.7, 8, 1.5), 4, true},
        {"720p heavy off-centre, bright disc",
         Pic(1280, 720, 690.4, 340.8, 310, 70, true, 0.75, 10, 2), 4, true},
        {"1440x1440 heavy, cut on the left",
         Pic(1440, 1440, 660.3, 735.7, 700, 160, false, 0.6, 8, 1.5), 3, true},
        {"1080p disc as bright as the ground",
         DiscLike(Pic(1920, 1080, 948.2, 551.4, 500, 140, false, 0, 2, 1), 88), 4, false},
        {"1080p heavy, ground up to the rim",
         Horizon(Pic(1920, 1080, 971.5, 530.5, 530, 100, false, 0.7, 6, 1.5), 0.85), 4, true},
    };
    return cases;
}

hv::RingDetection Detect(const RingPicture& p, int32_t frames) {
    const std::vector<hv::FrameBuffer> fb = RenderRingFrames(p, frames);
    return hv::DetectRing(fb);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// Instrumented, the large pictures take minutes: the 720p cases still take
// every path of the detector (a dark and a bright disc, heavy noise).
constexpr int32_t kLargestCaseWidth = 1280;
#else
constexpr int32_t kLargestCaseWidth = 1 << 30;
#endif

// The table of errors goes to stdout: it documents the detector's accuracy.
TEST(RingDetectAccuracy, FindsEveryGeneratorRingWithinItsTarget) {
    std::printf("%-40s %8s %8s %8s %8s %6s %6s  %s\n", "case", "centre", "outer", "inner",
                "cfg-ctr", "score", "agree", "status");
    for (const Case& c : Cases()) {
        if (c.pic.width > kLargestCaseWidth) continue;
        SCOPED_TRACE(c.name);
        const hv::RingDetection d = Detect(c.pic, c.frames);
        ASSERT_EQ(d.status, hv::RingDetectStatus::Found) << d.message;
        const double centreErr = std::hypot(d.cx - c.pic.cx, d.cy - c.pic.cy);
        const double outerErr = std::fabs(d.outerRadius - c.pic.outer);
        const double innerErr = std::fabs(d.innerRadius - c.pic.inner);
        const hv::RingValues v = hv::RingToGeometry(d.cx, d.cy, d.outerRadius, d.innerRadius,
                                                    c.pic.width, c.pic.height, {});
        ASSERT_TRUE(v.ok) << v.error;
        const hv::RingGeometryResult g =
            hv::BuildRingGeometry(v.geometry, c.pic.width, c.pic.height);
        ASSERT_TRUE(g.ok) << g.error;
        const double cfgCentre = std::hypot(g.ring.cx - c.pic.cx, g.ring.cy - c.pic.cy);
        std::printf("%-40s %8.3f %8.3f %8.3f %8.3f %6.3f %6.3f  %s\n", c.name, centreErr, outerErr,
                    innerErr, cfgCentre, d.confidence.score, d.confidence.outerAgreement,
                    hv::RingDetectStatusName(d.status));
        const double centreTol = c.heavy ? 1.5 : 0.5;
        const double radiusTol = c.heavy ? 3.0 : 1.5;
        EXPECT_LE(centreErr, centreTol);
        EXPECT_LE(outerErr, radiusTol);
        EXPECT_LE(innerErr, radiusTol);
        // In the configuration's terms: the detection error plus the
        // rounding of the 600-unit square (one unit is sx x sy pixels).
        const double sx = c.pic.width / 600.0, sy = c.pic.height / 600.0;
        EXPECT_LE(std::fabs(g.ring.cx - c.pic.cx), centreTol + 0.5 * sx + 0.5);
        EXPECT_LE(std::fabs(g.ring.cy - c.pic.cy), centreTol + 0.5 * sy + 0.5);
        EXPECT_LE(std::fabs(g.ring.D / 2.0 - c.pic.outer), radiusTol + 0.5 * sy + 0.5);
        EXPECT_LE(std::fabs(g.ring.inner - c.pic.inner), radiusTol + 0.5 * sx + 1.0);
    }
}

// An ordinary video, also one whose lens darkens the corners to black (a
// round bright region, but no inner disc): never a confident answer.
TEST(RingDetectAccuracy, APictureWithoutARingIsNeverConfident) {
    for (double vignette : {0.0, 1.6}) {
        SCOPED_TRACE(vignette);
        RingPicture p = Pic(1280, 720, 640, 360, 330, 75, false, vignette, 2, 0.7);
        p.plain = true;
        const hv::RingDetection d = Detect(p, 4);
        EXPECT_EQ(d.status, hv::RingDetectStatus::LowConfidence) << d.message;
        EXPECT_FALSE(d.confidence.good);
        EXPECT_FALSE(d.message.empty());
    }
}

hv::FrameBuffer Filled(int32_t w, int32_t h, uint32_t px) {
    hv::FrameBuffer fb;
    fb.Allocate(w, h);
    std::fill(fb.pixels.begin(), fb.pixels.begin() + int64_t{w} * h, px);
    return fb;
}

TEST(RingDetectBadInput, GivesAClearAnswerAndNeverReadsOutside) {
    using S = hv::RingDetectStatus;
    // No frames, sizes that differ, a picture one pixel high, a buffer
    // shorter than its size says: errors with a message.
    {
        const hv::RingDetection d = hv::DetectRing({});
        EXPECT_EQ(d.status, S::Error);
        EXPECT_FALSE(d.message.empty());
    }
    {
        std::vector<hv::FrameBuffer> fb = {Filled(320, 240, 0), Filled(320, 200, 0)};
        const hv::RingDetection d = hv::DetectRing(fb);
        EXPECT_EQ(d.status, S::Error);
        EXPECT_NE(d.message.find("differ"), std::string::npos) << d.message;
    }
    {
        std::vector<hv::FrameBuffer> fb = {Filled(1920, 1, 0xffffff)};
        EXPECT_EQ(hv::DetectRing(fb).status, S::Error);
    }
    {
        std::vector<hv::FrameBuffer> fb = {Filled(320, 240, 0)};
        fb[0].pixels.resize(100);
        EXPECT_EQ(hv::DetectRing(fb).status, S::Error);
    }
    // All black, all white, pure noise, a ring larger than the frame: low
    // confidence, never a confident answer.
    std::vector<std::vector<hv::FrameBuffer>> doubtful;
    doubtful.push_back({Filled(640, 480, 0), Filled(640, 480, 0)});
    doubtful.push_back({Filled(640, 480, 0xffffff)});
    {
        std::mt19937 rng(5);
        std::vector<hv::FrameBuffer> noise;
        for (int i = 0; i < 3; ++i) {
            hv::FrameBuffer fb = Filled(640, 480, 0);
            for (uint32_t& px : fb.pixels) px = rng() & 0xffffff;
            noise.push_back(std::move(fb));
        }
        doubtful.push_back(std::move(noise));
    }
    doubtful.push_back(RenderRingFrames(Pic(640, 360, 320, 180, 900, 200), 2));
    for (size_t i = 0; i < doubtful.size(); ++i) {
        SCOPED_TRACE("doubtful input " + std::to_string(i));
        const hv::RingDetection d = hv::DetectRing(doubtful[i]);
        EXPECT_EQ(d.status, S::LowConfidence) << d.message;
        EXPECT_FALSE(d.confidence.good);
    }
}

TEST(RingDetectControl, ReportsProgressAndStopsWhenCancelled) {
    const std::vector<hv::FrameBuffer> fb =
        RenderRingFrames(Pic(640, 360, 320.5, 180.5, 170, 40, false, 0, 1, 0.7), 3);
    std::vector<double> seen;
    hv::RingDetectControl control;
    control.progress = [&seen](double f, const char*) { seen.push_back(f); };
    const hv::RingDetection d = hv::DetectRing(fb, control);
    EXPECT_EQ(d.status, hv::RingDetectStatus::Found) << d.message;
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_DOUBLE_EQ(seen.back(), 1.0);

    std::atomic<bool> cancel{true};
    control.cancel = &cancel;
    EXPECT_EQ(hv::DetectRing(fb, control).status, hv::RingDetectStatus::Cancelled);
}

// The five values land on the circle as closely as the square allows, and
// the mapping they are checked with is the unwrap's own.
TEST(RingConfigValues, RoundTripThroughTheUnwrapMapping) {
    std::mt19937 rng(11);
    const int32_t sizes[][2] = {{1280, 720}, {1920, 1080}, {1440, 1440}, {3840, 2160}, {641, 479}};
    for (const auto& size : sizes) {
        const int32_t w = size[0], h = size[1];
        std::uniform_real_distribution<double> fx(0.3 * w, 0.7 * w), fy(0.3 * h, 0.7 * h);
        std::uniform_real_distribution<double> fr(0.3 * h, 0.6 * h), fi(0.1, 0.3);
        for (int i = 0; i < 200; ++i) {
            const double cx = fx(rng), cy = fy(rng), outer = fr(rng), inner = fi(rng) * outer;
            hv::DoughnutGeometry keep;
            keep.flipH = 1;
            const hv::RingValues v = hv::RingToGeometry(cx, cy, outer, inner, w, h, keep);
            ASSERT_TRUE(v.ok) << v.error;
            EXPECT_EQ(v.geometry.flipH, 1);
            const hv::RingGeometryResult g = hv::BuildRingGeometry(v.geometry, w, h);
            ASSERT_TRUE(g.ok) << g.error;
            EXPECT_EQ(g.ring.cx, v.mapped.cx);
            EXPECT_EQ(g.ring.cy, v.mapped.cy);
            EXPECT_EQ(g.ring.D, v.mapped.D);
            EXPECT_EQ(g.ring.inner, v.mapped.inner);
            const double sx = g.ring.sx, sy = g.ring.sy;
            EXPECT_LE(std::fabs(g.ring.cx - cx), 0.5 * sx + 0.5);
            EXPECT_LE(std::fabs(g.ring.cy - cy) + std::fabs(g.ring.D / 2.0 - outer), sy + 0.5);
            EXPECT_LE(std::fabs(g.ring.inner - inner), 0.5 * sx + 1.0);
            // The cut area is centred on the ring and as wide as it.
            EXPECT_LE(std::fabs(g.ring.cutW - 2 * outer), 4 * sx);
        }
    }
    // Radii that cannot describe a ring are refused.
    EXPECT_FALSE(hv::RingToGeometry(100, 100, 0, 0, 640, 480, {}).ok);
    EXPECT_FALSE(hv::RingToGeometry(100, 100, 50, 60, 640, 480, {}).ok);
    EXPECT_FALSE(hv::RingToGeometry(NAN, 100, 50, 10, 640, 480, {}).ok);
    EXPECT_FALSE(hv::RingToGeometry(100, 100, 50, 10, 0, 480, {}).ok);
}

// Unwrapping with the detected values: the generator's horizon, a circle
// around the true centre, lands on one panorama row.
TEST(RingDetectHorizon, UnwrapsToAStraightHorizon) {
    const RingPicture p = Pic(1920, 1080, 1003.3, 528.6, 500, 110, false, 0, 2, 1.0);
    const std::vector<hv::FrameBuffer> frames = RenderRingFrames(p, 4);
    const hv::RingDetection d = hv::DetectRing(frames);
    ASSERT_EQ(d.status, hv::RingDetectStatus::Found) << d.message;
    const hv::RingValues v =
        hv::RingToGeometry(d.cx, d.cy, d.outerRadius, d.innerRadius, p.width, p.height, {});
    ASSERT_TRUE(v.ok) << v.error;
    const hv::RingGeometryResult g = hv::BuildRingGeometry(v.geometry, p.width, p.height);
    ASSERT_TRUE(g.ok) << g.error;
    const hv::RingGeometry& ring = g.ring;
    hv::UnwrapTable table;
    table.Allocate(ring);
    hv::BuildUnwrapTable(ring, 0, table);
    std::vector<uint32_t> pano(static_cast<size_t>(ring.PanoramaPixels()));
    hv::UnwrapReference(ring, table, frames[0].data(), pano.data());

    // Per column: where brightness first climbs from the ground (at most
    // about 125) to the sky (at least about 170), interpolated.
    auto lum = [&](int32_t r, int32_t c) {
        const uint32_t px = pano[size_t(r) * ring.Wp + c];
        return ((px & 0xff) + ((px >> 8) & 0xff) * 2 + ((px >> 16) & 0xff)) / 4.0;
    };
    constexpr double kLevel = 148;
    std::vector<double> rows;
    for (int32_t c = 0; c < ring.Wp; ++c) {
        for (int32_t r = ring.inner + 4; r + 1 < ring.Hp; ++r) {
            const double a = lum(r, c), b = lum(r + 1, c);
            if (a < kLevel && b >= kLevel) {
                rows.push_back(r + (kLevel - a) / (b - a));
                break;
            }
        }
    }
    ASSERT_GT(rows.size(), size_t(ring.Wp) * 9 / 10);
    double mean = 0;
    for (double r : rows) mean += r;
    mean /= double(rows.size());
    double sq = 0;
    for (double r : rows) sq += (r - mean) * (r - mean);
    const double rms = std::sqrt(sq / double(rows.size()));
    std::printf("horizon: mean row %.2f (true radius %.2f), RMS %.3f px over %zu columns\n", mean,
                p.HorizonRadius(), rms, rows.size());
    EXPECT_LE(rms, 1.0);
    EXPECT_NEAR(mean, p.HorizonRadius(), 1.5);
}

}  // namespace
