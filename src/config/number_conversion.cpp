#include "config/number_conversion.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace hv {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int32_t Saturate(double rounded) {
    if (rounded >= static_cast<double>(kMax)) return kMax;
    if (rounded <= static_cast<double>(kMin)) return kMin;
    return static_cast<int32_t>(rounded);
}

// Digit value in `base`, or -1.
int DigitValue(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

// "&H1F", "&O17", "&B101": `text` starts after the ampersand.
int32_t ConvertRadix(std::string_view text) {
    if (text.empty()) return 0;
    int base = 0;
    switch (text[0]) {
        case 'H':
        case 'h':
            base = 16;
            break;
        case 'O':
        case 'o':
            base = 8;
            break;
        case 'B':
        case 'b':
            base = 2;
            break;
        default:
            return 0;
    }
    uint64_t value = 0;
    for (size_t i = 1; i < text.size(); ++i) {
        const int d = DigitValue(text[i], base);
        if (d < 0) break;
        // Once past the 32-bit range the result is fixed; keep scanning only
        // to honour "longest number", without growing the accumulator.
        if (value <= static_cast<uint64_t>(kMax)) value = value * base + d;
    }
    return value > static_cast<uint64_t>(kMax) ? kMax : static_cast<int32_t>(value);
}

}  // namespace

int32_t ConvertNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size() && text[i] == '&') return ConvertRadix(text.substr(i + 1));

    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    // Mantissa: digits [ '.' digits ]. `magnitude` is the decimal exponent of
    // the first non-zero digit plus one (value = 0.d1d2... x 10^magnitude),
    // tracked so that absurd inputs are decided without calling the parser.
    const size_t mantissaStart = i;
    size_t digits = 0;
    bool nonZeroSeen = false;
    int64_t magnitude = 0;
    while (i < text.size() && IsDigit(text[i])) {
        if (text[i] != '0') nonZeroSeen = true;
        if (nonZeroSeen) ++magnitude;
        ++digits, ++i;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            if (text[i] != '0')
                nonZeroSeen = true;
            else if (!nonZeroSeen)
                --magnitude;
            ++digits, ++i;
        }
    }
    if (digits == 0) return 0;
    const size_t mantissaEnd = i;

    // Exponent, taken only when at least one digit follows.
    int64_t exponent = 0;
    size_t numberEnd = mantissaEnd;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        size_t j = i + 1;
        bool expNegative = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) expNegative = text[j++] == '-';
        const size_t expDigitsStart = j;
        while (j < text.size() && IsDigit(text[j])) {
            // Saturate far beyond any meaningful exponent.
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[j] - '0');
            ++j;
        }
        if (j > expDigitsStart) {
            if (expNegative) exponent = -exponent;
            numberEnd = j;
        } else {
            exponent = 0;
        }
    }

    if (!nonZeroSeen) return 0;
    const int64_t scale = magnitude + exponent;
    if (scale > 10) return negative ? kMin : kMax;  // |value| >= 1e10
    if (scale < -1) return 0;                       // |value| < 0.01

    // The value lies within [0.01, 1e10): the parser cannot overflow. Its
    // input is the number without the sign, as from_chars wants it.
    double value = 0;
    const std::string_view number = text.substr(mantissaStart, numberEnd - mantissaStart);
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                        std::chars_format::general);
    if (result.ec != std::errc()) return 0;  // not reached for a well-formed number
    if (negative) value = -value;
    return Saturate(std::nearbyint(value));
}

}  // namespace hv
