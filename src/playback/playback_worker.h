// Building blocks shared by the player's and the setup utility's playback:
// the video worker thread with its sticky stop request, and the guarded
// handle through which other threads reach the worker's frame source.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "video/frame_source.h"
#include "playback/playback_state.h"

namespace hv {

// One VideoWorker thread at a time. Start() is called by the GUI thread
// only; the stop request and the sleeps are thread-safe.
//
// The stop request is sticky for the life of one worker: it cannot be lost
// by the worker overwriting PlaybackState (the build's "2", the setup
// pump's "1"), which would otherwise leave a stopping program waiting for a
// video that never ends.
class PlaybackWorker {
  public:
    PlaybackWorker() = default;
    ~PlaybackWorker();  // RequestStop() and Join()

    PlaybackWorker(const PlaybackWorker&) = delete;
    PlaybackWorker& operator=(const PlaybackWorker&) = delete;

    // Runs `body` on a new thread. The previous worker must have finished
    // (Finished()); it is joined here. Clears the stop request.
    void Start(std::function<void()> body);

    // True when no worker runs (none started, or the last one has returned).
    bool Finished() const { return finished_.load(); }

    // Asks the running worker to stop; wakes its sleeps at once.
    void RequestStop();
    bool StopRequested() const { return stop_.load(); }

    // Worker side: sleeps `ms`, or less when a stop is requested. Returns
    // false when a stop has been requested.
    bool SleepFor(int ms);

    // GUI side: passes of pumpStep(100) until the worker has returned, then
    // joins it. No time limit; the worker's own steps are bounded.
    void WaitAndJoin(const PumpStep& pumpStep);

    // Joins without pumping (destructors, worker-free callers).
    void Join();

  private:
    std::thread thread_;
    std::atomic<bool> finished_{true};
    std::atomic<bool> stop_{false};
    std::mutex sleepMutex_;
    std::condition_variable sleepWake_;
};

// The running frame source as the GUI thread and the loop reach it. The
// worker attaches it when the stream runs and detaches it before the build
// releases it; Detach waits for a call in progress, so no call ever reaches
// a released source. Calls are serialised (one at a time); CurrentFrame is
// not routed through here (the frame jobs call the source directly, and
// they end before the worker detaches).
class SourceHandle {
  public:
    void Attach(FrameSource* source);
    void Detach();
    bool Held() const;

    // Calls f(source) under the handle's lock; false when none is held.
    // f must not call a host callback or take another lock.
    template <class F>
    bool Call(F&& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (source_ == nullptr) return false;
        f(*source_);
        return true;
    }

  private:
    mutable std::mutex mutex_;
    FrameSource* source_ = nullptr;
};

}  // namespace hv
