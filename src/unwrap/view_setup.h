// View set-up: everything the perspective renderers need that depends only on
// the size of the view source (the panorama seen as Ws columns x Hs rows).
//
// The panorama is read as a sphere: its Ws columns span 360 degrees of azimuth
// and its rows are elevation at the same angular scale, the horizon in row
// round(Hs / 2). The tables replace every square root and arctangent of the
// per-pixel work by a division and a lookup (4096 steps per quadrant).
//
// A ViewSetup is immutable once InitViewEngine has built it, so any thread may
// read it; share it as std::shared_ptr<const ViewSetup>.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "unwrap/navigation.h"

namespace hv {

// Fixed-point formats of the view tables and the renderers.
// Bits of the table index: a ratio n / d in [0, 1] of ray components becomes
// the index (n << kViewTableBits) / d.
inline constexpr int32_t kViewTableBits = 12;
// Table resolution: entries 0 .. kViewTableSteps (4097 entries); the index
// of the ratio 1.
inline constexpr int32_t kViewTableSteps = 1 << kViewTableBits;
// LEN holds lengths with this many fraction bits: a length is
// (LEN[i] * longer side) >> kLenFracBits.
inline constexpr int32_t kLenFracBits = 12;
// ANG8 holds angles in 1/256 panorama columns (8 fraction bits): angle >> 8
// is the column (or row) offset, angle & kAngleFracMask the bilinear weight
// of the next one.
inline constexpr int32_t kAngleFracBits = 8;
inline constexpr int32_t kAngleFracMask = (1 << kAngleFracBits) - 1;

// Largest view an explicit size may ask for on a screen (a 4K screen): the
// player's "Window" resolution, snapshots, hvtool view.
inline constexpr int32_t kMaxViewWidth = 3840;
inline constexpr int32_t kMaxViewHeight = 2160;

// Largest view side rendered for a video file (export): the 8192 pixels a
// file takes per side plus the row and column the high-quality renderer
// leaves alone, which the file does not take. The engine holds at this size:
// its tables do not depend on the view size, a ray's length depends only on
// the field of view and the view's aspect (RaysInRange refuses the rest), and
// 4 * Wout * Hout stays below 2^29.
inline constexpr int32_t kMaxFileViewSide = 8192 + 1;

// Which of the two caps an explicit view size is held to.
enum class ViewSizeCap { Screen, File };

// Largest panorama width the fixed-point angle arithmetic supports
// (halfTurn = 128 * Ws must stay far inside 32 bits).
inline constexpr int32_t kMaxViewSourceWidth = 1 << 20;

struct ViewTables {
    using Table = std::array<int32_t, kViewTableSteps + 1>;
    // LEN[i] = round(4096 sqrt(1 + t^2)), t = (i + 1) / 4096: the length of a
    // vector whose shorter side is t times its longer one, in units of the
    // longer side with kLenFracBits fraction bits.
    Table LEN{};
    // atan(t / (1 - t)) in 1/256 columns (ANG8) and in columns (A).
    Table ANG8{};
    Table A{};
    // Panorama rows for an elevation looking up / down, clamped to
    // 0 .. Hs - 1 (ROWUP) and 1 .. Hs (ROWDN: reaches one row past the source).
    Table ROWUP{};
    Table ROWDN{};
    // Panorama columns of the four azimuth quadrants, wrapped into 0 .. Ws - 1.
    Table COLQ1{}, COLQ2{}, COLQ3{}, COLQ4{};
    // PROD[a][b] = a * b, the bilinear weight products (a, b in 0 .. 255).
    // The renderers multiply instead, which gives the same numbers without
    // the table's cache misses.
    std::array<std::array<int32_t, 256>, 256> PROD{};
    int32_t quarter = 0;   // 64 * Ws: 90 degrees in 1/256 columns
    int32_t halfTurn = 0;  // 128 * Ws: 180 degrees in 1/256 columns
};

// The values of the view image's BITMAPINFOHEADER (bottom-up, 32 bits, BI_RGB).
struct ViewBitmapHeader {
    int32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;  // positive: rows bottom-up
    int16_t biPlanes = 1;
    int16_t biBitCount = 32;
    int32_t biCompression = 0;  // BI_RGB
    int32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0, biYPelsPerMeter = 0;
    int32_t biClrUsed = 0, biClrImportant = 0;
};

struct ViewSetup {
    int32_t Ws = 0, Hs = 0;            // view source size
    int32_t Wout = 0, Hout = 0;        // view image size
    float k = 0;                       // single: Ws / (2 pi), columns per radian
    float pixScale = 0;                // single: 2 / Wout
    float aspect = 0;                  // single: Hout / Wout
    float degToRad = 0;                // single: pi / 180
    int32_t colStart = 0, colEnd = 0;  // camera-plane u range of the view columns
    int32_t rowStart = 0, rowEnd = 0;  // camera-plane v range of the view rows
    int32_t pixelCount = 0;            // Wout * Hout
    int32_t keyStep = 15;              // pointer offset the arrow keys fake
    // Rows of the view source the renderers may read: Hs, or more if a row
    // table entry reached past the source.
    int32_t sourceRowsRead = 0;
    ViewBitmapHeader header;
    ViewTables tables;
    // COLQ1, COLQ2, COLQ3 and COLQ4 one after the other, for renderers that
    // pick the quadrant's table by index.
    std::array<int32_t, 4 * (kViewTableSteps + 1)> colQuadrants{};
};

struct ViewSetupResult {
    bool ok = false;
    std::string error;
    std::shared_ptr<const ViewSetup> setup;
    ViewState start;  // starting pan, tilt, field of view and limits
};

// Builds the view size, tables and starting ViewState for a view source of
// Ws x Hs pixels. Refuses (ok false, error set) a source too small to give a
// view (Hs below 2, Ws below 4) or too wide for the fixed-point angles.
ViewSetupResult InitViewEngine(int32_t Ws, int32_t Hs);

// The same for a view of Wout x Hout pixels chosen by the caller (a window's
// own size) instead of the size derived from Hs; everything else, tables
// included, is built as above, so InitViewEngine(Ws, Hs, w, h) with the
// derived w x h gives the same setup. Refuses sizes outside
// 1 .. kMaxViewWidth x 1 .. kMaxViewHeight, or with ViewSizeCap::File
// outside 1 .. kMaxFileViewSide per side. The horizontal field of view
// keeps its meaning; a tall view sees correspondingly more vertically, and
// rays of a view much taller than wide may exceed RaysInRange at wide fields
// of view (the render is then refused, see PerspectiveRenderer).
ViewSetupResult InitViewEngine(int32_t Ws, int32_t Hs, int32_t Wout, int32_t Hout,
                               ViewSizeCap cap = ViewSizeCap::Screen);

}  // namespace hv
