#include "unwrap_test_util.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace hvtest {

hv::RingGeometry ExampleRing() {
    const hv::RingGeometryResult r = hv::BuildRingGeometry(kExampleGeometry, 640, 480);
    if (!r.ok) throw std::runtime_error(r.error);
    return r.ring;
}

hv::FrameBuffer CodedFrame(int32_t width, int32_t height) {
    hv::FrameBuffer fb;
    fb.Allocate(width, height);
    for (int32_t m = 0; m < height; ++m)
        for (int32_t x = 0; x < width; ++x) fb.pixels[size_t(m) * width + x] = Code(m, x);
    return fb;
}

hv::FrameBuffer UniformFrame(int32_t width, int32_t height, uint32_t value) {
    hv::FrameBuffer fb;
    fb.Allocate(width, height);
    std::fill(fb.pixels.begin(), fb.pixels.begin() + size_t(width) * height, value);
    return fb;
}

hv::FrameBuffer NoiseFrame(int32_t width, int32_t height, uint32_t seed) {
    hv::FrameBuffer fb;
    fb.Allocate(width, height);
    uint32_t s = seed * 2654435761u + 1;
    for (size_t i = 0; i < size_t(width) * height; ++i) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        fb.pixels[i] = s;
    }
    return fb;
}

StillSource::StillSource(const hv::FrameBuffer& picture) {
    SetPicture(picture);
}

void StillSource::SetPicture(const hv::FrameBuffer& picture) {
    std::lock_guard lock(mu_);
    picture_.assign(picture.pixels.begin(),
                    picture.pixels.begin() + size_t(picture.width) * picture.height);
}

void StillSource::Hold(bool on) {
    {
        std::lock_guard lock(mu_);
        hold_ = on;
    }
    cv_.notify_all();
}

bool StillSource::CurrentFrame(uint32_t* dst, int32_t* size) {
    calls_.fetch_add(1);
    std::unique_lock lock(mu_);
    cv_.wait(lock, [&] { return !hold_; });
    const size_t bytes = std::min(size_t(*size), picture_.size() * 4);
    std::memcpy(dst, picture_.data(), bytes);
    *size = int32_t(bytes);
    return true;
}

}  // namespace hvtest
