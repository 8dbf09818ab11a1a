// Synthetic panoramas and helpers for the view engine tests.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "unwrap/render_view.h"
#include "unwrap/view_setup.h"

namespace hvtest {

// A Ws x Hs panorama with `spareRows` extra rows, every pixel from fn(col, row).
struct Panorama {
    int32_t Ws = 0, Hs = 0;
    std::vector<uint32_t> pixels;
    hv::ViewSource Source() const {
        return {pixels.data(), Ws, Hs, static_cast<int32_t>(pixels.size() / Ws)};
    }
};
Panorama MakePanorama(int32_t Ws, int32_t Hs, const std::function<uint32_t(int32_t, int32_t)>& fn,
                      int32_t spareRows = 1);

// Pixel that encodes its own position: blue/green = column (low, high byte),
// red = row.
uint32_t PositionPixel(int32_t col, int32_t row);
int32_t ColumnOf(uint32_t p);
int32_t RowOf(uint32_t p);

// Smooth, horizontally periodic colours (a few levels per pixel at most).
uint32_t SmoothPixel(int32_t col, int32_t row, int32_t Ws, int32_t Hs);

// Deterministic pseudo-random pixels.
uint32_t NoisePixel(int32_t col, int32_t row);

hv::ViewSetupResult Init(int32_t Ws, int32_t Hs);

inline hv::ViewState At(const hv::ViewState& start, float pan, float tilt, float fov) {
    hv::ViewState v = start;
    v.pan = pan;
    v.tilt = tilt;
    v.fov = fov;
    return v;
}

// Memory column whose ray has u = 0 (x = 0 at pan 0, tilt 0).
inline int32_t CentreColumn(const hv::ViewSetup& s) {
    return -s.colStart - 1;
}

}  // namespace hvtest
