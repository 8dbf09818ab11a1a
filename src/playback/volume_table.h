// The player's five sound levels and what each means for the audio output
// and for the level indicators under the video.
#pragma once

#include <cstdint>
#include <optional>

namespace hv {

inline constexpr int32_t kVolumeSilent = -10000;   // hundredths of a dB: mute
inline constexpr int32_t kVolumeFull = 0;          // hundredths of a dB: full
inline constexpr int32_t kMaxVolumeLevel = 5;      // level 0 means "muted"
inline constexpr int32_t kDefaultVolumeLevel = 5;  // nothing stored yet

// Indicator colours as 0xRRGGBB: the first `level` indicators are lit, the
// others unlit; the text is white on both.
inline constexpr uint32_t kLevelLitRgb = 0x51FFB0;    // RGB(81, 255, 176)
inline constexpr uint32_t kLevelUnlitRgb = 0x519260;  // RGB(81, 146, 96)

// Volume for a level 0..5 in hundredths of a decibel (factor x -10000 to
// the nearest integer: -10000, -7000, -4000, -2000, -1000, 0). Levels
// outside 0..5 have no volume: callers then change nothing at all.
std::optional<int32_t> VolumeForLevel(int32_t level);

}  // namespace hv
