#include "config/doughnut_geometry.h"

#include <cmath>

namespace hv {

int32_t DefaultInnerRadius(int32_t left, int32_t width) {
    // The divisor is a single; the quotient is evaluated in double. The
    // difference is taken in 64 bits so extreme inputs cannot overflow, and
    // |difference| / 7.857 always fits in 32 bits.
    constexpr float kInnerRadiusDivisor = 7.85714f;
    const double diff = static_cast<double>(static_cast<int64_t>(width) - left);
    return static_cast<int32_t>(std::nearbyint(diff / static_cast<double>(kInnerRadiusDivisor)));
}

}  // namespace hv
