// The frame source contract: the records that describe a decoded picture and
// its stream, and the operations every video source offers. Plain C++; the
// GStreamer implementation lives in gst_frame_source.{h,cpp}.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/frame_buffer.h"
#include "video/messages.h"

namespace hv {

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
};

// Thread rules: Open and Close on the worker thread that owns the source;
// CurrentFrame from any thread; Run, Pause, Seek, Position, GetVolume and
// SetVolume from the worker or the GUI thread. Every operation is safe to
// call after Close (it then does nothing and returns false / 0).
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

    // Number of pictures the source has decoded and kept so far (any
    // thread). A caller that sees the same number twice knows CurrentFrame
    // would copy the same picture again. Sources that cannot tell return 0.
    virtual uint64_t PictureSerial() const { return 0; }

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

    // Why the last Open failed, in the media framework's own words (for
    // example "Resource not found."); empty when it did not say. Same
    // thread as Open.
    virtual std::string FailureReason() const { return {}; }
};

}  // namespace hv
