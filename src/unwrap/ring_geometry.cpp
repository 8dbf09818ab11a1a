#include "unwrap/ring_geometry.h"

#include <cmath>
#include <numbers>

namespace hv {
namespace {

// Halves to even, as every conversion to an integer in the unwrap.
double RoundEven(double v) {
    return std::nearbyint(v);
}

// Down to a multiple of m, toward zero (m * trunc(v / m)).
int64_t DownToMultiple(int64_t v, int64_t m) {
    return (v / m) * m;
}

// 0.4 pi D written as the player computes it: pi in double, 0.2 as a single.
double FortyPercentOfCircumference(double D) {
    return std::numbers::pi * 2.0 * D * static_cast<double>(0.2f);
}

// The parts both mappings share before their widths differ.
struct Scaled {
    float sx = 0, sy = 0;
    int64_t left = 0, top = 0, inner = 0, cutW = 0, D = 0;
};

bool ScaleToFrame(const DoughnutGeometry& g, int32_t frameW, int32_t frameH, Scaled& s,
                  std::string& error) {
    error = CheckFrameSize(frameW, frameH);
    if (!error.empty()) return false;
    s.sx = static_cast<float>(frameW / static_cast<double>(kSetupSquare));
    s.sy = static_cast<float>(frameH / static_cast<double>(kSetupSquare));
    const double sx = s.sx, sy = s.sy;
    s.left = static_cast<int64_t>(RoundEven(sx * g.left));
    s.top = static_cast<int64_t>(RoundEven(sy * g.top));
    s.inner = static_cast<int64_t>(RoundEven(sx * g.innerRadius));
    s.inner = DownToMultiple(s.inner, 2);
    s.cutW = static_cast<int64_t>(RoundEven(sx * g.width));
    s.D = static_cast<int64_t>(RoundEven(sy * g.height));
    for (int64_t v : {s.left, s.top, s.inner, s.cutW, s.D}) {
        if (v > kMaxCoordinate || v < -kMaxCoordinate) {
            error = "The doughnut geometry lies too far outside the " + std::to_string(frameW) +
                    "x" + std::to_string(frameH) + " frame to be used.";
            return false;
        }
    }
    // A negative inner radius has no circle to skip: the view source then
    // starts at the ring's centre instead of before the panorama.
    if (s.inner < 0) s.inner = 0;
    if (s.D <= 0) {
        error = "The outer circle's diameter is " + std::to_string(s.D) +
                " pixels; it must be positive.";
        return false;
    }
    return true;
}

// Hp, Wp and the sizes that follow from them; checks what the engine needs.
bool Finish(const Scaled& s, int64_t Hp, int64_t Wp, RingGeometry& r, std::string& error) {
    if (Hp <= 0 || Wp <= 0) {
        error = "The outer circle (diameter " + std::to_string(s.D) +
                " pixels) is too small to unwrap.";
        return false;
    }
    if (s.inner >= Hp) {
        error = "The inner radius (" + std::to_string(s.inner) +
                " pixels) reaches the panorama height (" + std::to_string(Hp) +
                " rows): no part of the ring is left to unwrap.";
        return false;
    }
    if (Wp * (Hp + kPanoramaSpareRows) > kMaxPanoramaPixels) {
        error = "The panorama (" + std::to_string(Wp) + "x" + std::to_string(Hp) +
                ") would be larger than the supported " + std::to_string(kMaxPanoramaPixels) +
                " pixels.";
        return false;
    }
    r.sx = s.sx;
    r.sy = s.sy;
    r.left = static_cast<int32_t>(s.left);
    r.top = static_cast<int32_t>(s.top);
    r.inner = static_cast<int32_t>(s.inner);
    r.cutW = static_cast<int32_t>(s.cutW);
    r.D = static_cast<int32_t>(s.D);
    r.cx = static_cast<int32_t>(s.left + static_cast<int64_t>(RoundEven(0.5 * double(s.cutW))));
    r.cy = static_cast<int32_t>(s.top + static_cast<int64_t>(RoundEven(0.5 * double(s.D))));
    r.Hp = static_cast<int32_t>(Hp);
    r.Wp = static_cast<int32_t>(Wp);
    r.step = static_cast<float>(5.0 / double(s.D));
    r.halfW = static_cast<int32_t>(RoundEven(Wp / 2.0));
    r.halfH = static_cast<int32_t>(RoundEven(Hp / 2.0));
    r.origin = r.halfH - r.halfW;
    return true;
}

}  // namespace

std::string CheckFrameSize(int64_t frameW, int64_t frameH) {
    if (!ValidFrameSize(frameW, frameH)) {
        return "The frame size " + std::to_string(frameW) + "x" + std::to_string(frameH) +
               " is not supported (each side 1.." + std::to_string(kMaxFrameSide) + ", at most " +
               std::to_string(kMaxFramePixels) + " pixels).";
    }
    return {};
}

RingGeometryResult BuildRingGeometry(const DoughnutGeometry& g, int32_t frameW, int32_t frameH) {
    RingGeometryResult res;
    Scaled s;
    if (!ScaleToFrame(g, frameW, frameH, s, res.error)) return res;
    const int64_t Hp = DownToMultiple(static_cast<int64_t>(RoundEven(s.D / 2.0)), 4);
    const int64_t Wp =
        DownToMultiple(static_cast<int64_t>(RoundEven(FortyPercentOfCircumference(s.D))), 4);
    res.ring.frameW = frameW;
    res.ring.frameH = frameH;
    res.ok = Finish(s, Hp, Wp, res.ring, res.error);
    return res;
}

RingGeometryResult BuildPreviewGeometry(const DoughnutGeometry& g, int32_t shiftRect,
                                        int32_t frameW, int32_t frameH) {
    RingGeometryResult res;
    Scaled s;
    if (!ScaleToFrame(g, frameW, frameH, s, res.error)) return res;
    // The strip width is fixed first, then the diameter is made to fit it.
    const int64_t width =
        DownToMultiple(static_cast<int64_t>(RoundEven(FortyPercentOfCircumference(s.D))), 16);
    s.D = static_cast<int64_t>(RoundEven(double(width) / FortyPercentOfCircumference(1.0)));
    if (s.D <= 0) {
        res.error = "The outer circle is too small to unwrap.";
        return res;
    }
    const int64_t Hp = DownToMultiple(static_cast<int64_t>(RoundEven(s.D / 2.0)), 2);
    const int64_t Wp =
        DownToMultiple(static_cast<int64_t>(RoundEven(FortyPercentOfCircumference(s.D))), 16);
    res.ring.frameW = frameW;
    res.ring.frameH = frameH;
    res.ring.preview = true;
    if (!Finish(s, Hp, Wp, res.ring, res.error)) return res;
    // 200 units make a full turn; a value outside 0..200 (only a hand-edited
    // file holds one) is taken modulo a turn so the angle stays exact.
    int64_t shift = shiftRect;
    if (shift < 0 || shift > 200) shift = ((shift % 200) + 200) % 200;
    const RingGeometry& r = res.ring;
    res.ring.origin = static_cast<int32_t>(
        RoundEven(double(r.halfH) - double(r.halfW) + double(r.Wp) * double(shift) * 0.005));
    res.ok = true;
    return res;
}

}  // namespace hv
