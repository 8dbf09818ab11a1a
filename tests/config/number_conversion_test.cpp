#include "config/number_conversion.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "config/typed_number.h"

namespace {

using hv::ConvertNumber;

struct Case {
    std::string text;
    int32_t expected;
};

void ExpectAll(const std::initializer_list<Case>& cases) {
    for (const auto& c : cases)
        EXPECT_EQ(ConvertNumber(c.text), c.expected) << "text: \"" << c.text << '"';
}

TEST(NumberConversion, DecimalIntegersAndSigns) {
    ExpectAll({{"0", 0}, {"36", 36}, {"-12", -12}, {"+5", 5}, {"007", 7}, {"-0", 0}, {"111", 111}});
}

TEST(NumberConversion, HalvesRoundToEven) {
    ExpectAll({{"12.5", 12},
               {"13.5", 14},
               {"0.5", 0},
               {"1.5", 2},
               {"-2.5", -2},
               {"-3.5", -4},
               {"2.4999", 2},
               {"2.5001", 3},
               {"12.7", 13},
               {".5", 0},
               {".51", 1},
               {"7.", 7},
               {"-.75", -1}});
}

TEST(NumberConversion, NoNumberGivesZero) {
    ExpectAll({{"", 0},
               {"abc", 0},
               {"-", 0},
               {"+", 0},
               {".", 0},
               {"-.", 0},
               {"E5", 0},
               {"x36", 0},
               {"&", 0},
               {"&Z12", 0},
               {"&H", 0},
               {"&HG", 0},
               {"&O8", 0},
               {"&B2", 0},
               {"- 5", 0}});
}

TEST(NumberConversion, LeadingBlanksSkippedTrailingTextIgnored) {
    ExpectAll({{" 36 ", 36},
               {"\t\r\n 42", 42},
               {"\r\n-7\r\n", -7},
               {"36abc", 36},
               {"1,5", 1},
               {"12.7.3", 13},
               {"5<X1_1>", 5},
               {"1 2 3", 1},
               {"--5", 0},
               {"+-5", 0}});
}

TEST(NumberConversion, Exponents) {
    ExpectAll({{"1.5E1", 15},
               {"1.5e1", 15},
               {"15E-1", 2},
               {"25E-1", 2},
               {"1e3", 1000},
               {"1E+2", 100},
               {"-4.2E2", -420},
               {"1E", 1},
               {"2E+", 2},
               {"3e-", 3},
               {"7Ex", 7},
               {"0E999999999999999999999", 0},
               {"5E-1", 0},
               {"0.0015E3", 2}});
}

TEST(NumberConversion, HexOctalBinary) {
    ExpectAll({{"&HFF", 255},
               {"&hff", 255},
               {"&H1f", 31},
               {" \t&H10", 16},
               {"&HFFZ", 255},
               {"&O17", 15},
               {"&o777", 511},
               {"&O178", 15},
               {"&B101", 5},
               {"&b1102", 6},
               {"&H7FFFFFFF", INT32_MAX},
               {"&H80000000", INT32_MAX},
               {"&HFFFFFFFF", INT32_MAX},
               {"&H" + std::string(1000, 'F'), INT32_MAX},
               {"&B" + std::string(40, '1'), INT32_MAX}});
}

TEST(NumberConversion, OutOfRangeSaturates) {
    ExpectAll({{"2147483647", INT32_MAX},
               {"2147483648", INT32_MAX},
               {"-2147483648", INT32_MIN},
               {"-2147483649", INT32_MIN},
               {"2147483646.5", 2147483646},
               {"2147483647.4", INT32_MAX},
               {"2147483647.5", INT32_MAX},
               {"-2147483648.5", INT32_MIN},
               {"99999999999999999999999", INT32_MAX},
               {"-99999999999999999999999", INT32_MIN},
               {"1E300", INT32_MAX},
               {"1E400", INT32_MAX},
               {"-1E999999999999999999999", INT32_MIN},
               {"1E-400", 0},
               {"-1e-999999999999999999999", 0},
               {"9.99E9", INT32_MAX}});
}

TEST(NumberConversion, VeryLongDigitRuns) {
    ExpectAll({{std::string(100000, '1'), INT32_MAX},
               {"-" + std::string(100000, '9'), INT32_MIN},
               {std::string(100000, '0') + "42", 42},
               {"0." + std::string(100000, '0') + "1", 0},
               // Magnitude is decided by the digits and the exponent together.
               {"0." + std::string(500, '0') + "25E501", 2},
               {"0." + std::string(500, '0') + "35E501", 4},
               {std::string(500, '1') + "E-497", 111}});
}

// hvconfig's Geometry fields: what a keystroke may leave in the field.
TEST(TypedNumber, JudgesTextAsASpinBoxDoes) {
    using hv::TypedState;
    const auto state = [](const char* t, int32_t lo, int32_t hi) {
        return hv::ReadTypedNumber(t, lo, hi).state;
    };
    EXPECT_EQ(hv::ReadTypedNumber(" -50 ", -6000, 6000).value, -50);
    EXPECT_EQ(state("-50", -6000, 6000), TypedState::Acceptable);
    EXPECT_EQ(state("", -6000, 6000), TypedState::Intermediate);
    EXPECT_EQ(state("-", -6000, 6000), TypedState::Intermediate);
    EXPECT_EQ(state("-", 4, 6000), TypedState::Invalid);         // no negative values there
    EXPECT_EQ(state("1", 4, 6000), TypedState::Intermediate);    // "10" would do
    EXPECT_EQ(state("9999", -6000, 6000), TypedState::Invalid);  // more digits only grow it
    EXPECT_EQ(state("-9999", -6000, 6000), TypedState::Invalid);
    EXPECT_EQ(state("abc", -6000, 6000), TypedState::Invalid);
    EXPECT_EQ(state("1e3", -6000, 6000), TypedState::Invalid);
    EXPECT_EQ(state("99999999999", INT32_MIN, INT32_MAX), TypedState::Invalid);
    EXPECT_EQ(hv::ReadTypedNumber("-2147483648", INT32_MIN, INT32_MAX).value, INT32_MIN);
    EXPECT_EQ(state("2147483648", INT32_MIN, INT32_MAX), TypedState::Invalid);
}

}  // namespace
