// The frame source contract: the records that describe a decoded picture and
// its stream, and the operations every video source offers. Plain C++; the
// GStreamer implementation lives in gst_frame_source.{h,cpp}.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/frame_buffer.h"
#include "frame/planar_picture.h"
#include "video/messages.h"

namespace hv {

// How decoded pictures reach the caller.
enum class FrameSourceMode {
    // Playback: the source keeps only the newest picture (older ones are
    // dropped) and CurrentFrame copies it.
    LatestFrame,
    // Export: every decoded picture in order, none dropped, taken one by one
    // with NextFrame. Pictures come as fast as they are decoded (no clock,
    // no sound branch); decoding waits while kEveryFrameQueue pictures are
    // waiting to be taken.
    EveryFrame,
};

// Decoded pictures an EveryFrame source holds ahead of the caller.
inline constexpr int32_t kEveryFrameQueue = 2;

// What NextFrame returned.
enum class NextFrameResult {
    Frame,        // the next picture is in the buffer
    Timeout,      // none came within the bound; the stream may go on
    EndOfStream,  // every picture has been taken
    Error,        // the stream broke; StreamError() says why
    NotOpen,      // not open, or not opened in EveryFrame mode
};

// How a source is opened.
struct FrameSourceOptions {
    // The player plays the file's sound; the setup utility has no sound
    // branch. A file without sound plays its picture either way.
    bool withAudio = true;
    // Upper bound of the wait for the first picture; a file that has not
    // prerolled by then fails as undecodable (BuildStep::ConnectSource).
    int32_t prerollTimeoutMs = 10'000;
    // Pictures are handed over at their presentation time (normal play).
    // Off only for measuring decode speed: pictures then come as fast as
    // they can be decoded and the sound branch is left out.
    bool syncToClock = true;
    // EveryFrame implies syncToClock = false and no sound.
    FrameSourceMode mode = FrameSourceMode::LatestFrame;
    // A decoder's I420 or NV12 picture is kept as it is (CurrentPicture and
    // NextPicture hand it over without converting it); other formats are
    // converted to BGRx as without this option. CurrentFrame and NextFrame
    // convert the whole picture to BGRx on each call.
    bool planarPictures = false;
};

// Thread rules: Open and Close on the worker thread that owns the source
// (Close also from any thread that releases it: it waits until calls in
// progress have returned); CurrentFrame, PictureSerial and StreamError from
// any thread; Run, Pause, Seek, Position, GetVolume and SetVolume from the
// worker or the GUI thread; NextFrame from one consumer thread. Every
// operation is safe to call after Close (it then does nothing and returns
// false / 0).
class FrameSource {
  public:
    virtual ~FrameSource() = default;

    // Opens the file, prerolls it with a bounded wait, reads the negotiated
    // picture format into Format() and starts playing. On failure returns
    // the step that failed and leaves nothing open (Close is still safe).
    // A source that cannot open files (a substitute fed otherwise) keeps the
    // default, which fails silently.
    virtual BuildStep Open(const std::string& /*path*/, const FrameSourceOptions& /*options*/) {
        return BuildStep::CreateGraph;
    }

    // True while an audio branch is playing the file's sound (player, file
    // with sound). The volume operations act only then.
    virtual bool HasAudio() const { return false; }

    // Copies the most recently decoded picture (at most *size bytes) into
    // dst, bottom-up rows, and sets *size to the bytes copied. Returns the
    // same picture again when nothing new was decoded. Any thread, any time
    // while the source is open. Returns false when no picture is available.
    virtual bool CurrentFrame(uint32_t* dst, int32_t* size) = 0;

    // The most recently decoded picture in the decoder's own planes, mapped
    // and held (never copied) until the last holder releases it; null when
    // there is none or it is not I420 / NV12 (use CurrentFrame then). Any
    // thread while the source is open; the picture stays valid after Close.
    virtual PlanarPictureRef CurrentPicture() { return nullptr; }

    // Number of pictures the source has decoded and kept so far (any
    // thread). A caller that sees the same number twice knows CurrentFrame
    // would copy the same picture again. Sources that cannot tell return 0.
    virtual uint64_t PictureSerial() const { return 0; }

    // EveryFrame mode: waits at most timeoutMs for the next decoded picture
    // and copies it into fb (allocated to the picture's size when it has
    // another), bottom-up rows; *pts (when not null) gets its presentation
    // time in 100 ns units from the start of the stream. Each picture is
    // returned exactly once, in order; then EndOfStream, or Error when the
    // stream broke (pictures decoded before the fault come first). The
    // picture also becomes the one CurrentFrame copies.
    virtual NextFrameResult NextFrame(FrameBuffer& /*fb*/, int64_t* /*pts*/, int /*timeoutMs*/) {
        return NextFrameResult::NotOpen;
    }

    // NextFrame for a caller that takes planes: an I420 / NV12 picture
    // (planarPictures) is mapped into `picture`, held until released, and fb
    // is left alone; any other picture is copied into fb and `picture` is
    // null. A source without planes copies every picture into fb.
    virtual NextFrameResult NextPicture(PlanarPictureRef& picture, FrameBuffer& fb, int64_t* pts,
                                        int timeoutMs) {
        picture.reset();
        return NextFrame(fb, pts, timeoutMs);
    }

    // The text of the first error of the stream (a file cut off or damaged,
    // a device gone), empty while there is none; the sound branch's device
    // failures are not stream errors (the sound falls back to a silent
    // sink). Any thread. Kept after Close; cleared by the next Open.
    virtual std::string StreamError() const { return {}; }

    virtual bool Run() = 0;
    virtual bool Pause() = 0;
    virtual bool Stop() = 0;
    // Returns once a pending run, pause or stop has taken effect; bounded
    // (a few seconds) so that a stuck stream never hangs the caller.
    virtual bool WaitForState() = 0;
    // 100 ns units. After the end of the stream has been reached (and
    // until the next seek) this is exactly Format().duration.
    virtual int64_t Position() = 0;
    virtual bool Seek(int64_t t) = 0;  // 100 ns units, flushing and accurate
    virtual int32_t GetVolume() = 0;   // hundredths of a dB, -10000..0
    virtual bool SetVolume(int32_t v) = 0;
    virtual void Close() = 0;

    virtual const VideoFormat& Format() const = 0;
};

}  // namespace hv
