#include "playback/playback_frame_worker.h"

#include <utility>

namespace hv {

FrameJobWorker::FrameJobWorker(std::function<void()> job) : job_(std::move(job)) {
    thread_ = std::thread([this] { Run(); });
}

FrameJobWorker::~FrameJobWorker() {
    Stop();
}

bool FrameJobWorker::Trigger() {
    if (busy_.exchange(true)) {
        dropped_.fetch_add(1);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (quit_) {
            busy_.store(false);
            return false;
        }
        pending_ = true;
    }
    started_.fetch_add(1);
    wake_.notify_one();
    return true;
}

void FrameJobWorker::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void FrameJobWorker::Run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return pending_ || quit_; });
            if (quit_) {
                pending_ = false;
                busy_.store(false);
                return;
            }
            pending_ = false;
        }
        job_();
        busy_.store(false);
    }
}

}  // namespace hv
