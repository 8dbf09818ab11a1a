#include "video/video_info.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace hv {

std::string FormatGeneral(double v) {
    if (!std::isfinite(v) || v == 0.0) return "0";
    // Let printf round to 15 significant digits, then lay the digits out
    // without an exponent.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", v);
    std::string s = buf;
    const bool negative = s[0] == '-';
    if (negative) s.erase(0, 1);
    const size_t e = s.find('e');
    const int exponent = std::atoi(s.c_str() + e + 1);
    std::string digits = s.substr(0, 1) + s.substr(2, e - 2);  // 15 digits
    std::string out;
    if (exponent >= 0) {
        const size_t intLen = static_cast<size_t>(exponent) + 1;
        if (digits.size() < intLen) digits.append(intLen - digits.size(), '0');
        out = digits.substr(0, intLen);
        const std::string frac = digits.substr(intLen);
        if (!frac.empty()) out += "." + frac;
    } else {
        out = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    if (out.find('.') != std::string::npos) {
        while (out.back() == '0') out.pop_back();
        if (out.back() == '.') out.pop_back();
    }
    return negative ? "-" + out : out;
}

std::string FormatMask(double v, int intDigits, int fracDigits) {
    if (!std::isfinite(v)) v = 0.0;
    char buf[400];
    // printf rounds the exact binary value to the nearest, halves to even.
    std::snprintf(buf, sizeof buf, "%.*f", fracDigits, std::fabs(v));
    std::string s = buf;
    const size_t point = s.find('.');
    const size_t intLen = point == std::string::npos ? s.size() : point;
    if (intLen < static_cast<size_t>(intDigits))
        s.insert(0, static_cast<size_t>(intDigits) - intLen, '0');
    const bool negative = v < 0 && s.find_first_not_of("0.") != std::string::npos;
    return negative ? "-" + s : s;
}

std::string FormatDuration(double t) {
    if (!std::isfinite(t) || t < 0) t = 0;
    double h = std::trunc(t / 3600);
    double m = std::trunc((t - 3600 * h) / 60);
    double s = std::trunc(t - 3600 * h - 60 * m);
    double ms = std::nearbyint(1000 * (t - std::trunc(t)));
    if (ms >= 1000) {
        // The fraction rounded up to a whole second: carry it instead of
        // printing a four-digit millisecond field.
        const double whole = std::trunc(t) + 1;
        h = std::trunc(whole / 3600);
        m = std::trunc((whole - 3600 * h) / 60);
        s = whole - 3600 * h - 60 * m;
        ms = 0;
    }
    return FormatMask(h, 2, 0) + ":" + FormatMask(m, 2, 0) + ":" + FormatMask(s, 2, 0) + "." +
           FormatMask(ms, 3, 0);
}

double FrameRateOf(const VideoFormat& format) {
    if (format.avgTimePerFrame <= 0) return 0.0;
    return 10'000'000.0 / static_cast<double>(format.avgTimePerFrame);
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string BeginVideoInfo(const std::string& path) {
    return "Video file: " + FileNameOf(path) + kLineBreak;
}

namespace {

std::string CommonStreamLines(const VideoFormat& f) {
    std::string s;
    s += "Frame size: " + FrameSizeLabel(f) + kLineBreak;
    s += "Frames quantity: " + FormatGeneral(f.frameCount) + kLineBreak;
    s += "FPS: " + FormatGeneral(FrameRateOf(f)) + kLineBreak;
    return s;
}

}  // namespace

std::string PlayerStreamLines(const VideoFormat& f, int32_t panoramaWidth, int32_t panoramaHeight) {
    std::string s = CommonStreamLines(f);
    s += "Duration: " + FormatDuration(static_cast<double>(f.duration) / 10'000'000.0) + kLineBreak;
    s += "Doghnut frame: " + FormatGeneral(panoramaWidth) + "x" + FormatGeneral(panoramaHeight);
    return s;
}

std::string SetupStreamLines(const VideoFormat& f) {
    return CommonStreamLines(f) + "Video Setup: On";
}

std::string VideoInfoText(const std::string& path, const VideoFormat& format, int32_t panoramaWidth,
                          int32_t panoramaHeight) {
    return BeginVideoInfo(path) + PlayerStreamLines(format, panoramaWidth, panoramaHeight);
}

std::string FrameSizeLabel(const VideoFormat& f) {
    return FormatGeneral(f.width) + "x" + FormatGeneral(f.height);
}

std::string FrameRateLabel(const VideoFormat& f) {
    return FormatMask(FrameRateOf(f), 2, 2) + " FPS";
}

bool IsVideoInfoBlank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

}  // namespace hv
