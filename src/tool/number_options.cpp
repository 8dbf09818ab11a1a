#include "tool/number_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <system_error>

namespace hvtool {
namespace {

// The highest frame rate either form of --fps takes.
constexpr double kMaxFrameRate = 240;

bool ParseDimension(std::string_view s, int32_t& v) {
    if (s.empty() || s.size() > 9) return false;
    for (char ch : s) {
        if (ch < '0' || ch > '9') return false;
    }
    const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    return res.ec == std::errc() && v > 0;
}

}  // namespace

bool ParseSize(std::string_view text, int32_t& width, int32_t& height) {
    const size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    return ParseDimension(text.substr(0, x), width) && ParseDimension(text.substr(x + 1), height);
}

bool ParseWholeNumber(std::string_view text, int64_t max, int32_t& out) {
    if (text.empty() || text.size() > 9) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v <= 0 || v > max) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool ParseCount(std::string_view text, int32_t max, int32_t& out) {
    int32_t v = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size() || v < 1 || v > max) return false;
    out = v;
    return true;
}

bool ParsePositiveCount(std::string_view text, int64_t& out) {
    int64_t v = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size() || v < 1) return false;
    out = v;
    return true;
}

bool ParseFrameRate(std::string_view text, int32_t& num, int32_t& den) {
    const size_t slash = text.find('/');
    if (slash != std::string_view::npos) {
        // The same limit as the decimal form: make-video counts frames in 32
        // bits (1000000/1 over its longest length overflowed them).
        int32_t n = 0, d = 0;
        if (!ParseWholeNumber(text.substr(0, slash), 1'000'000, n) ||
            !ParseWholeNumber(text.substr(slash + 1), 1'000'000, d) || n > kMaxFrameRate * d)
            return false;
        num = n;
        den = d;
        return true;
    }
    char* end = nullptr;
    const std::string s(text);
    const double v = std::strtod(s.c_str(), &end);
    if (s.empty() || *end != '\0' || !(v > 0) || v > kMaxFrameRate) return false;
    if (std::fabs(v - 29.97) < 1e-9) {
        num = 30000;
        den = 1001;
        return true;
    }
    if (std::fabs(v - 59.94) < 1e-9) {
        num = 60000;
        den = 1001;
        return true;
    }
    if (std::fabs(v - 23.976) < 1e-9) {
        num = 24000;
        den = 1001;
        return true;
    }
    num = static_cast<int32_t>(std::lrint(v * 1000));
    den = 1000;
    return num > 0;
}

bool ParseGeometryValues(std::string_view text, hv::DoughnutGeometry& g) {
    int32_t v[5];
    for (int k = 0; k < 5; ++k) {
        const size_t comma = text.find(',');
        const std::string_view part = k < 4 ? text.substr(0, comma) : text;
        if ((k < 4 && comma == std::string_view::npos) || !ParseWholeNumber(part, 100000, v[k]))
            return false;
        if (k < 4) text.remove_prefix(comma + 1);
    }
    g.left = v[0];
    g.top = v[1];
    g.width = v[2];
    g.height = v[3];
    g.innerRadius = v[4];
    return true;
}

bool ParseSeconds(std::string_view text, double& seconds) {
    const std::string s(text);
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (*end != '\0' || !(v > 0) || v > 36000) return false;
    seconds = v;
    return true;
}

bool ParseBoundedNumber(std::string_view text, double& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value) && std::fabs(value) <= 1e9;
}

bool ParseDegrees(std::string_view text, float& value) {
    double v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end || !std::isfinite(v)) return false;
    value = static_cast<float>(v);
    return std::isfinite(value);
}

bool ParseFrameNumber(std::string_view text, int64_t& frame) {
    int64_t n = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, n);
    if (ec != std::errc() || ptr != end || text.empty() || n < 0) return false;
    frame = n;
    return true;
}

bool ParseTimeSeconds(std::string_view text, double& seconds) {
    double s = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, s);
    if (ec != std::errc() || ptr != end || text.empty() || !std::isfinite(s) || s < 0) return false;
    seconds = s;
    return true;
}

}  // namespace hvtool
