// Pieces shared by the scalar and the SIMD renderers (internal).
#pragma once

#include <cstdint>

#include "unwrap/render_view.h"

namespace hv::render_detail {

// Wrapping 32-bit arithmetic without signed overflow.
inline int32_t WrapMulAdd(int32_t a, int32_t b, int32_t c) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b) +
                                static_cast<uint32_t>(c));
}
inline int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
// |v| as unsigned (INT32_MIN gives 2^31).
inline uint32_t UAbs(int32_t v) {
    return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

// The preconditions both renderers check before writing anything.
inline bool RenderInputsOk(const ViewSetup& s, const FixedMatrix& M, const ViewSource& src,
                           const uint32_t* out) {
    return out != nullptr && src.Valid() && src.width == s.Ws && src.height == s.Hs &&
           src.readableRows >= s.sourceRowsRead && RaysInRange(s, M);
}

// One channel of the bilinear blend, weights 255 - f and f in 8 bits.
inline uint32_t BlendChannel(uint32_t p00, uint32_t p01, uint32_t p10, uint32_t p11, uint32_t fx,
                             uint32_t fy) {
    const uint32_t top = fx * p01 + (255 - fx) * p00;
    const uint32_t bottom = fx * p11 + (255 - fx) * p10;
    return (((top >> 4) * (255 - fy) + (bottom >> 4) * fy) * 16) >> 16;
}

}  // namespace hv::render_detail
