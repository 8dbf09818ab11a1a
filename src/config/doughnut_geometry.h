// The doughnut geometry record shared by both programs and the settings that
// travel with it in CamSetup.xml. Plain data, no Qt, no GStreamer.
#pragma once

#include <cstdint>
#include <string>

namespace hv {

// Side of the setup square in which the circle parameters are given. The
// setup utility's doughnut picture shows the square at one pixel per unit;
// the unwrap scales it onto the frame (x by W / kSetupSquare, y by
// H / kSetupSquare), whatever the frame's aspect.
inline constexpr int32_t kSetupSquare = 600;

// Circle parameters in the kSetupSquare x kSetupSquare setup square (x right,
// y down).
// Default member values are the start-up defaults of both programs.
struct DoughnutGeometry {
    int32_t left = 111;        // X1_1: left edge of the cut area
    int32_t top = 111;         // Y1_1: top edge of the cut area
    int32_t width = 390;       // X2_1: cut-area width (horizontal outer diameter)
    int32_t height = 380;      // Y2_1: cut-area height (outer diameter used by the unwrap)
    int32_t innerRadius = 36;  // RSIZE_1: inner circle radius, x units
    int32_t flipH = 0;         // FLIP_1
    int32_t flipV = 0;         // FLIP_V

    friend bool operator==(const DoughnutGeometry&, const DoughnutGeometry&) = default;
};

// The setup utility's own settings stored beside the geometry.
struct SetupSettings {
    std::string lastFolder;  // OPATH, at most 260 bytes once trimmed
    int32_t popupX = 0;      // POPUP_X
    int32_t popupY = 0;      // POPUP_Y
    int32_t mainX = 0;       // MAIN_X
    int32_t mainY = 0;       // MAIN_Y
    int32_t shiftRect = 0;   // SHIFTERECT, 1..200, 0 when never set

    friend bool operator==(const SetupSettings&, const SetupSettings&) = default;
};

// Default inner radius for a cut area: round((width - left) / 7.85714), the
// divisor held as a single-precision number, halves to even. Note that the
// left edge is subtracted from the width. (111, 390) gives 36, (115, 390) 35.
int32_t DefaultInnerRadius(int32_t left, int32_t width);

// Geometry both programs set before looking for CamSetup.xml; also what the
// setup utility's "Reset" and a save with left = width = 0 restore.
inline constexpr DoughnutGeometry kStartupGeometry{111, 111, 390, 380, 36, 0, 0};

// Geometry a reader substitutes when a required tag is missing or empty.
inline constexpr DoughnutGeometry kFallbackGeometry{115, 35, 390, 380, 35, 0, 0};

}  // namespace hv
