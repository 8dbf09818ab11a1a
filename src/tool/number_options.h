// The numbers of hvtool's options, read strictly: the whole text is the
// number, with no blanks around it. Plain C++ (no Qt), shared by the
// commands and fuzzed on its own.
#pragma once

#include <cstdint>
#include <string_view>

#include "config/doughnut_geometry.h"

namespace hvtool {

// "640x480" -> 640, 480. False for anything else (signs, blanks, zero,
// more than 9 digits).
bool ParseSize(std::string_view text, int32_t& width, int32_t& height);

// 1 .. max from decimal digits only (at most 9 of them).
bool ParseWholeNumber(std::string_view text, int64_t max, int32_t& out);

// 1 .. max, as std::from_chars reads an int32 (leading zeros allowed).
bool ParseCount(std::string_view text, int32_t max, int32_t& out);

// 1 or more, as std::from_chars reads an int64.
bool ParsePositiveCount(std::string_view text, int64_t& out);

// A frame rate: "25", "30000/1001" (each part 1 .. 1000000), or a decimal
// such as "29.97" (29.97, 59.94 and 23.976 become their x/1001 rates, any
// other decimal N is taken as round(N x 1000) / 1000). Either form gives a
// rate above 0 and at most 240 frames per second; false otherwise.
bool ParseFrameRate(std::string_view text, int32_t& num, int32_t& den);

// "X1,Y1,X2,Y2,R": five whole numbers 1 .. 100000 into the geometry's left,
// top, width, height and inner radius; the flips stay.
bool ParseGeometryValues(std::string_view text, hv::DoughnutGeometry& g);

// A length in seconds: above 0, at most 36000 (the C library's strtod
// syntax).
bool ParseSeconds(std::string_view text, double& seconds);

// A decimal number, finite and at most 1e9 in size (export's angles,
// times, crf and width).
bool ParseBoundedNumber(std::string_view text, double& value);

// A finite decimal number that stays finite as a float (view's angles).
bool ParseDegrees(std::string_view text, float& value);

// --frame: a frame number 0 or more; --time: seconds, finite, 0 or more.
bool ParseFrameNumber(std::string_view text, int64_t& frame);
bool ParseTimeSeconds(std::string_view text, double& seconds);

}  // namespace hvtool
