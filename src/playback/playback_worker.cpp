#include "playback/playback_worker.h"

#include <chrono>
#include <utility>

namespace hv {

PlaybackWorker::~PlaybackWorker() {
    RequestStop();
    Join();
}

void PlaybackWorker::Start(std::function<void()> body) {
    Join();
    {
        std::lock_guard<std::mutex> lock(sleepMutex_);
        stop_.store(false);
    }
    finished_.store(false);
    thread_ = std::thread([this, body = std::move(body)] {
        body();
        finished_.store(true);
    });
}

void PlaybackWorker::RequestStop() {
    {
        std::lock_guard<std::mutex> lock(sleepMutex_);
        stop_.store(true);
    }
    sleepWake_.notify_all();
}

bool PlaybackWorker::SleepFor(int ms) {
    std::unique_lock<std::mutex> lock(sleepMutex_);
    if (ms > 0) {
        sleepWake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
    }
    return !stop_.load();
}

void PlaybackWorker::WaitAndJoin(const PumpStep& pumpStep) {
    while (!finished_.load()) pumpStep(100);
    Join();
}

void PlaybackWorker::Join() {
    if (thread_.joinable()) thread_.join();
}

void SourceHandle::Attach(FrameSource* source) {
    std::lock_guard<std::mutex> lock(mutex_);
    source_ = source;
}

void SourceHandle::Detach() {
    std::lock_guard<std::mutex> lock(mutex_);
    source_ = nullptr;
}

bool SourceHandle::Held() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return source_ != nullptr;
}

}  // namespace hv
