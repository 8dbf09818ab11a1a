#include "player/path_recorder.h"

#include <cmath>

namespace hv::player {

void PathRecorder::Start() {
    keys_.clear();
    recording_ = true;
}

void PathRecorder::Sample(double t, const ViewState& view) {
    if (!recording_ || !std::isfinite(t)) return;
    ViewKeyframe k;
    k.t = t < 0 ? 0 : t;
    k.pan = WrapDegrees(view.pan);
    k.tilt = view.tilt;
    k.fov = view.fov;
    // Samples are dense: straight lines between them follow the steering.
    k.ease = ViewEase::Linear;
    if (!keys_.empty()) {
        ViewKeyframe& last = keys_.back();
        if (last.pan == k.pan && last.tilt == k.tilt && last.fov == k.fov) return;
        if (k.t <= last.t) {
            last.pan = k.pan;
            last.tilt = k.tilt;
            last.fov = k.fov;
            return;
        }
    }
    keys_.push_back(k);
}

}  // namespace hv::player
