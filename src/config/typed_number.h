// A whole number typed into a bounded field (hvconfig's Geometry dialog),
// judged keystroke by keystroke the way a spin box judges its text.
#pragma once

#include <cstdint>
#include <string_view>

namespace hv {

enum class TypedState {
    Invalid,       // the keystroke that made this text is refused
    Intermediate,  // may become a number in range with more typing; not applied
    Acceptable,    // a number in range: `value`
};

struct TypedNumber {
    TypedState state = TypedState::Invalid;
    int32_t value = 0;  // set when Acceptable
};

// Reads `text` for a field that takes lo .. hi (lo <= hi). Blanks around
// the number are ignored; the number is an optional sign ('-' only when lo
// is negative, '+' only when hi is not) and decimal digits, nothing else.
//  - Acceptable: a number within lo .. hi;
//  - Intermediate: no digits yet (empty, a lone sign), or a number outside
//    the range that more digits could still bring into it (a positive one
//    below lo, a negative one above hi), unless lo == hi;
//  - Invalid: anything else (letters, a second sign, more than ten digits,
//    a number past the range that more digits only take further away).
TypedNumber ReadTypedNumber(std::string_view text, int32_t lo, int32_t hi);

}  // namespace hv
