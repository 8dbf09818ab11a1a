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
//   KeepSamples    the appsink does not take the keep-latest (or every-
//                  frame queue) settings
//   ConnectedType  prerolled, but no BGRx sample with readable caps
//
// LatestFrame mode keeps the most recent picture as a referenced GstSample
// (taken at preroll and at each rendered buffer); CurrentFrame copies it
// bottom-up, so calls between two pictures return the same bytes. With
// planarPictures the appsink also takes I420 and NV12 (videoconvert passes
// them through untouched; a decoder of any other format still gets BGRx);
// CurrentPicture maps the kept sample and hands out a shared hold on it
// that unmaps and unrefs it once, and CurrentFrame converts it with
// GStreamer's own converter.
// EveryFrame mode runs the appsink unsynchronised, without dropping, with a
// queue of kEveryFrameQueue samples that NextFrame pulls. A sound branch
// whose device fails while prerolling is replaced by a fakesink that keeps
// the timing (the open is retried once that way).
//
// Errors: one bus handler takes every message. Before the preroll has
// succeeded an error fails Open with its build step; afterwards the first
// one becomes StreamError() (the sound branch's errors excepted).
//
// Threads and locks. No GStreamer call is made while a lock of the source
// is held (the discipline of gstappsink.c: copy under the lock, release,
// then call out).
//  - Owner fields (the pipeline and its elements, the options, the format):
//    written only by Open and Close, one at a time, with the gate closed;
//    streaming-thread callbacks read them while the pipeline runs (set
//    before it leaves NULL, cleared after it is back in NULL).
//  - The gate, protected by its mutex: the pipeline open to calls and the
//    count of calls in progress. Run, Pause, Stop, WaitForState, Position,
//    Seek, SetVolume and NextFrame count themselves in under the lock and
//    call GStreamer without it. Open and Close close the gate, wait until
//    the count is 0 and then build or tear down holding no lock (the
//    preroll wait included), so a release never pulls the pipeline from
//    under a call and a call never starts on a released one.
//  - The latest sample, protected by its mutex: streaming threads store
//    it, any thread takes a reference under the lock and maps and copies
//    the picture outside it.
//  - The bus outcome (prerolled, no video, failed step, stream error),
//    protected by its mutex with a condition variable for the preroll
//    wait: written by the bus handler and decodebin's callbacks.
//  - The sound branch's bin and volume element, protected by their mutex:
//    published by the streaming thread that adds the branch; users copy
//    the pointers under the lock and call out inside a counted call.
//  - Everything else any thread reads (linked, failed, end of stream,
//    position, duration, volume, picture serial) is std::atomic.
#pragma once

#include <memory>

#include "video/frame_source.h"

namespace hv {

std::unique_ptr<FrameSource> CreateGstFrameSource();

// Calls gst_init once per process (thread-safe). Returns false when
// GStreamer cannot be initialised.
bool EnsureGstInitialised();

// Pictures handed out by CurrentPicture that are still held, over every
// source of the process (tests check that each is released exactly once).
int64_t LivePlanarPictures();

}  // namespace hv
