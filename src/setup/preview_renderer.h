// PreviewStep's picture work, done on the video worker for every pumped
// frame: the preview mapping of the frame into the preview strip, and
// DrawSetupFrame's two pictures. No threads, no widgets: the caller hands the
// pictures to the GUI thread.
#pragma once

#include <QImage>
#include <cstdint>
#include <string>

#include "setup/setup_state.h"
#include "unwrap/preview_unwrap.h"
#include "unwrap/ring_geometry.h"
#include "video/frame_source.h"

namespace hv::setup {

struct SetupPictures {
    QImage doughnut;  // 600 x 600
    QImage preview;   // 1010 x 280
    // The frame itself, top-down at full size, for the fitting magnifier;
    // null unless the GUI thread asked for it (SetupPreview::WantFrame).
    QImage frame;
};

class PreviewRenderer {
  public:
    // Forgets the cached geometry (a new video opens): the next frame
    // recomputes it.
    void Reset();

    // One frame: `frame` holds frame.width x frame.height bottom-up pixels
    // (plus the spare row). `snapshot` is the one copy of the geometry used
    // for everything this frame shows.
    SetupPictures Render(const GeometrySnapshot& snapshot, const FrameBuffer& frame);

    // The last preview strip (Wp x (Hp - inner), bottom-up), empty when the
    // geometry was refused.
    const PreviewImage& Strip() const { return strip_; }
    const RingGeometry& Ring() const { return unwrapper_.Geometry(); }
    bool RingUsable() const { return ringOk_; }
    // Why the geometry was refused (the engine's reason); empty when usable.
    const std::string& RingError() const { return ringError_; }
    // Geometry computations so far (one per change of what the preview
    // depends on).
    uint64_t GeometryBuilds() const { return geometryBuilds_; }

  private:
    void UpdateGeometry(const GeometrySnapshot& snapshot, int32_t frameW, int32_t frameH);

    bool cached_ = false;
    GeometrySnapshot cachedSnapshot_;
    int32_t cachedW_ = 0, cachedH_ = 0;
    bool ringOk_ = false;
    std::string ringError_;
    PreviewUnwrapper unwrapper_;
    PreviewImage strip_;
    uint64_t geometryBuilds_ = 0;
};

}  // namespace hv::setup
