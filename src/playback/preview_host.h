// What the setup utility's preview pump (preview_pump.h) needs from the
// program around it. The pump is GUI-free and never pushes window state: it
// keeps the title, the stream status and the format itself, and the windows
// read them from the controller when woken. Its calls into the host are the
// preview step, which runs on the video worker, and wake-ups.
//
// Calling rules for every method below:
//  - It is called on the video worker.
//  - It is never called while the pump holds one of its locks, so an
//    implementation may call the controller's accessors.
//  - The wake-ups must return at once: a Qt host queues them onto its GUI
//    thread (Qt::QueuedConnection) and never touches a widget here.
//  - It must not throw.
#pragma once

#include "video/frame_source.h"
#include "video/messages.h"

namespace hv {

// What the stream status label (control 652) shows.
enum class StreamStatus {
    Buffering,  // "Buffering": white on blue
    On,         // "Stream ON": RGB(0,100,0) on RGB(0,255,0)
    Off,        // "Stream OFF": RGB(192,192,192) on black
};

class PreviewHost {
  public:
    virtual ~PreviewHost() = default;

    // The build's failure messages. Must not wait for the user.
    virtual MessageSink& Messages() = 0;

    // Wake-up: the controller's WindowTitle() or Status() has changed (the
    // worker titled the window with the video's path; the stream is
    // buffering or on). The window reads both and shows them.
    virtual void StreamStateChanged() = 0;

    // Wake-up: the stream runs and the controller's Format() holds its
    // format: frame-size label (304) = FrameSizeLabel(format), frame-rate
    // label (305) = FrameRateLabel(format). A new frame size: the host's
    // preview work starts afresh with the next step.
    virtual void StreamOpened() = 0;

    // PreviewStep: the per-cycle work, about every 50 ms while the pump
    // runs. `frame` is the controller's FrameBuffer for this stream (width x
    // height + 1 cells); the step takes the current picture into it
    // (source.CurrentFrame(frame.data(), &size)), computes the preview and
    // hands both pictures to the window. `frame` and `source` are valid only
    // during the call.
    virtual void PreviewStep(FrameSource& source, FrameBuffer& frame) = 0;

    // Wake-up: the stream has been released after every build (also a
    // failed one) and Status() is Off: ClearPictures (doughnut picture back
    // to its empty look) and show the status.
    virtual void StreamEnded() = 0;
};

}  // namespace hv
