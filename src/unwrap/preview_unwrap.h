// The setup utility's preview: the ring of each frame unwrapped straight into
// the preview strip, evaluated pixel by pixel (no table), with the preview
// geometry (BuildPreviewGeometry) and the same mapping, bounds and flip
// orders as the player's table (unwrap_table.h). In flip mode 0 the preview
// leaves out the 0.204 pi seam offset.
//
// The strip is the view part of the panorama only: Wp columns by Hp - inner
// rows, bottom-up, stride 4 * Wp bytes; with FLIP_V 0 it starts at panorama
// row inner, with FLIP_V 1 at row 0.
#pragma once

#include <cstdint>
#include <vector>

#include "unwrap/ring_geometry.h"
#include "unwrap/unwrap_table.h"
#include "frame/frame_buffer.h"

namespace hv {

struct PreviewImage {
    int32_t width = 0;   // Wp
    int32_t height = 0;  // Hp - inner
    std::vector<uint32_t> pixels;
};

// Not thread-safe: one owner (the setup utility's worker thread).
class PreviewUnwrapper {
  public:
    // A new geometry or flip mode (the preview mapping "marked for
    // rebuilding"); recomputes the column angles.
    void SetMapping(const RingGeometry& ring, FlipMode mode);
    const RingGeometry& Geometry() const { return ring_; }
    FlipMode Mode() const { return mode_; }
    bool HasMapping() const { return ring_.Wp > 0; }

    // Unwraps `frame` into `image`, which is re-sized (and zeroed) when its
    // size differs from the strip's. Pixels whose sample lies outside the
    // frame keep their previous value. False when there is no mapping or
    // the frame is not the size the geometry was built for.
    bool Unwrap(const FrameBuffer& frame, PreviewImage& image) const;

  private:
    RingGeometry ring_;
    FlipMode mode_ = 0;
    ColumnAngles angles_;
};

}  // namespace hv
