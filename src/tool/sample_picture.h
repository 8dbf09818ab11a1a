// A synthetic doughnut picture whose ring matches the start-up geometry
// (left 111, top 111, width 390, height 380, inner 36) at any frame size:
// ground near the inner circle, sky towards the outer one, a white horizon,
// coloured landmarks at known azimuths and a red-and-white north pole.
//
// Azimuth is the angle around the ring's centre on the picture: 0 straight
// down from the centre, 90 to the right, 180 up, 270 to the left, which is
// the way the panorama's columns turn.
#pragma once

#include <cstdint>
#include <string>

#include "video/frame_source.h"

namespace hvtool {

struct SampleLandmark {
    double azimuthDeg;  // centre
    double widthDeg;
    uint32_t colour;  // 0x00RRGGBB
    double height;    // top, as a fraction of the ring from inner to outer
};

inline constexpr SampleLandmark kSampleLandmarks[] = {
    {60.0, 12.0, 0xd03030, 0.70},   // red tower
    {150.0, 20.0, 0x30b040, 0.55},  // green block
    {240.0, 12.0, 0x3050e0, 0.80},  // blue tower
    {320.0, 16.0, 0xf0d020, 0.60},  // yellow block
};
// The north pole: red and white stripes over the whole ring.
inline constexpr double kSampleNorthDeg = 0.0;
inline constexpr double kSampleNorthWidthDeg = 4.0;
// Ground up to this fraction of the ring, sky above.
inline constexpr double kSampleHorizon = 0.4;

// Draws the picture into `fb` (bottom-up BGRX with the spare row). False
// with a message when the size is not a usable frame size.
bool DrawSamplePicture(int32_t width, int32_t height, hv::FrameBuffer& fb, std::string* error);

}  // namespace hvtool
