#include "unwrap/preview_unwrap.h"

namespace hv {

void PreviewUnwrapper::SetMapping(const RingGeometry& ring, FlipMode mode) {
    ring_ = ring;
    mode_ = mode;
    ComputeColumnAngles(ring_, mode_, angles_);
}

bool PreviewUnwrapper::Unwrap(const FrameBuffer& frame, PreviewImage& image) const {
    if (!HasMapping() || ring_.Hs() <= 0) return false;
    if (frame.width != ring_.frameW || frame.height != ring_.frameH ||
        frame.pixels.size() < size_t(frame.width) * (size_t(frame.height) + 1))
        return false;
    const int32_t Ws = ring_.Ws(), Hs = ring_.Hs();
    if (image.width != Ws || image.height != Hs || image.pixels.size() != size_t(Ws) * size_t(Hs)) {
        image.width = Ws;
        image.height = Hs;
        image.pixels.assign(size_t(Ws) * size_t(Hs), 0u);
    }
    // Panorama pixels before `first` and from `end` on are not shown.
    const int64_t first = int64_t{ring_.ViewSourceRow(mode_)} * Ws;
    const int64_t end = first + int64_t{Hs} * Ws;
    const uint32_t* src = frame.data();
    uint32_t* dst = image.pixels.data();
    const int64_t Wf = frame.width;
    ForEachRingSample(ring_, mode_, angles_, [&](int64_t i, int32_t x, int32_t row) {
        if (i >= first && i < end) dst[i - first] = src[row * Wf + x];
    });
    return true;
}

}  // namespace hv
