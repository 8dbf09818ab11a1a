// The plain records of a decoded picture and its stream: the negotiated
// format, the frame-size limits and the frame buffer the unwrap reads.
// Plain C++: every layer above (unwrap, video, playback) uses them, and
// this folder includes none of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hv {

// Valid after a successful open.
struct VideoFormat {
    int32_t width = 0;
    int32_t height = 0;
    int32_t sampleSize = 0;        // bytes of one decoded picture (4 * width * height)
    int64_t avgTimePerFrame = 0;   // 100 ns units
    int64_t duration = 0;          // 100 ns units
    double durationSeconds = 0.0;  // duration / 1e7
    int32_t frameCount = 0;        // floor(duration / avgTimePerFrame)
};

// Largest picture the programs accept: per side, and in pixels (4 bytes per
// pixel, the spare row included, stay far inside 32 bits).
inline constexpr int32_t kMaxFrameSide = 16384;
inline constexpr int64_t kMaxFramePixels = int64_t{1} << 27;

inline bool ValidFrameSize(int64_t w, int64_t h) {
    return w > 0 && h > 0 && w <= kMaxFrameSide && h <= kMaxFrameSide && w * h <= kMaxFramePixels;
}

// width x (height + 1) 32-bit BGRX cells, rows bottom-up. The spare row
// (memory row `height`) is never written by a source and stays zero.
struct FrameBuffer {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;

    // Sizes the buffer for a w x h picture, all zero. A size outside
    // ValidFrameSize leaves an empty 0 x 0 buffer and returns false.
    bool Allocate(int32_t w, int32_t h) {
        if (!ValidFrameSize(w, h)) {
            width = height = 0;
            pixels.clear();
            return false;
        }
        width = w;
        height = h;
        pixels.assign(static_cast<size_t>(w) * (static_cast<size_t>(h) + 1), 0u);
        return true;
    }
    uint32_t* data() { return pixels.data(); }
    const uint32_t* data() const { return pixels.data(); }
    // Bytes of the picture part (without the spare row); fits 32 bits for
    // every valid size.
    int32_t PictureBytes() const { return static_cast<int32_t>(4 * int64_t{width} * height); }
};

// 100 ns units per second.
inline constexpr int64_t kUnitsPerSecond = 10'000'000;

// Average time per frame reported for a stream whose caps carry no usable
// frame rate (absent, 0/1, negative) and whose first picture has no
// duration either: 25 frames per second.
inline constexpr int64_t kFallbackAvgTimePerFrame = 400'000;

// 10^7 * den / num in 100 ns units, rounded to the nearest integer (halves
// to even); 30000/1001 gives 333,667 and 25/1 gives 400,000. Returns 0 when
// the rate is unusable (num or den not positive).
inline int64_t AvgTimePerFrameFromRate(int32_t num, int32_t den) {
    if (num <= 0 || den <= 0) return 0;
    const int64_t scaled = kUnitsPerSecond * den;
    int64_t q = scaled / num;
    const int64_t r = scaled % num;
    if (2 * r > num || (2 * r == num && (q & 1) != 0)) ++q;
    return q;
}

// floor(duration / avgTimePerFrame); 0 when either is not positive, clamped
// to the 32-bit range.
inline int32_t FrameCountOf(int64_t duration, int64_t avgTimePerFrame) {
    if (duration <= 0 || avgTimePerFrame <= 0) return 0;
    const int64_t n = duration / avgTimePerFrame;
    return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

}  // namespace hv
