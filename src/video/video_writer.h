// Writes frames to a video file with GStreamer:
//   appsrc (BGRx, upright) ! videoconvert ! I420 ! encoder ! muxer ! filesink
// with an optional sound track: a generated tone, or the first sound stream
// of another file, copied when the container takes its codec and otherwise
// decoded and encoded again with the format's sound encoder, or a part of
// that stream, read by a pipeline of its own and always encoded again.
//
// Frames come in as FrameBuffer holds them (rows bottom-up); the writer
// turns them upright, so the file's top row is the picture's top row.
// Formats whose codec needs even sizes get odd sizes padded with one black
// column / row at the right / bottom (EncodedSize).
//
// Every failure is a result with a message: a folder that cannot be
// written, a full disk, a missing encoder or a stuck encoder never end in a
// reported success, and a file left half-written by a failure is removed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frame/frame_buffer.h"

namespace hv {

// Container and codecs of one file type. The encoder settings are fixed per
// type: fast enough for 4K, clean enough for small blocks of detail, a key
// frame at least every 25 frames.
struct VideoWriterFormat {
    std::string extension;     // lower-case, without the dot
    std::string muxer;         // e.g. "mp4mux"
    std::string videoEncoder;  // e.g. "x264enc ... ! h264parse"
    std::string audioEncoder;  // e.g. "avenc_aac"; empty: the container gets no sound
    std::string videoCaps;     // raw format the encoder is fed ("I420", ...)
    bool evenSize = false;     // the codec needs even dimensions (odd sizes are padded)
};

// The supported extensions: mp4, m4v, mov, qt, mkv, webm, ogv, ogg, avi,
// asf, wmv, flv, mpg, mpeg, ts, m2ts, mts. Case-insensitive lookup.
std::optional<VideoWriterFormat> VideoWriterFormatFor(const std::string& extension);
std::vector<std::string> VideoWriterExtensions();

// Lower-case extension of a path without the dot; "" when it has none.
std::string VideoExtensionOf(const std::string& path);

// Encoded picture size for a requested size and format: odd dimensions grow
// by one pixel for codecs that need even sizes.
void EncodedSize(const VideoWriterFormat& format, int32_t width, int32_t height, int32_t* outWidth,
                 int32_t* outHeight);

// Start of frame `index` in ns at fpsNum / fpsDen frames per second:
// floor(index * fpsDen * 10^9 / fpsNum), exact in integers (no drift over
// any number of frames). Both rates must be positive.
int64_t VideoFrameTimeNs(int32_t fpsNum, int32_t fpsDen, int64_t index);

// A 440 Hz sine at a fifth of full scale, 44.1 kHz stereo.
struct VideoWriterTone {
    // Length of the picture it goes with. The tone stops 4096 samples
    // (about 93 ms) before it, so that whatever the sound encoder pads, the
    // file is as long as its picture.
    int64_t pictureNs = 0;
};

// A part of a sound file's stream: from startNs up to endNs of the file's
// own time (its stream time, as a player's position bar shows it); endNs < 0:
// to the end of its sound.
struct VideoWriterSoundPart {
    int64_t startNs = 0;
    int64_t endNs = -1;
};

struct VideoWriterSettings {
    std::string path;
    // File type: one of VideoWriterExtensions(); empty: the path's extension.
    std::string container;
    int32_t width = 0;  // 16 .. 8192 per side (odd sizes included)
    int32_t height = 0;
    int32_t fpsNum = 25;  // frame rate fpsNum / fpsDen; at most 240 fps
    int32_t fpsDen = 1;
    // When positive: the last frame written ends here instead of one frame
    // spacing after its start, provided it starts before it (a 10 s clip at
    // 29.97 fps: 300 frames, the last one shortened). MP4 / MOV keep the
    // last frame whole (their muxer takes sample lengths from the spacing).
    int64_t endNs = 0;
    // Sound, at most one of the two. A sound file's stream is taken whole
    // unless audioPart says otherwise: a sound longer than the picture makes
    // the file longer.
    std::optional<VideoWriterTone> tone;
    std::string audioSourcePath;  // non-empty: the first sound stream of this file
    // With audioSourcePath: only this part of its sound, placed so that
    // startNs falls on the first frame. The part is decoded, cut to the
    // sample and encoded again with the format's sound encoder (a stored
    // stream cannot be cut between its frames); the encoder pads its last
    // frame, so the file's sound may last up to kSoundPartPaddingNs longer
    // than the part.
    std::optional<VideoWriterSoundPart> audioPart;
    // Non-empty: the encoder chain used instead of the format's (e.g. x264enc
    // with another preset and rate control); it takes the format's raw caps
    // and must end in what the muxer takes.
    std::string videoEncoder;
};

// Bound of what the AAC encoder (MP4, MOV, FLV, TS) adds to the length of a
// part's sound as a decoder counts it: the rest of its last frame and one
// frame of start-up delay, below two frames of 1024 samples (46.4 ms at
// 44.1 kHz). Other formats' encoders pad by their own frame sizes.
inline constexpr int64_t kSoundPartPaddingNs = 47'000'000;

// True when the file has a sound stream the writer could take as
// audioSourcePath; false for a file without sound or one that cannot be read.
bool HasSoundStream(const std::string& path);

// One writer per file; all calls from one thread (the writer's owner).
// GStreamer's threads only reach the writer through the bus handler and the
// appsrc's need-data callback, which touch nothing but the shared state
// behind the writer's lock.
class VideoWriter {
  public:
    // Checks the settings, builds the pipeline and opens the file. Returns
    // nullptr and sets *error on failure; nothing is left on disk then.
    static std::unique_ptr<VideoWriter> Open(const VideoWriterSettings& settings,
                                             std::string* error);

    // Stops without finishing: a file not finished is removed.
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // Appends one frame (settings' width x height, rows bottom-up). Frame n
    // starts at n * fpsDen / fpsNum seconds, computed exactly in integer
    // nanoseconds. Waits while the encoder is behind (a few frames are
    // queued). A frame of another size is refused and changes nothing;
    // after any other failure the file is gone and every further call fails.
    bool Write(const FrameBuffer& frame, std::string* error);

    // Ends the stream and waits (bounded) until the file is complete. On
    // failure the file is removed. Call once; the writer is spent after it.
    bool Finish(std::string* error);

    // Picture size in the file (EncodedSize of the settings).
    int32_t EncodedWidth() const;
    int32_t EncodedHeight() const;

  private:
    struct Impl;
    explicit VideoWriter(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace hv
