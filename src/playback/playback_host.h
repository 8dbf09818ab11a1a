// What the playback of an opened video needs from the program around it.
// The playback code is GUI-free: the Qt programs implement these interfaces
// with queued calls onto their GUI thread, tests with plain recorders.
//
// Calling rules for every method below:
//  - It may be called from any thread: the GUI thread (transport and sound
//    commands), the video worker (build hand-over, playback loop, preview
//    pump) or the player's unwrap worker (RequestRender). A Qt host must not
//    touch widgets directly; it queues the change onto the GUI thread
//    (QMetaObject::invokeMethod(..., Qt::QueuedConnection)).
//  - It is never called while the playback code holds one of its locks, so
//    an implementation may block (a message box) or call back into the
//    controller's public methods.
//  - It must not throw.
#pragma once

#include <cstdint>
#include <string>

#include "unwrap/ring_geometry.h"
#include "video/frame_source.h"
#include "video/messages.h"

namespace hv {

// The setup utility's windows as its preview pump sees them.
enum class StreamStatus {
    Buffering,  // "Buffering": white on blue
    On,         // "Stream ON": RGB(0,100,0) on RGB(0,255,0)
    Off,        // "Stream OFF": RGB(192,192,192) on black
};

class PreviewHost {
  public:
    virtual ~PreviewHost() = default;

    // The build's failure messages; called on the video worker.
    virtual MessageSink& Messages() = 0;

    // Main window caption = `text` (the full path of the video).
    virtual void SetTitle(const std::string& text) = 0;

    // Stream status label (control 652), redrawn.
    virtual void SetStreamStatus(StreamStatus status) = 0;

    // The stream runs: frame-size label (304) = FrameSizeLabel(format),
    // frame-rate label (305) = FrameRateLabel(format), and the bitmap the
    // doughnut picture is drawn from is format.width x format.height.
    virtual void StreamOpened(const VideoFormat& format) = 0;

    // PreviewStep: the per-cycle work, called on the video worker about
    // every 50 ms while the pump runs. `frame` is the controller's
    // FrameBuffer for this stream (width x height + 1 cells); the step takes
    // the current picture into it (source.CurrentFrame(frame.data(), &size)),
    // computes the preview and hands both pictures to the GUI thread.
    // `frame` and `source` are valid only during the call.
    virtual void PreviewStep(FrameSource& source, FrameBuffer& frame) = 0;

    // ClearPictures: doughnut picture back to its empty look, preview
    // picture colours white on white. After every build (also a failed one).
    virtual void ClearPictures() = 0;
};

}  // namespace hv
