// libFuzzer target: the view-path readers, the JSON form and the ffmpeg
// sendcmd import, on arbitrary text (deep nesting, huge numbers, NaN and
// infinities, times out of order or repeated, empty keyframe lists).
//
// Input: one byte, then the text. Bit 0 of the byte picks the reader
// (0: JSON, 1: sendcmd); bits 1..3 the picture aspect the sendcmd reader
// and writer are given (some of them unusable: 0, negative, NaN); bits 4..7
// the frame rate of the sendcmd written back.
//
// Checks beyond "no crash": a refusal says why; an accepted path validates,
// has strictly increasing times and angles in range; the view at any time
// lies in range; the JSON written from it reads back as the same keyframes,
// bit for bit; the sendcmd written from it reads back as one keyframe per
// frame that agrees with the path at that frame's time.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "export/view_path.h"
#include "fuzz_input.h"

namespace {

constexpr double kAspects[8] = {0.5625, 0.5, 1.0,  2.0,
                                0.1,    0.0, -1.0, std::numeric_limits<double>::quiet_NaN()};
constexpr double kRates[16] = {25, 30, 29.97, 60, 1, 7.5, 120, 24, 50, 10, 2, 3, 100, 15, 12, 48};

bool SameKeys(const hv::ViewPath& a, const hv::ViewPath& b) {
    const auto& x = a.keyframes();
    const auto& y = b.keyframes();
    if (x.size() != y.size()) return false;
    for (size_t i = 0; i < x.size(); ++i) {
        if (x[i].t != y[i].t || x[i].pan != y[i].pan || x[i].tilt != y[i].tilt ||
            x[i].fov != y[i].fov || x[i].ease != y[i].ease)
            return false;
    }
    return true;
}

void CheckAngles(const hv::ViewAngles& v) {
    Check(std::isfinite(v.pan) && std::isfinite(v.tilt) && std::isfinite(v.fov));
    Check(v.pan >= -180 && v.pan <= 180);
    Check(v.tilt >= -90 && v.tilt <= 90);
    Check(v.fov >= 1 && v.fov <= 150);
}

// Shortest way between two angles, degrees.
double AngleGap(double a, double b) {
    double d = std::fmod(std::fabs(a - b), 360.0);
    return d > 180 ? 360 - d : d;
}

void CheckPath(const hv::ViewPath& path, double aspect, double fps) {
    std::string error;
    Check(path.Validate(&error));
    const auto& keys = path.keyframes();
    Check(!keys.empty());
    for (size_t i = 1; i < keys.size(); ++i) Check(keys[i].t > keys[i - 1].t);

    // The view anywhere along the path, and exactly at its keyframes.
    const double last = keys.back().t;
    for (double t : {-1.0, 0.0, last * 0.25, last * 0.5, last, last + 1, 1e300,
                     std::numeric_limits<double>::quiet_NaN()})
        CheckAngles(path.At(t));
    for (const hv::ViewKeyframe& k : keys) {
        const hv::ViewAngles v = path.At(k.t);
        CheckAngles(v);
        Check(AngleGap(v.pan, k.pan) < 1e-3 && v.tilt == k.tilt && v.fov == k.fov);
    }

    hv::ViewPath back;
    Check(hv::ParseViewPathJson(hv::ViewPathToJson(path), &back, &error));
    Check(SameKeys(path, back));

    if (!(aspect > 0)) return;
    // A few seconds of frames, read back as the same views.
    const double seconds = std::min(3.0, last + 0.5);
    const std::string cmd = hv::ViewPathToSendCmd(path, seconds, fps, aspect);
    Check(hv::ParseSendCmd(cmd, aspect, &back, &error));
    const int64_t frames = static_cast<int64_t>(std::ceil(seconds * fps - 1e-9));
    Check(static_cast<int64_t>(back.keyframes().size()) == frames);
    for (int64_t n = 0; n < frames; ++n) {
        const hv::ViewKeyframe& k = back.keyframes()[static_cast<size_t>(n)];
        const hv::ViewAngles v = path.At(n / fps);
        Check(k.ease == hv::ViewEase::Linear);
        Check(std::fabs(k.t - n / fps) < 1e-4);
        Check(AngleGap(v.pan, k.pan) < 1e-3);
        Check(std::fabs(v.tilt - k.tilt) < 1e-3);
        Check(std::fabs(v.fov - k.fov) < 1e-2);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t mode = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const double aspect = kAspects[(mode >> 1) & 7];
    const double fps = kRates[mode >> 4];
    hv::ViewPath path;
    std::string error;
    const bool ok = (mode & 1) == 0 ? hv::ParseViewPathJson(text, &path, &error)
                                    : hv::ParseSendCmd(text, aspect, &path, &error);
    if (!ok) {
        Check(!error.empty() && path.keyframes().empty());
        return 0;
    }
    if ((mode & 1) != 0) {
        for (const hv::ViewKeyframe& k : path.keyframes()) Check(k.ease == hv::ViewEase::Linear);
    }
    CheckPath(path, aspect, fps);
    return 0;
}
