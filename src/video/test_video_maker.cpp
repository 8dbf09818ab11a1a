#include "video/test_video_maker.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "frame/frame_buffer.h"
#include "unwrap/ring_geometry.h"

namespace hv {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kMaxFrames = 1'000'000;

uint32_t Bgrx(int r, int g, int b) {
    return static_cast<uint32_t>(b) | (static_cast<uint32_t>(g) << 8) |
           (static_cast<uint32_t>(r) << 16);
}

// Where the scene's ring lies in frame pixels (top-down): the player's
// mapping of the geometry, or a centred ring when the geometry does not
// fit the frame.
struct SceneRing {
    double cx, cy, outer, inner;
};

SceneRing RingFor(const TestVideoOptions& clip) {
    RingGeometryResult g = BuildRingGeometry(clip.geometry, clip.width, clip.height);
    if (g.ok && g.ring.Hp > g.ring.inner + 4) {
        return {static_cast<double>(g.ring.cx), static_cast<double>(g.ring.cy), g.ring.D / 2.0,
                static_cast<double>(g.ring.inner)};
    }
    const double outer = std::min(clip.width, clip.height) / 2.0 - 1;
    return {clip.width / 2.0, clip.height / 2.0, outer, outer / 5};
}

// Elevation 0 is the inner circle (the bottom of the unwrapped view), 1 the
// outer circle (its top).
constexpr double kHorizon = 0.4;

struct Landmark {
    double azimuth;  // degrees, the mapping's angle: 0 straight down the picture
    uint32_t colour;
};

const Landmark kLandmarks[] = {{0, Bgrx(220, 30, 30)},
                               {90, Bgrx(240, 220, 30)},
                               {180, Bgrx(200, 40, 200)},
                               {270, Bgrx(30, 210, 220)}};

uint32_t SceneColour(double azimuthDeg, double elevation) {
    for (const auto& l : kLandmarks) {
        double d = std::fabs(azimuthDeg - l.azimuth);
        d = std::min(d, 360 - d);
        if (d < 3 && elevation > 0.1 && elevation < 0.75) return l.colour;
    }
    if (std::fabs(elevation - kHorizon) < 0.02 && std::fmod(azimuthDeg + 0.3, 10.0) < 0.6) {
        return Bgrx(255, 255, 255);
    }
    if (elevation > kHorizon) {
        const double t = (elevation - kHorizon) / (1 - kHorizon);
        return Bgrx(static_cast<int>(120 - 70 * t), static_cast<int>(170 - 80 * t),
                    static_cast<int>(235 - 40 * t));
    }
    const bool stripe = static_cast<int>(azimuthDeg / 15) % 2 == 0;
    const double t = elevation / kHorizon;
    return stripe ? Bgrx(static_cast<int>(60 + 40 * t), static_cast<int>(110 + 40 * t), 40)
                  : Bgrx(static_cast<int>(90 + 40 * t), static_cast<int>(80 + 30 * t), 40);
}

// The still part of the scene, drawn once per video.
std::vector<uint32_t> RenderBackground(const TestVideoOptions& clip, const SceneRing& ring) {
    std::vector<uint32_t> img(static_cast<size_t>(clip.width) * static_cast<size_t>(clip.height),
                              0);
    for (int32_t y = 0; y < clip.height; ++y) {
        for (int32_t x = 0; x < clip.width; ++x) {
            const double dx = x - ring.cx, dy = y - ring.cy;
            const double r = std::sqrt(dx * dx + dy * dy);
            uint32_t c = 0;
            if (r <= ring.outer) {
                if (r < ring.inner) {
                    c = Bgrx(40, 40, 40);
                } else {
                    double az = std::atan2(dx, dy) * 180 / kPi;
                    if (az < 0) az += 360;
                    c = SceneColour(az, (r - ring.inner) / std::max(1.0, ring.outer - ring.inner));
                }
            }
            img[static_cast<size_t>(y) * static_cast<size_t>(clip.width) + static_cast<size_t>(x)] =
                c;
        }
    }
    return img;
}

void DrawMovingMarker(const TestVideoOptions& clip, const SceneRing& ring, int32_t index,
                      uint32_t* img) {
    // One turn every four seconds, in the sky.
    const double seconds = static_cast<double>(index) * clip.fpsDen / clip.fpsNum;
    const double az = std::fmod(seconds * 90.0, 360.0) * kPi / 180;
    const double r = ring.inner + 0.8 * (ring.outer - ring.inner);
    const double mx = ring.cx + std::sin(az) * r, my = ring.cy + std::cos(az) * r;
    const double radius = std::max(2.0, 0.07 * (ring.outer - ring.inner));
    const int32_t x0 = std::max(0, static_cast<int32_t>(mx - radius));
    const int32_t x1 = std::min(clip.width - 1, static_cast<int32_t>(mx + radius) + 1);
    const int32_t y0 = std::max(0, static_cast<int32_t>(my - radius));
    const int32_t y1 = std::min(clip.height - 1, static_cast<int32_t>(my + radius) + 1);
    for (int32_t y = y0; y <= y1; ++y) {
        for (int32_t x = x0; x <= x1; ++x) {
            if ((x - mx) * (x - mx) + (y - my) * (y - my) <= radius * radius) {
                img[static_cast<size_t>(y) * static_cast<size_t>(clip.width) +
                    static_cast<size_t>(x)] = Bgrx(255, 200, 60);
            }
        }
    }
}

void DrawFrameCode(int32_t width, int32_t height, int32_t index, uint32_t* img) {
    const int32_t b = CodeBlockSize(width, height);
    if (b == 0) return;
    for (int32_t k = 0; k <= kCodeBits; ++k) {
        // Block 0 is the start block; blocks 1.. carry the bits, MSB first.
        const bool on = k == 0 || ((static_cast<uint32_t>(index) >> (kCodeBits - k)) & 1u) != 0;
        const uint32_t c = on ? Bgrx(255, 255, 255) : 0u;
        for (int32_t y = 0; y < b; ++y) {
            for (int32_t x = k * b; x < (k + 1) * b; ++x) {
                img[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                    c;
            }
        }
    }
    // A black row of blocks below keeps the ring's colours off the code.
    for (int32_t y = b; y < std::min(height, 2 * b); ++y) {
        for (int32_t x = 0; x < (kCodeBits + 1) * b; ++x) {
            img[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = 0;
        }
    }
}

}  // namespace

int32_t CodeBlockSize(int32_t width, int32_t height) {
    const int32_t b = std::min({8, width / (kCodeBits + 2), height / 4});
    return b >= 2 ? b : 0;
}

int32_t ReadFrameNumber(const uint32_t* bottomUp, int32_t width, int32_t height) {
    const int32_t b = CodeBlockSize(width, height);
    if (b == 0 || bottomUp == nullptr) return -1;
    int32_t value = 0;
    for (int32_t k = 0; k <= kCodeBits; ++k) {
        // Average the middle of the block: its edges blur under coding.
        int64_t sum = 0, n = 0;
        for (int32_t y = b / 4; y < b - b / 4; ++y) {
            const uint32_t* row =
                bottomUp + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width);
            for (int32_t x = k * b + b / 4; x < (k + 1) * b - b / 4; ++x) {
                const uint32_t p = row[x];
                sum += (p & 0xff) + ((p >> 8) & 0xff) * 2 + ((p >> 16) & 0xff);
                ++n;
            }
        }
        const bool on = n > 0 && sum / n >= 4 * 128;
        if (k == 0) {
            if (!on) return -1;
        } else {
            value = value * 2 + (on ? 1 : 0);
        }
    }
    return value;
}

void RenderTestFrame(const TestVideoOptions& clip, int32_t index, uint32_t* img) {
    const SceneRing ring = RingFor(clip);
    const std::vector<uint32_t> bg = RenderBackground(clip, ring);
    std::memcpy(img, bg.data(), bg.size() * sizeof(uint32_t));
    DrawMovingMarker(clip, ring, index, img);
    DrawFrameCode(clip.width, clip.height, index, img);
}

std::string MakeTestVideo(const TestVideoOptions& clip) {
    if (clip.frames < 1 || clip.frames > kMaxFrames) return "length must be 1 to 1000000 frames";
    VideoWriterSettings settings;
    settings.path = clip.path;
    settings.width = clip.width;
    settings.height = clip.height;
    settings.fpsNum = clip.fpsNum;
    settings.fpsDen = clip.fpsDen;
    settings.endNs = clip.lengthNs;
    const auto format = VideoWriterFormatFor(VideoExtensionOf(clip.path));
    if (clip.audio && format && !format->audioEncoder.empty() && clip.fpsNum > 0 &&
        clip.fpsDen > 0) {
        int64_t pictureNs = VideoFrameTimeNs(clip.fpsNum, clip.fpsDen, clip.frames);
        if (clip.lengthNs > 0) pictureNs = std::min(pictureNs, clip.lengthNs);
        settings.tone = VideoWriterTone{pictureNs};
    }
    std::string error;
    std::unique_ptr<VideoWriter> writer = VideoWriter::Open(settings, &error);
    if (!writer) return error;

    const SceneRing ring = RingFor(clip);
    const std::vector<uint32_t> bg = RenderBackground(clip, ring);
    std::vector<uint32_t> topDown;
    FrameBuffer frame;
    frame.Allocate(clip.width, clip.height);
    const size_t w = static_cast<size_t>(clip.width);
    for (int32_t i = 0; i < clip.frames; ++i) {
        topDown = bg;
        DrawMovingMarker(clip, ring, i, topDown.data());
        DrawFrameCode(clip.width, clip.height, i, topDown.data());
        // The writer takes rows bottom-up, as every frame of the engine.
        for (int32_t y = 0; y < clip.height; ++y) {
            std::memcpy(frame.data() + static_cast<size_t>(clip.height - 1 - y) * w,
                        topDown.data() + static_cast<size_t>(y) * w, 4 * w);
        }
        if (!writer->Write(frame, &error)) return error;
    }
    if (!writer->Finish(&error)) return error;
    return "";
}

}  // namespace hv
