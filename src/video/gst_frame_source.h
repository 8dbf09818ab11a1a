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
// LatestFrame mode keeps the most recent picture as a referenced GstSample
// (taken at preroll and at each rendered buffer); CurrentFrame copies it
// bottom-up, so calls between two pictures return the same bytes.
// EveryFrame mode runs the appsink unsynchronised, without dropping, with a
// queue of kEveryFrameQueue samples that NextFrame pulls. A sound branch
// whose device fails while prerolling is replaced by a fakesink that keeps
// the timing (the open is retried once that way).
//
// Errors: one bus handler takes every message. Before the preroll has
// succeeded an error fails Open with its build step; afterwards the first
// one becomes StreamError() (the sound branch's errors excepted).
//
// Locks: no GStreamer call is made while a lock of the source is held (the
// discipline of gstappsink.c). The pipeline is reached through a gate:
// a transport call counts itself in under the lock and calls out without
// it; Open and Close close the gate, wait until the calls in progress have
// left, and then build or tear down with no lock held (the preroll wait
// included). The latest sample is taken by reference under its lock and
// copied outside it. gst_frame_source.cpp lists which lock guards what.
#pragma once

#include <memory>

#include "video/frame_source.h"

namespace hv {

std::unique_ptr<FrameSource> CreateGstFrameSource();

// Calls gst_init once per process (thread-safe). Returns false when
// GStreamer cannot be initialised.
bool EnsureGstInitialised();

}  // namespace hv
