// Option -> "Record view path": the view the steering (keys, drag, wheel)
// produces, kept as keyframes against the video time, for the export's
// ViewPath. GUI thread only.
#pragma once

#include <vector>

#include "export/view_path.h"
#include "unwrap/navigation.h"

namespace hv::player {

class PathRecorder {
  public:
    // Starts a new recording (the previous one is dropped).
    void Start();
    void Stop() { recording_ = false; }
    bool Recording() const { return recording_; }

    // The view at video time t (seconds), sampled while recording. A view
    // equal to the last keyframe's adds nothing (the path holds it); a later
    // time adds a linear keyframe; the same or an earlier time (paused, or
    // sought back) replaces the last keyframe's angles, so times stay
    // strictly increasing. Ignored when not recording.
    void Sample(double t, const ViewState& view);

    const std::vector<ViewKeyframe>& Keyframes() const { return keys_; }
    ViewPath Path() const { return ViewPath(keys_); }

  private:
    bool recording_ = false;
    std::vector<ViewKeyframe> keys_;
};

}  // namespace hv::player
