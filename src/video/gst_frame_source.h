// The frame source on GStreamer:
//   filesrc ! decodebin ! videoconvert ! appsink caps=video/x-raw,format=BGRx
// with, in the player, decodebin's sound through
//   audioconvert ! audioresample ! volume ! autoaudiosink
// (a fakesink that keeps the timing when no audio device can be opened).
//
// How failures map onto the build steps:
//   SampleGrabber  appsink cannot be created
//   AddGrabber     appsink cannot be added to the pipeline
//   SetMediaType   the BGRx caps cannot be set on the appsink
//   AddSource      the path does not exist, is not a regular file or cannot
//                  be opened for reading; a resource error while prerolling
//   ConnectSource  unknown type, no decoder, no video stream, a stream error
//                  while prerolling, or no preroll within the bound
//   AddNullRenderer / ConnectNullRenderer
//                  filesrc, decodebin, videoconvert missing / not linkable
//   ConnectedType  prerolled, but no BGRx sample with readable caps
#pragma once

#include <memory>

#include "video/frame_source.h"

namespace hv {

std::unique_ptr<FrameSource> CreateGstFrameSource();

// Calls gst_init once per process (thread-safe). Returns false when
// GStreamer cannot be initialised.
bool EnsureGstInitialised();

}  // namespace hv
