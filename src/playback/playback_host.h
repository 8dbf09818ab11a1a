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

// The player's main window as the playback sees it.
class PlaybackHost {
  public:
    virtual ~PlaybackHost() = default;

    // The build's failure messages ("Error Monitoring" / "Error" boxes).
    // Called on the video worker; may block until the box is closed.
    virtual MessageSink& Messages() = 0;

    // Main window caption = `text` (the full path of the video, when the
    // worker starts).
    virtual void SetTitle(const std::string& text) = 0;

    // ResetTitle: caption back to the product title ("Halvora 360 Doughnut
    // Player"). The controller empties its VideoInfoText itself.
    virtual void ResetTitle() = 0;

    // The stream runs: position bar range 1 .. format.frameCount, page size
    // 10, position 1 (with redraw).
    virtual void StreamOpened(const VideoFormat& format) = 0;

    // The playback loop starts: lay out the main window (LayoutMainWindow)
    // and create the video view for this ring (VideoWindowThread and
    // InitViewEngine with Ws = ring.Wp, Hs = ring.Hp - ring.inner). The
    // unwrap engine has already been configured for `ring`. Renders
    // requested after this call belong to this view.
    virtual void StreamStarted(const RingGeometry& ring, const VideoFormat& format) = 0;

    // The playback loop has ended (no more render requests for this stream;
    // the working panorama is about to be released). The view may stay on
    // screen until the next StreamStarted or the program's exit.
    virtual void StreamEnded() = 0;

    // A new panorama is ready: queue a render of the view (the WM_USER
    // request). Called on the unwrap worker about every 27 ms; must return
    // at once (post, never wait for the render).
    virtual void RequestRender() = 0;

    // Position bar position (1 .. frame count), every fifth loop cycle.
    virtual void SetPositionBar(int32_t position) = 0;

    // Level indicators 1..5: the first `level` lit (kLevelLitRgb), the
    // others unlit (kLevelUnlitRgb), white text. level is 0..5.
    virtual void ShowVolumeLevel(int32_t level) = 0;

    // Sound button image: "soundon" when true, "soundoff" when false.
    virtual void ShowSoundOn(bool on) = 0;
};

}  // namespace hv
