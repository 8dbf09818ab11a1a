#include "playback/volume_table.h"

#include <cmath>

namespace hv {

std::optional<int32_t> VolumeForLevel(int32_t level) {
    // Fraction of full attenuation per level; level 0 is silence.
    static constexpr double kFactor[kMaxVolumeLevel + 1] = {1.0, 0.7, 0.4, 0.2, 0.1, 0.0};
    if (level < 0 || level > kMaxVolumeLevel) return std::nullopt;
    return static_cast<int32_t>(std::lrint(kFactor[level] * kVolumeSilent));
}

}  // namespace hv
