// Export jobs: every frame of a doughnut video through the player's unwrap
// into a new video file, as
//  - Reframe: the perspective view at any size, following a view path (a
//    fixed view is a path of one keyframe), with the player's renderers and
//    filters;
//  - Panorama: the unwrapped panorama (Ws x Hs, cut to even sizes);
//  - Equirect: the panorama placed on a full 2:1 equirectangular frame
//    (rows outside the ring's elevation range black), or with `crop` only
//    the band of rows the ring covers, marked as 360 video in both metadata
//    versions (spherical_metadata.h).
// The file is written under a temporary name beside the output and renamed
// when complete: a failed or cancelled export leaves nothing behind.
//
// Threads: RunExport runs on the caller's thread (decoding and encoding run
// on GStreamer's); the progress hook is called on it; `cancel` may be set
// from any thread (or a signal handler).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "config/doughnut_geometry.h"
#include "export/view_path.h"
#include "unwrap/render_view.h"
#include "unwrap/ring_geometry.h"
#include "unwrap/view_setup.h"

namespace hv {

enum class ExportMode { Reframe, Panorama, Equirect };

struct ExportSettings {
    std::string input;
    std::string output;  // the file type follows its extension
    ExportMode mode = ExportMode::Reframe;
    DoughnutGeometry geometry;  // the ring as the player reads it
    FlipMode flip = 0;
    // Reframe: picture size, quality and filters, and the view over time
    // (seconds from the start of the exported part).
    int32_t width = 1920;
    int32_t height = 1080;
    RenderOptions render;
    ViewPath path = ViewPath({ViewKeyframe{}});
    // Equirect: width of the full 2:1 frame (even), and the compact form.
    int32_t equirectWidth = 3840;
    bool crop = false;
    // The part to export, seconds; end < 0: to the end of the video.
    double start = 0;
    double end = -1;
    // x264 rate and speed: constant quality (as x264's crf) and preset.
    int32_t crf = 20;
    std::string preset = "veryfast";
    // The source's sound when it has one: copied (or encoded again) for the
    // whole video, cut to the part and encoded again for a part.
    bool sound = true;
};

struct ExportProgress {
    int64_t frames = 0;  // written so far
    int64_t total = 0;   // expected (0 when unknown)
    double elapsed = 0;  // seconds since the job started
};

struct ExportHooks {
    std::function<void(const ExportProgress&)> progress;  // after every frame
    const std::atomic<bool>* cancel = nullptr;
};

struct ExportResult {
    bool ok = false;
    bool cancelled = false;
    std::string error;
    int64_t frames = 0;
    int32_t width = 0, height = 0;  // picture size in the file
    bool sound = false;
    double seconds = 0;  // wall time of the job
    double fps = 0;      // frame rate of the file
};

ExportResult RunExport(const ExportSettings& settings, const ExportHooks& hooks = {});

// The encoder chain of an export: x264 in constant quality `crf` (0..51)
// at `preset`, a key frame every two seconds at most.
std::string ExportEncoder(int32_t crf, const std::string& preset, int32_t keyInterval);

// The equirectangular placement of a panorama, as the high-quality renderer
// reads it: the full frame is width x width / 2, azimuth -180 at its left
// edge and 0 (pan 0, ffmpeg v360's yaw 0) in its middle; view-source column
// c lies at azimuth (c - Ws / 2) * 360 / Ws, row r (counted upward) at
// elevation (r - (Hs - 1) / 2) * 360 / Ws (halves rounded down). The rows of
// the full frame (top-down) that the panorama covers: [top, top + rows),
// an even count.
struct EquirectBand {
    int32_t top = 0;
    int32_t rows = 0;
};
EquirectBand EquirectBandOf(int32_t Ws, int32_t Hs, int32_t width);

}  // namespace hv
