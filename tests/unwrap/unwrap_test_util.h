// Frames and geometries shared by the unwrap tests.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "config/doughnut_geometry.h"
#include "unwrap/ring_geometry.h"
#include "video/frame_source.h"

namespace hvtest {

// The worked example: 640 x 480 with 115, 35, 390, 380, 35.
inline constexpr hv::DoughnutGeometry kExampleGeometry{115, 35, 390, 380, 35, 0, 0};
hv::RingGeometry ExampleRing();

// A frame whose every pixel names its own place: Code(memoryRow, column).
// The spare row stays zero, as in a real frame buffer.
inline uint32_t Code(int32_t memoryRow, int32_t column) {
    return (uint32_t(memoryRow + 1) << 16) | uint32_t(column);
}
hv::FrameBuffer CodedFrame(int32_t width, int32_t height);

// Every pixel `value` (spare row zero).
hv::FrameBuffer UniformFrame(int32_t width, int32_t height, uint32_t value);

// Deterministic pseudo-random pixels.
hv::FrameBuffer NoiseFrame(int32_t width, int32_t height, uint32_t seed);

// A source that hands out a picture set by the test (the current frame
// operation only; the transport does nothing). SetPicture and CurrentFrame
// may run on different threads.
class StillSource : public hv::FrameSource {
  public:
    explicit StillSource(const hv::FrameBuffer& picture);
    void SetPicture(const hv::FrameBuffer& picture);
    // While held, CurrentFrame waits (to keep a job busy).
    void Hold(bool on);
    int CurrentFrameCalls() const { return calls_.load(); }

    bool CurrentFrame(uint32_t* dst, int32_t* size) override;
    bool Run() override { return true; }
    bool Pause() override { return true; }
    bool Stop() override { return true; }
    bool WaitForState() override { return true; }
    int64_t Position() override { return 0; }
    bool Seek(int64_t) override { return true; }
    int32_t GetVolume() override { return 0; }
    bool SetVolume(int32_t) override { return true; }
    void Close() override {}
    const hv::VideoFormat& Format() const override { return format_; }

  private:
    std::mutex mu_;
    std::condition_variable cv_;
    bool hold_ = false;
    std::vector<uint32_t> picture_;  // guarded by mu_
    hv::VideoFormat format_;
    std::atomic<int> calls_{0};
};

}  // namespace hvtest
