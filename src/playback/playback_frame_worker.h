// A persistent worker thread that runs one frame job per tick of the
// playback loop. It stands in for the thread-per-frame UnwrapFrame jobs:
// a tick that finds the previous job still busy is dropped, never queued,
// so a slow unwrap turns into dropped frames and the loop keeps its cadence.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace hv {

class FrameJobWorker {
  public:
    // `job` runs on the worker thread, one call per accepted tick.
    explicit FrameJobWorker(std::function<void()> job);
    ~FrameJobWorker();  // Stop()

    FrameJobWorker(const FrameJobWorker&) = delete;
    FrameJobWorker& operator=(const FrameJobWorker&) = delete;

    // Starts one run of the job; false when the previous run is still busy
    // (the tick is dropped). Called by one thread, the playback loop.
    bool Trigger();

    // Waits for a running job to finish, skips one that has not started, and
    // joins the thread. After it returns the job no longer runs, so whatever
    // the job writes may be released. Idempotent.
    void Stop();

    uint64_t Started() const { return started_.load(); }
    uint64_t Dropped() const { return dropped_.load(); }
    bool Busy() const { return busy_.load(); }

  private:
    void Run();

    std::function<void()> job_;
    std::atomic<bool> busy_{false};  // set by Trigger, cleared after the job
    std::atomic<uint64_t> started_{0};
    std::atomic<uint64_t> dropped_{0};

    std::mutex mutex_;  // guards pending_ and quit_
    std::condition_variable wake_;
    bool pending_ = false;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace hv
