// The frame source contract: the records that describe a decoded picture and
// its stream, and the operations every video source offers. Plain C++; the
// GStreamer implementation lives in gst_frame_source.{h,cpp}.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "video/messages.h"

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

// How a source is opened.
struct FrameSourceOptions {
    // The player plays the file's sound; the setup utility has no sound
    // branch. A file without sound plays its picture either way.
    bool withAudio = true;
    // Upper bound of the wait for the first picture; a file that has not
    // prerolled by then fails as undecodable (BuildStep::ConnectSource).
    int32_t prerollTimeoutMs = 10'000;
    // Pictures are handed over at their presentation time (normal play).
    // Off only for measuring decode speed: pictures then come as fast as
    // they can be decoded and the sound branch is left out.
    bool syncToClock = true;
};

// Thread rules: Open and Close on the worker thread that owns the source;
// CurrentFrame from any thread; Run, Pause, Seek, Position, GetVolume and
// SetVolume from the worker or the GUI thread. Every operation is safe to
// call after Close (it then does nothing and returns false / 0).
class FrameSource {
  public:
    virtual ~FrameSource() = default;

    // Opens the file, prerolls it with a bounded wait, reads the negotiated
    // picture format into Format() and starts playing. On failure returns
    // the step that failed and leaves nothing open (Close is still safe).
    // A source that cannot open files (a substitute fed otherwise) keeps the
    // default, which fails silently.
    virtual BuildStep Open(const std::string& /*path*/, const FrameSourceOptions& /*options*/) {
        return BuildStep::CreateGraph;
    }

    // True while an audio branch is playing the file's sound (player, file
    // with sound). The volume operations act only then.
    virtual bool HasAudio() const { return false; }

    // Copies the most recently decoded picture (at most *size bytes) into
    // dst, bottom-up rows, and sets *size to the bytes copied. Returns the
    // same picture again when nothing new was decoded. Any thread, any time
    // while the source is open. Returns false when no picture is available.
    virtual bool CurrentFrame(uint32_t* dst, int32_t* size) = 0;

    // Number of pictures the source has decoded and kept so far (any
    // thread). A caller that sees the same number twice knows CurrentFrame
    // would copy the same picture again. Sources that cannot tell return 0.
    virtual uint64_t PictureSerial() const { return 0; }

    virtual bool Run() = 0;
    virtual bool Pause() = 0;
    virtual bool Stop() = 0;
    // Returns once a pending run, pause or stop has taken effect; bounded
    // (a few seconds) so that a stuck stream never hangs the caller.
    virtual bool WaitForState() = 0;
    // 100 ns units. After the end of the stream has been reached (and
    // until the next seek) this is exactly Format().duration.
    virtual int64_t Position() = 0;
    virtual bool Seek(int64_t t) = 0;  // 100 ns units, flushing and accurate
    virtual int32_t GetVolume() = 0;   // hundredths of a dB, -10000..0
    virtual bool SetVolume(int32_t v) = 0;
    virtual void Close() = 0;

    virtual const VideoFormat& Format() const = 0;
};

}  // namespace hv
