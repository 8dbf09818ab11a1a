// Makes synthetic doughnut videos for tests, benchmarks and demonstrations:
// a 360-degree scene (sky, ground, landmarks at known azimuths, a moving
// marker) drawn into the ring of a doughnut geometry, the frame number in
// the top-left corner as blocks that survive lossy coding, optionally a
// tone as sound; encoded with GStreamer into a container chosen by the
// file's extension.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/doughnut_geometry.h"

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

// Container and codecs for an extension (lower-case, without the dot).
struct TestVideoFormat {
    std::string extension;
    std::string muxer;         // e.g. "mp4mux"
    std::string videoEncoder;  // e.g. "x264enc"
    std::string audioEncoder;  // e.g. "avenc_aac"; empty: the container gets no sound
    std::string videoCaps;     // raw format the encoder is fed ("I420", ...)
    bool evenSize = false;     // the codec needs even dimensions (odd sizes are padded)
};

// The supported extensions: mp4, m4v, mov, qt, mkv, webm, ogv, ogg, avi,
// asf, wmv, flv, mpg, mpeg, ts, m2ts, mts.
std::optional<TestVideoFormat> TestVideoFormatFor(const std::string& extension);
std::vector<std::string> TestVideoExtensions();

// Encoded picture size for a requested size and format: odd dimensions grow
// by one pixel (black padding at the right / bottom) for codecs that need
// even sizes.
void EncodedSize(const TestVideoFormat& format, int32_t width, int32_t height, int32_t* outWidth,
                 int32_t* outHeight);

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
