// The frame source on GStreamer:
//   filesrc ! decodebin ! videoconvert ! appsink caps=video/x-raw,format=BGRx
// with, in the player, decodebin's sound through
//   audioconvert ! audioresample ! volume ! autoaudiosink
// (a fakesink that keeps the timing when no audio device can be opened).
//
// How failures map onto the build steps:
//   CreateGraph    GStreamer cannot be initialised or no pipeline made
//   SampleGrabber  appsink cannot be created
//   AddGrabber     appsink cannot be added to the pipeline
//   SetMediaType   the BGRx caps cannot be set on the appsink
//   AddSource      the path does not exist, is not a regular file or cannot
//                  be opened for reading; filesrc cannot be made; a resource
//                  error while prerolling
//   ConnectSource  decodebin cannot be made or linked; unknown type, no
//                  decoder, no video stream, a stream error while
//                  prerolling, or no preroll within the bound
//   AddNullRenderer      videoconvert cannot be created or added
//   ConnectNullRenderer  videoconvert and appsink cannot be linked
//   KeepSamples    the appsink does not take the keep-latest settings
//   ConnectedType  prerolled, but no BGRx sample with readable caps
//
// The most recent picture is kept as a referenced GstSample (taken at
// preroll and at each rendered buffer); CurrentFrame copies it bottom-up, so
// calls between two pictures return the same bytes. A sound branch whose
// device fails while prerolling is replaced by a fakesink that keeps the
// timing (the open is retried once that way).
#pragma once

#include <memory>

#include "video/frame_source.h"

namespace hv {

std::unique_ptr<FrameSource> CreateGstFrameSource();

// Calls gst_init once per process (thread-safe). Returns false when
// GStreamer cannot be initialised.
bool EnsureGstInitialised();

}  // namespace hv
