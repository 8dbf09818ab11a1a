// What the playback of an opened video needs from the player around it.
// The playback code is GUI-free and pushes no window state: the position,
// the volume indicators, the sound button and the caption are read by the
// window from the controller's accessors (its own timer, or one of the
// wake-ups below). The engine's calls into the player are wake-ups only; a
// Qt host turns each into a queued event for its GUI thread, tests into
// plain counters.
//
// Calling rules for every method below:
//  - It may be called from the video worker (build hand-over, playback loop)
//    or the player's unwrap worker (RequestRender), never from the GUI
//    thread. A Qt host must not touch widgets directly; it queues the
//    wake-up onto the GUI thread.
//  - It is never called while the playback code holds one of its locks, so
//    an implementation may block (a message box) or call back into the
//    controller's public methods.
//  - It must not throw.
#pragma once

#include "unwrap/ring_geometry.h"
#include "video/messages.h"

namespace hv {

class PlaybackHost {
  public:
    virtual ~PlaybackHost() = default;

    // The build's failure messages ("Error Monitoring" / "Error" boxes).
    // Called on the video worker; may block until the box is closed.
    virtual MessageSink& Messages() = 0;

    // A worker has started on CurrentVideoFile(): the main window's caption
    // becomes that full path.
    virtual void VideoStarting() = 0;

    // The stream runs: Format() holds its format (position bar range 1 ..
    // frameCount, page size 10, position 1) and the stored volume level has
    // been applied (IndicatorLevel()).
    virtual void StreamOpened() = 0;

    // The playback loop starts. Called on the video worker before the first
    // render request: the host sets up the view renderer for `ring`
    // synchronously (InitViewEngine with Ws = ring.Wp, Hs = ring.Hp -
    // ring.inner; renders requested after this call belong to it), then
    // wakes the window to lay itself out and show the video view. The unwrap
    // engine has already been configured for `ring`.
    virtual void StreamStarted(const RingGeometry& ring) = 0;

    // The playback loop has ended (no more render requests for this stream;
    // the working panorama is about to be released). The view may stay on
    // screen until the next StreamStarted or the program's exit.
    virtual void StreamEnded() = 0;

    // The video is closed (its loop has ended, or its ring was refused):
    // VideoInfoText is empty and the caption goes back to the product title
    // ("Halvora 360 Doughnut Player").
    virtual void VideoClosed() = 0;

    // A new panorama is ready: queue a render of the view (the WM_USER
    // request). Called on the unwrap worker about every 27 ms; must return
    // at once (post, never wait for the render).
    virtual void RequestRender() = 0;
};

}  // namespace hv
