// Filters applied in place to the rendered view (32-bit BGRX pixels).
#pragma once

#include <cstdint>

namespace hv {

// Each pixel becomes gray g = (B + G + R + 127) >> 2 in all four bytes (the
// divisor is 4: white becomes 223, black 31).
void ApplyGrayscale(int32_t pixelCount, uint32_t* pixels);
void ApplyGrayscaleScalar(int32_t pixelCount, uint32_t* pixels);

// Each byte of pixel n (n = 0 .. Wout * Hout - 1, in increasing order, in
// place) becomes the mean (sum >> 2) of pixels n, n + 1, n + Wout and
// n + Wout + 1 as they were before the filter. Pixel n + 1 of a last column is
// the first of the next row; the last row's lower neighbours are the spare
// row after the image. `pixels` must hold Wout * (Hout + 1) + 1 pixels.
void ApplySoften(int32_t Wout, int32_t Hout, uint32_t* pixels);
void ApplySoftenScalar(int32_t Wout, int32_t Hout, uint32_t* pixels);

}  // namespace hv
