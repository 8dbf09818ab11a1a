// libFuzzer target: ring detection on arbitrary small frames and frame
// sizes: all black, all white, a single pixel row or column, noise, the
// input's own bytes as pixels, and synthetic doughnut pictures whose ring
// may be larger than the frame or lie outside it.
//
// Input layout (missing bytes read as zero): width and height (16 bits
// each, taken modulo 200 plus 1), frame count and flags, scene, then the
// scene's parameters: centre x and y, outer and inner radius (16-bit,
// signed, pixels), vignette, noise, blur, seed; whatever follows is the
// pixels of the "bytes" scene.
//
// Checks beyond "no crash": a frame of at least 32 x 32 never gives Error
// (an OpenCV exception is a bug here); Found means a trusted, finite ring;
// a guess is finite and no larger than the frame's diagonal around it; the
// confidence figures stay in their ranges; progress only grows within
// 0..1; a raised cancel flag gives Cancelled with nothing filled.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "detect/ring_detect.h"
#include "fuzz_input.h"
#include "ring_picture.h"

namespace {

using hv::fuzz::Reader;

bool In01(double v) {
    return v >= 0 && v <= 1;
}

enum Scene : uint8_t { kBlack, kWhite, kNoise, kBytes, kRing, kSceneCount };

hv::FrameBuffer Fill(int32_t w, int32_t h, uint8_t scene, uint32_t seed, const uint8_t* bytes,
                     size_t nBytes) {
    hv::FrameBuffer fb;
    Check(fb.Allocate(w, h));
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    uint32_t s = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        switch (scene) {
            case kBlack:
                fb.pixels[i] = 0;
                break;
            case kWhite:
                fb.pixels[i] = 0x00ffffffu;
                break;
            case kNoise:
                s = s * 1664525u + 1013904223u;
                fb.pixels[i] = s >> 8;
                break;
            default: {  // the input's bytes as grey levels, repeated
                const uint8_t v = nBytes > 0 ? bytes[i % nBytes] : 0;
                fb.pixels[i] = v * 0x010101u;
                break;
            }
        }
    }
    return fb;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    const int32_t w = 1 + in.Get<uint16_t>() % 200;
    const int32_t h = 1 + in.Get<uint16_t>() % 200;
    const uint8_t flags = in.Get<uint8_t>();
    const int32_t count = 1 + (flags & 3) % 3;
    const bool otherSize = (flags & 4) != 0;  // the last frame one pixel wider
    const int cancelAt = (flags >> 3) & 7;    // 1..6: raise the flag at that report
    const uint8_t scene = in.Get<uint8_t>() % kSceneCount;

    hvtest::RingPicture p;
    p.width = w;
    p.height = h;
    p.cx = in.Get<int16_t>() / 4.0;
    p.cy = in.Get<int16_t>() / 4.0;
    p.outer = std::fabs(in.Get<int16_t>() / 4.0);
    p.inner = std::fabs(in.Get<int16_t>() / 4.0);
    p.vignette = in.Get<uint8_t>() / 255.0;
    p.noise = in.Get<uint8_t>() / 16.0;
    p.blur = in.Get<uint8_t>() % 16 / 4.0;
    const uint8_t look = in.Get<uint8_t>();
    p.brightDisc = (look & 1) != 0;
    p.plain = (look & 2) != 0;
    p.horizon = (look >> 2) / 64.0;
    p.seed = in.Get<uint8_t>();
    size_t nBytes = 0;
    const uint8_t* bytes = in.Rest(&nBytes);

    std::vector<hv::FrameBuffer> frames;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t fw = otherSize && i + 1 == count && count > 1 ? w + 1 : w;
        if (scene == kRing) {
            hvtest::RingPicture q = p;
            q.width = fw;
            frames.push_back(hvtest::RenderRingFrame(q, i));
        } else {
            frames.push_back(Fill(fw, h, scene, p.seed + i, bytes, nBytes));
        }
    }

    std::atomic<bool> cancel{false};
    int reports = 0;
    double lastFraction = 0;
    hv::RingDetectControl control;
    control.cancel = &cancel;
    control.progress = [&](double fraction, const char* stage) {
        Check(stage != nullptr && std::isfinite(fraction));
        Check(fraction >= lastFraction && fraction <= 1);
        lastFraction = fraction;
        if (++reports == cancelAt) cancel = true;
    };
    const hv::RingDetection d = hv::DetectRing(frames, control);

    const bool usable =
        w >= hv::kDetectMinFrameSide && h >= hv::kDetectMinFrameSide && !(otherSize && count > 1);
    if (!usable) {
        Check(d.status == hv::RingDetectStatus::Error && !d.message.empty() && !d.hasGuess);
        return 0;
    }
    Check(d.status != hv::RingDetectStatus::Error);
    if (d.status == hv::RingDetectStatus::Cancelled) {
        Check(cancel.load() && !d.hasGuess);
        return 0;
    }
    Check(d.frameW == w && d.frameH == h);
    const hv::RingConfidence& c = d.confidence;
    Check(In01(c.outerAgreement) && In01(c.innerAgreement) && In01(c.outerInsideFrame) &&
          In01(c.score));
    Check(std::isfinite(c.residualPx) && c.residualPx >= 0);
    Check(std::isfinite(c.concentricityPx) && c.concentricityPx >= 0);
    Check(!std::isnan(c.edgeContrast));
    if (d.hasGuess) {
        const double diag = std::hypot(double(w), double(h));
        Check(std::isfinite(d.cx) && std::isfinite(d.cy));
        Check(d.outerRadius > 0 && d.outerRadius <= diag);
        Check(std::fabs(d.cx - 0.5 * w) <= diag && std::fabs(d.cy - 0.5 * h) <= diag);
        Check(std::isfinite(d.innerRadius) && d.innerRadius >= 0 && d.innerRadius < d.outerRadius);
    }
    if (d.status == hv::RingDetectStatus::Found) {
        Check(d.hasGuess && c.good && d.message.empty() && d.innerRadius > 0);
    } else {
        Check(d.status == hv::RingDetectStatus::LowConfidence && !c.good && !d.message.empty());
    }
    return 0;
}
