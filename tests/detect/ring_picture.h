// Synthetic doughnut pictures with a known ring, for the detection tests
// and benchmark: a textured scene with a horizon mapped into the ring
// (ground toward the inner circle, sky toward the outer one), a dark or
// bright inner disc, vignetting toward the outer edge, sensor noise and
// blur, on a black surround; the ring may be cut by the frame's edges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "frame/frame_buffer.h"

namespace hvtest {

struct RingPicture {
    int32_t width = 1280, height = 720;
    double cx = 639.5, cy = 359.5;  // centre, top-down pixels (pixel x centred on x)
    double outer = 330, inner = 70;
    bool brightDisc = false;  // the lens's inner disc bright instead of dark
    double discLevel = -1;    // the disc's grey level when >= 0 (else by brightDisc)
    // Brightness lost at the outer edge (0 none .. 0.8 heavy), falling off
    // over the outer half of the ring; in a plain picture, lost at the
    // middle of each side (above 1: corners black).
    double vignette = 0;
    double noise = 0;  // sensor noise, standard deviation in 8-bit levels
    double blur = 0;   // Gaussian blur, standard deviation in pixels
    // Horizon as a share of the ring's depth from the inner circle: the
    // ground lies inside it, the sky outside.
    double horizon = 0.4;
    // No ring at all: the scene fills the frame (an ordinary video).
    bool plain = false;
    uint32_t seed = 1;

    double HorizonRadius() const { return inner + horizon * (outer - inner); }
};

// Frame `index` of the scene (it turns a few degrees per frame and its
// noise changes): bottom-up BGRX, as a frame source delivers it.
hv::FrameBuffer RenderRingFrame(const RingPicture& p, int32_t index);

// `count` frames 0 .. count - 1.
std::vector<hv::FrameBuffer> RenderRingFrames(const RingPicture& p, int32_t count);

}  // namespace hvtest
