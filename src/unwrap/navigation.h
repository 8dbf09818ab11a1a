// View navigation: pan, tilt and zoom steered like a joystick. A pointer
// position is compared with an anchor and the difference sets a speed that
// AdvanceMotion applies once per presented frame, so speeds are per frame.
//
// Threads: the input operations (PanLeft ... WheelNotch, button and move
// events) run on the GUI thread; AdvanceMotion runs on the presentation side
// once per presented frame; the renderer takes Snapshot() copies. Every
// member of Navigator is guarded by its mutex, so all of them may be called
// from any thread; no call blocks for longer than a few float operations.
#pragma once

#include <cstdint>
#include <mutex>

namespace hv {

// Degrees, singles.
struct ViewState {
    float pan = -90;
    float tilt = 0;
    float fov = 120;  // horizontal field of view
    float minFov = 24;
    float maxFov = 120;
    float maxTilt = 90;
    float minTilt = -90;
};

struct DragState {
    int32_t pointerX = 0, pointerY = 0;    // video-window client pixels
    int32_t anchorX = 0, anchorY = 0;      // where the drag started
    bool moving = false;                   // a pan or drag is active
    bool zoomIn = false, zoomOut = false;  // continuous zoom; at most one set
    bool stopRequest = true;               // cancel coasting at the next frame
    int32_t inertia = 0;                   // remaining horizontal coasting, pointer pixels
    float pendingPan = 0, pendingTilt = 0;
    float lastFov = 0;     // fov at the end of the last frame
    float halfV = 0;       // last half vertical fov used for clamping
    int32_t keyStep = 15;  // pointer offset the arrow keys fake
};

// Half the vertical field of view (degrees) of a view whose horizontal field
// of view is fov degrees and whose height / width is aspect. Remembers the
// last argument: an equal argument returns the remembered result.
class HalfVerticalFov {
  public:
    explicit HalfVerticalFov(float aspect = 0) : aspect_(aspect) {}
    float operator()(float fov);
    float aspect() const { return aspect_; }

  private:
    float aspect_;
    bool cached_ = false;
    float lastArg_ = 0, lastResult_ = 0;
};

// Applies the tilt limits: the view's edges stay inside a panorama that does
// not reach the poles; at limits of exactly +-90 only the centre is held.
float ClampTilt(float pendingTilt, float halfV, float minTilt, float maxTilt);

class Navigator {
  public:
    // Starts a new view: the given state and limits, no motion, no zoom, a
    // pending stop, pendingTilt 0. aspect is Hout / Wout of the view.
    void Reset(const ViewState& start, float aspect);

    void PanLeft();
    void PanRight();
    void PanUp();    // lowers tilt
    void PanDown();  // raises tilt
    void ToggleZoomIn();
    void ToggleZoomOut();
    void StopMotion();
    // Left button pressed at (x, y): stops everything and anchors a drag.
    void ButtonDown(int32_t x, int32_t y);
    // Pointer moved to (x, y); leftButtonOnly: the left button and no other
    // button or modifier is held.
    void MouseMove(int32_t x, int32_t y, bool leftButtonOnly);
    void ButtonUp();  // the drag ends, its speed coasts on
    // A wheel message: forward notches toggle zoom in, backward toggle zoom
    // out, zero delta stops all motion.
    void Wheel(int32_t delta);

    // The motion of one presented frame: applies the pointer speed, coasting,
    // zoom and the tilt limits to the view. Call once per presented frame.
    // Speeds per frame: 0.03 degree of tilt per pixel of vertical offset;
    // pan 0.025 degree per pixel of horizontal offset less one pixel, except
    // on a frame where a stop is pending (after Reset, a click or
    // StopMotion), which moves by 0.03 per pixel and cancels the coasting.
    // After a drag ends the pan speed falls by 0.025 a frame to 0. Pan stays
    // within -180 .. 180; tilt within the limits (see ClampTilt).
    void AdvanceMotion();

    ViewState Snapshot() const;
    DragState Drag() const;
    bool Moving() const;

  private:
    void ClampPending();  // with mu_ held

    mutable std::mutex mu_;
    ViewState view_;
    DragState drag_;
    HalfVerticalFov halfVerticalFov_;
};

}  // namespace hv
