#include "unwrap/navigation.h"

#include <cmath>

namespace hv {

namespace {

// Speeds in degrees per frame and per pointer pixel of displacement.
constexpr double kDragSpeed = 0.03;
constexpr double kCoastSpeed = 0.025;
constexpr double kZoomStep = 1.012;

// Brings an angle into [-180, 180].
float WrapPan(float pan) {
    while (pan > 180) pan = static_cast<float>(pan - 360.0);
    while (pan < -180) pan = static_cast<float>(pan + 360.0);
    return pan;
}

}  // namespace

float HalfVerticalFov::operator()(float fov) {
    if (cached_ && fov == lastArg_) return lastResult_;
    const float halfAngle = 0.00872664f;  // pi / 360
    const float radToDeg = 57.29578f;
    const float r = static_cast<float>(
        std::atan(std::tan(static_cast<double>(fov) * halfAngle) * aspect_) * radToDeg);
    cached_ = true;
    lastArg_ = fov;
    lastResult_ = r;
    return r;
}

float ClampTilt(float t, float halfV, float minTilt, float maxTilt) {
    if (t > maxTilt - halfV && maxTilt != 90) return maxTilt - halfV;
    if (t > maxTilt) return maxTilt;
    if (t < minTilt + halfV && minTilt != -90) return minTilt + halfV;
    if (t < minTilt) return minTilt;
    return t;
}

void Navigator::Reset(const ViewState& start, float aspect) {
    std::lock_guard lock(mu_);
    view_ = start;
    drag_.moving = false;
    drag_.zoomIn = false;
    drag_.zoomOut = false;
    drag_.stopRequest = true;
    drag_.pendingTilt = 0;
    // The pan a still view keeps is pendingPan; start it where the view is.
    drag_.pendingPan = start.pan;
    drag_.lastFov = start.fov;
    // The cache belongs to the view's aspect; a new view starts it afresh,
    // and the clamp starts from the half vertical fov of the starting view.
    halfVerticalFov_ = HalfVerticalFov(aspect);
    drag_.halfV = halfVerticalFov_(start.fov);
}

void Navigator::PanLeft() {
    std::lock_guard lock(mu_);
    drag_.pointerX = 0;
    drag_.anchorX = drag_.keyStep;
    drag_.anchorY = drag_.pointerY;
    drag_.moving = true;
}

void Navigator::PanRight() {
    std::lock_guard lock(mu_);
    drag_.pointerX = drag_.keyStep;
    drag_.anchorX = 0;
    drag_.anchorY = drag_.pointerY;
    drag_.moving = true;
}

void Navigator::PanUp() {
    std::lock_guard lock(mu_);
    drag_.pointerY = 0;
    drag_.anchorY = drag_.keyStep;
    drag_.anchorX = drag_.pointerX;
    drag_.moving = true;
}

void Navigator::PanDown() {
    std::lock_guard lock(mu_);
    drag_.pointerY = drag_.keyStep;
    drag_.anchorY = 0;
    drag_.anchorX = drag_.pointerX;
    drag_.moving = true;
}

void Navigator::ToggleZoomIn() {
    std::lock_guard lock(mu_);
    drag_.zoomIn = !drag_.zoomIn;
    drag_.zoomOut = false;
}

void Navigator::ToggleZoomOut() {
    std::lock_guard lock(mu_);
    drag_.zoomOut = !drag_.zoomOut;
    drag_.zoomIn = false;
}

void Navigator::StopMotion() {
    std::lock_guard lock(mu_);
    drag_.moving = false;
    drag_.zoomIn = false;
    drag_.zoomOut = false;
    drag_.stopRequest = true;
}

void Navigator::ButtonDown(int32_t x, int32_t y) {
    std::lock_guard lock(mu_);
    drag_.moving = false;
    drag_.zoomIn = false;
    drag_.zoomOut = false;
    drag_.stopRequest = true;
    drag_.pointerX = drag_.anchorX = x;
    drag_.pointerY = drag_.anchorY = y;
}

void Navigator::MouseMove(int32_t x, int32_t y, bool leftButtonOnly) {
    std::lock_guard lock(mu_);
    if (!drag_.moving) {
        drag_.pointerX = x;
        drag_.pointerY = y;
    }
    if (leftButtonOnly) {
        drag_.pointerX = x;
        drag_.pointerY = y;
        drag_.moving = true;
    }
}

void Navigator::ButtonUp() {
    std::lock_guard lock(mu_);
    drag_.moving = false;
}

void Navigator::Wheel(int32_t delta) {
    if (delta > 0) {
        ToggleZoomIn();
    } else if (delta < 0) {
        ToggleZoomOut();
    } else {
        StopMotion();
    }
}

void Navigator::ClampPending() {
    drag_.pendingTilt = ClampTilt(drag_.pendingTilt, drag_.halfV, view_.minTilt, view_.maxTilt);
}

void Navigator::AdvanceMotion() {
    std::lock_guard lock(mu_);
    DragState& d = drag_;
    ViewState& v = view_;
    if (d.moving) {
        // Differences of two pointer positions; computed unsigned so that no
        // pointer value can overflow.
        const auto dx = static_cast<int32_t>(static_cast<uint32_t>(d.pointerX) -
                                             static_cast<uint32_t>(d.anchorX));
        const auto dy = static_cast<int32_t>(static_cast<uint32_t>(d.pointerY) -
                                             static_cast<uint32_t>(d.anchorY));
        d.pendingTilt = static_cast<float>(kDragSpeed * dy + v.tilt);
        d.pendingPan = static_cast<float>(kDragSpeed * dx + v.pan);
        d.inertia = dx;
        d.halfV = halfVerticalFov_(v.fov);
        d.pendingPan = WrapPan(d.pendingPan);
        ClampPending();
    }
    if (d.stopRequest) {
        d.inertia = 0;
        d.stopRequest = false;
    }
    if (d.inertia > 0) {
        d.inertia -= 1;
        d.pendingPan = WrapPan(static_cast<float>(kCoastSpeed * d.inertia + v.pan));
    } else if (d.inertia < 0) {
        d.inertia += 1;
        d.pendingPan = WrapPan(static_cast<float>(kCoastSpeed * d.inertia + v.pan));
    }
    if (d.zoomIn && v.minFov < v.fov) {
        v.fov = static_cast<float>(v.fov / kZoomStep);
    } else if (d.zoomOut && v.maxFov > v.fov) {
        v.fov = static_cast<float>(v.fov * kZoomStep);
    }
    if (d.zoomIn || d.zoomOut) {
        if (v.fov != d.lastFov) d.halfV = halfVerticalFov_(v.fov);
        ClampPending();
    }
    v.tilt = d.pendingTilt;
    v.pan = d.pendingPan;
    d.lastFov = v.fov;
}

ViewState Navigator::Snapshot() const {
    std::lock_guard lock(mu_);
    return view_;
}

DragState Navigator::Drag() const {
    std::lock_guard lock(mu_);
    return drag_;
}

bool Navigator::Moving() const {
    std::lock_guard lock(mu_);
    return drag_.moving;
}

}  // namespace hv
