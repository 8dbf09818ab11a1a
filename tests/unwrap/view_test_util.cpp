#include "view_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace hvtest {

Panorama MakePanorama(int32_t Ws, int32_t Hs, const std::function<uint32_t(int32_t, int32_t)>& fn,
                      int32_t spareRows) {
    Panorama p;
    p.Ws = Ws;
    p.Hs = Hs;
    p.pixels.assign(static_cast<size_t>(Ws) * (Hs + spareRows), 0u);
    for (int32_t r = 0; r < Hs + spareRows; ++r) {
        for (int32_t c = 0; c < Ws; ++c) p.pixels[static_cast<size_t>(r) * Ws + c] = fn(c, r);
    }
    return p;
}

uint32_t PositionPixel(int32_t col, int32_t row) {
    return static_cast<uint32_t>(col & 255) | static_cast<uint32_t>((col >> 8) & 255) << 8 |
           static_cast<uint32_t>(row & 255) << 16;
}
int32_t ColumnOf(uint32_t p) {
    return static_cast<int32_t>(p & 0xFFFF);
}
int32_t RowOf(uint32_t p) {
    return static_cast<int32_t>((p >> 16) & 255);
}

uint32_t SmoothPixel(int32_t col, int32_t row, int32_t Ws, int32_t Hs) {
    const double a = 2 * std::numbers::pi * col / Ws;
    const double e = std::numbers::pi * row / Hs;
    const auto level = [](double v) { return static_cast<uint32_t>(std::lrint(128 + 100 * v)); };
    return level(std::sin(3 * a)) | level(std::cos(2 * a) * std::sin(e)) << 8 |
           level(std::cos(2 * e + a)) << 16;
}

uint32_t NoisePixel(int32_t col, int32_t row) {
    uint32_t h =
        static_cast<uint32_t>(col) * 0x9E3779B1u ^ static_cast<uint32_t>(row) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

hv::ViewSetupResult Init(int32_t Ws, int32_t Hs) {
    hv::ViewSetupResult r = hv::InitViewEngine(Ws, Hs);
    EXPECT_TRUE(r.ok) << r.error;
    return r;
}

}  // namespace hvtest
