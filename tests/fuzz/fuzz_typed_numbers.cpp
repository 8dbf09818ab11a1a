// libFuzzer target: typed numbers. hvconfig's Geometry dialog judges each
// keystroke with ReadTypedNumber; hvtool reads its options' numbers with
// the parsers of tool/number_options.h.
//
// Input: one byte picks the parser (and, for the typed field, its range),
// the rest is the text.
//
// Checks beyond "no crash": whatever a parser accepts lies in the range its
// contract gives, and the number printed back reads as the same value; the
// typed field's verdict agrees with a reference reading for every range.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "config/typed_number.h"
#include "fuzz_input.h"
#include "tool/number_options.h"

namespace {

// The Geometry dialog's three ranges, a one-value range, ranges below and
// around zero and the 32-bit extremes.
constexpr int32_t kRanges[][2] = {
    {-6000, 6000},
    {4, 6000},
    {0, 3000},
    {7, 7},
    {-100, -50},
    {-5, 5},
    {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()},
};

// The verdict from first principles: trimmed, an optional sign, digits.
hv::TypedState Reference(std::string_view t, int32_t lo, int32_t hi, int64_t* value) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!t.empty() && blank(t.front())) t.remove_prefix(1);
    while (!t.empty() && blank(t.back())) t.remove_suffix(1);
    if (t.empty()) return hv::TypedState::Intermediate;
    int sign = 1;
    if (t[0] == '+' || t[0] == '-') {
        if (t[0] == '-' && lo >= 0) return hv::TypedState::Invalid;
        if (t[0] == '+' && hi < 0) return hv::TypedState::Invalid;
        sign = t[0] == '-' ? -1 : 1;
        t.remove_prefix(1);
        if (t.empty()) return hv::TypedState::Intermediate;
    }
    if (t.size() > 10 || t.find_first_not_of("0123456789") != std::string_view::npos)
        return hv::TypedState::Invalid;
    const int64_t v = sign * std::stoll(std::string(t));
    *value = v;
    if (v >= lo && v <= hi) return hv::TypedState::Acceptable;
    if (lo == hi) return hv::TypedState::Invalid;
    // More digits move a number away from zero.
    if (v >= 0 ? v < lo : v > hi) return hv::TypedState::Intermediate;
    return hv::TypedState::Invalid;
}

void CheckTyped(std::string_view text, int32_t lo, int32_t hi) {
    const hv::TypedNumber n = hv::ReadTypedNumber(text, lo, hi);
    int64_t v = 0;
    Check(n.state == Reference(text, lo, hi, &v));
    if (n.state != hv::TypedState::Acceptable) return;
    Check(n.value == v && n.value >= lo && n.value <= hi);
    const hv::TypedNumber back = hv::ReadTypedNumber(std::to_string(n.value), lo, hi);
    Check(back.state == hv::TypedState::Acceptable && back.value == n.value);
}

void CheckTool(uint8_t which, std::string_view text) {
    switch (which % 10) {
        case 0: {
            int32_t w = 0, h = 0;
            if (!hvtool::ParseSize(text, w, h)) return;
            Check(w > 0 && h > 0 && w <= 999999999 && h <= 999999999);
            int32_t w2 = 0, h2 = 0;
            Check(hvtool::ParseSize(std::to_string(w) + "x" + std::to_string(h), w2, h2));
            Check(w2 == w && h2 == h);
            return;
        }
        case 1: {
            int32_t v = 0;
            if (!hvtool::ParseWholeNumber(text, 1'000'000, v)) return;
            Check(v >= 1 && v <= 1'000'000);
            return;
        }
        case 2: {
            int32_t v = 0;
            if (!hvtool::ParseCount(text, 64, v)) return;
            Check(v >= 1 && v <= 64);
            return;
        }
        case 3: {
            int64_t v = 0;
            if (hvtool::ParsePositiveCount(text, v)) Check(v >= 1);
            return;
        }
        case 4: {
            int32_t num = 0, den = 0;
            if (!hvtool::ParseFrameRate(text, num, den)) return;
            Check(num > 0 && den > 0);
            const double fps = double(num) / den;
            Check(fps > 0 && fps <= 240);
            // make-video's frame count for its longest length fits 32 bits.
            Check(std::ceil(36000 * fps) < 2147483647.0);
            return;
        }
        case 5: {
            hv::DoughnutGeometry g;
            g.flipH = 1;
            if (!hvtool::ParseGeometryValues(text, g)) return;
            for (int32_t v : {g.left, g.top, g.width, g.height, g.innerRadius})
                Check(v >= 1 && v <= 100000);
            Check(g.flipH == 1);
            return;
        }
        case 6: {
            double s = 0;
            if (!hvtool::ParseSeconds(text, s)) return;
            Check(s > 0 && s <= 36000);
            return;
        }
        case 7: {
            double v = 0;
            if (!hvtool::ParseBoundedNumber(text, v)) return;
            Check(std::isfinite(v) && std::fabs(v) <= 1e9);
            return;
        }
        case 8: {
            float f = 0;
            if (hvtool::ParseDegrees(text, f)) Check(std::isfinite(f));
            return;
        }
        default: {
            int64_t n = 0;
            double s = 0;
            if (hvtool::ParseFrameNumber(text, n)) Check(n >= 0);
            if (hvtool::ParseTimeSeconds(text, s)) Check(std::isfinite(s) && s >= 0);
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 0x80) {
        CheckTool(data[0] & 0x7f, text);
    } else {
        for (const auto& r : kRanges) CheckTyped(text, r[0], r[1]);
    }
    return 0;
}
