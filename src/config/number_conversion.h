// Text-to-integer conversion used for every numeric value of CamSetup.xml.
#pragma once

#include <cstdint>
#include <string_view>

namespace hv {

// Converts the number at the start of `text` to a 32-bit integer. Never fails:
// - leading spaces, tabs, CRs and LFs are skipped;
// - the longest leading number is taken: an optional sign, digits with an
//   optional decimal point, and an optional exponent (E or e, optional sign,
//   digits), or "&H"/"&O"/"&B" (any case) followed by hexadecimal, octal or
//   binary digits; whatever follows the number is ignored;
// - text with no number gives 0 (so do "&H" without digits, a lone sign, ".");
// - the value is rounded to the nearest integer with halves to the even
//   neighbour (12.5 -> 12, 13.5 -> 14, -2.5 -> -2);
// - a value outside the 32-bit range saturates to INT32_MIN / INT32_MAX
//   (after rounding), whatever its magnitude or exponent;
// - &H, &O and &B numbers are non-negative magnitudes (&HFFFFFFFF is
//   4294967295 and saturates; it does not wrap to -1).
// Independent of the C locale (the decimal point is always '.').
int32_t ConvertNumber(std::string_view text);

}  // namespace hv
