// Automatic ring detection: finds the doughnut ring (its centre, outer and
// inner radius) in a handful of decoded frames of one video, and says how
// far the answer can be trusted.
//
// Plain C++ (OpenCV core / imgproc inside, none of it in this header): no
// Qt, no GStreamer. DetectRing is reentrant and touches only what it is
// given, so a GUI runs it on a worker thread and passes a progress callback
// and a cancel flag.
//
// Coordinates are top-down frame pixels with pixel (x, y) centred on the
// integer point (x, y): the unwrap's convention, so a detected centre maps
// directly onto RingGeometry::cx / cy.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "frame/frame_buffer.h"

namespace hv {

// How far the answer can be trusted. Every figure is computed even when the
// ring was not found well (then they say why).
struct RingConfidence {
    // Share of the outer edge rays (cast inside the frame) whose edge point
    // lies on the fitted circle; 0..1.
    double outerAgreement = 0;
    // The same for the inner edge rays; 0..1.
    double innerAgreement = 0;
    // RMS distance of the agreeing outer edge points from the circle, pixels.
    double residualPx = 0;
    // Distance between the centres of the outer and the inner circle fitted
    // independently, pixels. A real lens gives two concentric circles.
    double concentricityPx = 0;
    // Share of the outer circle's circumference inside the frame; 0..1.
    double outerInsideFrame = 0;
    // Brightness step at the outer edge in units of the surround's noise.
    double edgeContrast = 0;
    // 0..1: all of the above in one number (1 = everything agrees).
    double score = 0;
    // The figures pass the thresholds for an answer to be used unchecked.
    bool good = false;
};

enum class RingDetectStatus {
    Found,          // ring and confidence filled, confidence.good
    LowConfidence,  // best guess filled (when there was one), not to be trusted
    Cancelled,      // the cancel flag was raised; nothing filled
    Error,          // bad input (no frames, sizes differ, frame too small): message says why
};

struct RingDetection {
    RingDetectStatus status = RingDetectStatus::Error;
    bool hasGuess = false;  // centre and radii hold a best guess
    double cx = 0, cy = 0;  // ring centre (the outer circle's), pixels
    double outerRadius = 0;
    double innerRadius = 0;  // 0 when no inner circle was found
    int32_t frameW = 0, frameH = 0;
    RingConfidence confidence;
    std::string message;  // for the user: why the result is not Found
};

// Progress and cancellation, both optional. `progress` gets a fraction
// 0..1 and a short stage name, from the calling thread; it must not block.
// DetectRing polls `cancel` between stages and between frames and returns
// Cancelled soon after it is raised.
struct RingDetectControl {
    std::function<void(double fraction, const char* stage)> progress;
    const std::atomic<bool>* cancel = nullptr;
};

// How many frames of a video DetectRing wants: more add little, fewer miss
// moving parts of the scene. Callers spread them over the whole video.
inline constexpr int32_t kDetectDefaultFrames = 16;
inline constexpr int32_t kDetectMaxFrames = 64;

// Smallest frame side worth looking at.
inline constexpr int32_t kDetectMinFrameSide = 32;

// Finds the ring in `frames` (bottom-up BGRX frame buffers as a frame
// source delivers them, all of one size, at most kDetectMaxFrames: the rest
// are ignored). A still picture is one frame. Never throws; bad input gives
// Error with a message, a picture without a clear ring LowConfidence.
RingDetection DetectRing(std::span<const FrameBuffer> frames,
                         const RingDetectControl& control = {});

// One line for logs and hvtool: "found", "low confidence", ...
const char* RingDetectStatusName(RingDetectStatus s);

}  // namespace hv
