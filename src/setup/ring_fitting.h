// Fitting the doughnut geometry by hand on the doughnut picture: which part
// of the overlay the pointer is on, and the geometry a drag, a wheel step or
// a key gives. Pure functions on the record's values and the overlay layout;
// no widgets.
#pragma once

#include <QPointF>

#include "config/doughnut_geometry.h"
#include "setup/overlay.h"

namespace hv::setup {

// What a press at a point of the doughnut picture takes hold of.
enum class FitHandle {
    None,   // outside the ring, or no ring shown
    Move,   // inside the ring: drags move the cut area
    Outer,  // on the red circle's edge: drags resize the outer circle
    Inner,  // on the yellow circle's edge: drags resize the inner circle
};

// Picture pixels either side of an edge that still take it.
inline constexpr double kEdgeGrip = 6.0;

FitHandle HitTest(const OverlayLayout& o, QPointF p);

// Limits of hand fitting, in setup units. The record holds any 32-bit value
// (a keypad step may leave it anywhere); fitting by hand keeps the values
// where a ring can still be drawn and unwrapped.
inline constexpr int32_t kFitPositionMin = -10 * kSetupSquare;
inline constexpr int32_t kFitPositionMax = 10 * kSetupSquare;
inline constexpr int32_t kFitSizeMin = 4;
inline constexpr int32_t kFitSizeMax = 10 * kSetupSquare;
inline constexpr int32_t kFitInnerMin = 0;
inline constexpr int32_t kFitInnerMax = 5 * kSetupSquare;

// The geometry clamped into those limits (flips untouched).
DoughnutGeometry ClampForFitting(DoughnutGeometry g);

// A drag that started on `handle` with geometry `start` at picture point
// `from`, now at `to`, for the layout `o` of `start`:
//  - Move shifts the cut area by the pointer's travel (x 1:1, y by 600 / h);
//  - Outer makes the outer circle pass through `to`, keeping its centre
//    (left, top, width and height change by the same even amount, as the
//    keypad's steps do);
//  - Inner makes the inner circle pass through `to`.
DoughnutGeometry DragGeometry(const DoughnutGeometry& start, const OverlayLayout& o,
                              FitHandle handle, QPointF from, QPointF to);

// One step of the outer circle about its centre (steps > 0 grow): 2 units on
// each edge per step, as the keypad's step.
DoughnutGeometry ResizeOuter(DoughnutGeometry g, int steps);
// The inner radius by `steps` units.
DoughnutGeometry ResizeInner(DoughnutGeometry g, int steps);
// Moves the cut area by (dx, dy) units.
DoughnutGeometry MoveCut(DoughnutGeometry g, int dx, int dy);

// Only the five fitted values (left, top, width, height, inner radius) of
// `fitted` over `g`; the flips stay.
DoughnutGeometry WithFittedValues(DoughnutGeometry g, const DoughnutGeometry& fitted);
bool SameFittedValues(const DoughnutGeometry& a, const DoughnutGeometry& b);

}  // namespace hv::setup
