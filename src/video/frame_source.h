// The frame source contract: the records that describe a decoded picture and
// its stream, and the operations every video source offers. Plain C++; the
// GStreamer implementation lives in gst_frame_source.{h,cpp}.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace hv {

// Valid after a successful open.
struct VideoFormat {
    int32_t width = 0;
    int32_t height = 0;
    int32_t sampleSize = 0;         // bytes of one decoded picture (4 * width * height)
    int64_t avgTimePerFrame = 0;    // 100 ns units
    int64_t duration = 0;           // 100 ns units
    double durationSeconds = 0.0;   // duration / 1e7
    int32_t frameCount = 0;         // floor(duration / avgTimePerFrame)
};

// width x (height + 1) 32-bit BGRX cells, rows bottom-up. The spare row
// (memory row `height`) is never written by a source and stays zero.
struct FrameBuffer {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;

    void Allocate(int32_t w, int32_t h) {
        width = w;
        height = h;
        pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h + 1), 0u);
    }
    uint32_t* data() { return pixels.data(); }
    const uint32_t* data() const { return pixels.data(); }
    // Bytes of the picture part (without the spare row).
    int32_t PictureBytes() const { return 4 * width * height; }
};

class FrameSource {
public:
    virtual ~FrameSource() = default;

    // Copies the most recently decoded picture (at most *size bytes) into
    // dst, bottom-up rows, and sets *size to the bytes copied. Returns the
    // same picture again when nothing new was decoded. Any thread, any time
    // while the source is open. Returns false when no picture is available.
    virtual bool CurrentFrame(uint32_t* dst, int32_t* size) = 0;

    virtual bool Run() = 0;
    virtual bool Pause() = 0;
    virtual bool Stop() = 0;
    virtual bool WaitForState() = 0;
    virtual int64_t Position() = 0;  // 100 ns units
    virtual bool Seek(int64_t t) = 0;  // 100 ns units, flushing and accurate
    virtual int32_t GetVolume() = 0;   // hundredths of a dB, -10000..0
    virtual bool SetVolume(int32_t v) = 0;
    virtual void Close() = 0;

    virtual const VideoFormat& Format() const = 0;
};

}  // namespace hv
