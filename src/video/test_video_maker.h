// Makes synthetic doughnut videos for tests, benchmarks and demonstrations:
// a 360-degree scene (sky, ground, landmarks at known azimuths, a moving
// marker) drawn into the ring of a doughnut geometry, the frame number in
// the top-left corner as blocks that survive lossy coding, optionally a
// tone as sound. The VideoWriter encodes it into the container the file's
// extension picks; this file only draws.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/doughnut_geometry.h"
#include "video/video_writer.h"

namespace hv {

struct TestVideoOptions {
    std::string path;     // output file; the extension picks the format
    int32_t width = 640;  // any size >= 16 x 16 (odd sizes included)
    int32_t height = 480;
    int32_t fpsNum = 25;  // frame rate fpsNum / fpsDen
    int32_t fpsDen = 1;
    int32_t frames = 50;  // length in frames (>= 1)
    // Exact length in ns when positive: the last frame is cut short so that
    // the picture ends there (a 10 s clip at 29.97 fps has 300 frames, the
    // last one shortened). 0: frames whole frames. MP4 / MOV keep the last
    // frame whole (their muxer takes sample lengths from the frame spacing).
    int64_t lengthNs = 0;
    bool audio = true;          // a 440 Hz tone track
    DoughnutGeometry geometry;  // the ring the scene is drawn into
};

// The maker's formats are the writer's: one container and codec pair per
// extension (mp4, m4v, mov, qt, mkv, webm, ogv, ogg, avi, asf, wmv, flv,
// mpg, mpeg, ts, m2ts, mts). EncodedSize (video_writer.h) gives the
// padded picture size of a format.
using TestVideoFormat = VideoWriterFormat;
inline std::optional<TestVideoFormat> TestVideoFormatFor(const std::string& extension) {
    return VideoWriterFormatFor(extension);
}
inline std::vector<std::string> TestVideoExtensions() {
    return VideoWriterExtensions();
}

// Draws frame `index` of the scene: top-down BGRx rows, stride 4 * width
// (what appsrc is fed). Deterministic.
void RenderTestFrame(const TestVideoOptions& clip, int32_t index, uint32_t* topDownBgrx);

// Frame-number code: a 16-bit number in the top-left corner, one block per
// bit (white = 1, black = 0) of kCodeBlock x kCodeBlock pixels (smaller for
// tiny frames), preceded by a white start block. Reads it back from a
// bottom-up BGRx frame; -1 when the corner holds no code.
inline constexpr int32_t kCodeBits = 16;
int32_t CodeBlockSize(int32_t width, int32_t height);
int32_t ReadFrameNumber(const uint32_t* bottomUpBgrx, int32_t width, int32_t height);

// Writes the video. Returns an empty string on success, else a message.
std::string MakeTestVideo(const TestVideoOptions& clip);

}  // namespace hv
