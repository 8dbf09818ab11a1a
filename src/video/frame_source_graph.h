// The frame source graph of one program: the build that opens a video on the
// video worker thread, hands the running source to the playback loop or the
// preview pump, and releases it again; the program-wide GraphActive flag.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "video/frame_source.h"
#include "video/messages.h"

namespace hv {

// 1 from the start of a build until its clean-up has released the source, 0
// otherwise. Written only by BuildFrameSourceGraph; everyone else reads it.
extern std::atomic<int32_t> GraphActive;

// Makes the frame source a build opens. The default makes the GStreamer
// source (CreateGstFrameSource).
using FrameSourceFactory = std::function<std::unique_ptr<FrameSource>()>;

struct FrameSourceGraphHooks {
    // After GraphActive has become 1, before anything is opened (setup
    // utility: the "Buffering" status label).
    std::function<void()> building;
    // The source runs and Format() is valid: record the stream, hand over,
    // and stay in the playback loop (player) or the preview pump (setup
    // utility) until it ends. When this returns, the build releases the
    // source. The source is also reachable through CurrentFrameSource()
    // for as long as this runs.
    std::function<void(FrameSource& source)> running;
    // After the clean-up, with GraphActive back at 0 (setup utility:
    // ClearPictures and the "Stream OFF" label). Also called when the build
    // failed, never when it returned at once because a graph was alive.
    std::function<void()> released;
    // Optional: a different source implementation.
    FrameSourceFactory factory;
    // Optional: the preroll bound passed to Open (0 keeps the default).
    int32_t prerollTimeoutMs = 0;
    // The player's graph without its sound branch, for a caller that only
    // reads the stream (no sound device is probed or opened).
    bool withoutSound = false;
};

// What a build ended with (the GUI programs ignore it; tests and hvtool use it).
enum class BuildOutcome {
    AlreadyActive,  // GraphActive was 1: returned at once, nothing touched
    Failed,         // a step failed; its message (if any) was shown
    Ran,            // the source ran and hooks.running returned
};

// Runs on the video worker thread. Player: serialised by a program-wide
// mutex (a second caller waits until the first has left). Both: returns at
// once when GraphActive is already 1. Otherwise GraphActive = 1, opens the
// file (player with sound; the setup utility without, and with one second
// attempt 300 ms after a failed source step), shows the step's fixed
// message on failure, else calls hooks.running; always ends in the
// clean-up: ReleaseFrameSourceGraph, GraphActive = 0, hooks.released.
BuildOutcome BuildFrameSourceGraph(FrameSourceProgram program, const std::string& file,
                                   MessageSink& messages, const FrameSourceGraphHooks& hooks);

// Closes and drops the program's current source (if any). Called by the
// build's clean-up; safe to call at any time and more than once.
void ReleaseFrameSourceGraph();

// The program's current source while a build holds one, else null. The GUI
// thread uses it for run, pause, seek and volume; the shared pointer keeps
// the object alive across a concurrent release (operations on a closed
// source do nothing). Test GraphActive first, as the commands do.
std::shared_ptr<FrameSource> CurrentFrameSource();

}  // namespace hv
