// Frames and geometries shared by the unwrap tests.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "config/doughnut_geometry.h"
#include "unwrap/ring_geometry.h"
#include "frame/frame_buffer.h"

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

// Hands out a picture set by the test, as a frame source's current-frame
// operation would. SetPicture and the fill may run on different threads.
class StillSource {
  public:
    explicit StillSource(const hv::FrameBuffer& picture);
    void SetPicture(const hv::FrameBuffer& picture);
    // While held, CurrentFrame waits (to keep a job busy).
    void Hold(bool on);
    int CurrentFrameCalls() const { return calls_.load(); }

    bool CurrentFrame(uint32_t* dst, int32_t* size);
    // The engine's fill step: the picture into the job's frame buffer.
    std::function<void(hv::FrameBuffer&)> Fill() {
        return [this](hv::FrameBuffer& fb) {
            int32_t size = fb.PictureBytes();
            CurrentFrame(fb.data(), &size);
        };
    }

  private:
    std::mutex mu_;
    std::condition_variable cv_;
    bool hold_ = false;
    std::vector<uint32_t> picture_;  // guarded by mu_
    std::atomic<int> calls_{0};
};

}  // namespace hvtest
