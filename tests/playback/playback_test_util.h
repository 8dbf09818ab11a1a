// Shared pieces of the playback tests: a host that records the playback's
// wake-ups and what a window would read on them, tiny real test videos, and
// polling waits.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "unwrap/unwrap_engine.h"
#include "video/messages.h"
#include "playback/playback_controller.h"
#include "playback/playback_host.h"
#include "playback/preview_pump.h"

namespace hvtest {

// Polls `pred` every 5 ms until it holds or `timeoutMs` has passed.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs);

// The PumpStep the tests pass: a plain sleep (no windows to keep live).
void TestPump(int ms);

// Threads of this process (/proc/self/task) and its resident memory in KiB.
int ThreadCount();
long ResidentKiB();

// Tiny videos for the whole test program, made once into a temp folder.
struct TestVideos {
    std::filesystem::path folder;
    std::string withSound;  // 320x240, 25 fps, 60 frames (2.4 s), tone
    std::string silent;     // 320x240, 25 fps, 50 frames (2.0 s), no sound
    std::string error;      // non-empty when the maker failed
};
const TestVideos& Videos();

struct MessageRecord {
    hv::MessageKind kind;
    std::string caption, text;
};

class RecordingSink : public hv::MessageSink {
  public:
    void ShowMessage(hv::MessageKind kind, const std::string& caption,
                     const std::string& text) override;
    std::vector<MessageRecord> Messages() const;

  private:
    mutable std::mutex mu_;
    std::vector<MessageRecord> messages_;
};

// One position bar value the loop published, as a window polling every
// millisecond saw it, with the controller's position and restart count then.
struct BarRecord {
    int32_t bar;
    int64_t position;
    uint64_t restarts;
    uint64_t serial;
};

// Plays the window: the caption from the wake-ups, and while a loop runs a
// poller that records every new position bar value (as the player's window
// polls, only finer).
class PlayerHostRecorder : public hv::PlaybackHost {
  public:
    ~PlayerHostRecorder() override { StopPolling(); }

    // Set after the controller exists; read from the worker in callbacks.
    std::atomic<hv::PlaybackController*> controller{nullptr};

    hv::MessageSink& Messages() override { return sink; }
    void VideoStarting() override;
    void StreamOpened() override;
    void StreamStarted(const hv::RingGeometry& ring) override;
    void StreamEnded() override;
    void VideoClosed() override;
    void RequestRender() override { renders.fetch_add(1); }

    std::string Title() const;
    std::vector<BarRecord> Bars() const;
    int CallsSoFar() const;  // every callback counted

    RecordingSink sink;
    std::atomic<int> titles{0}, resetTitles{0}, opened{0}, started{0}, streamEnded{0}, renders{0};
    std::atomic<int> rangeMax{-1};
    std::atomic<int32_t> ringWp{0};

  private:
    void PollBar();
    void StopPolling();

    mutable std::mutex mu_;
    std::string title_;
    std::vector<BarRecord> bars_;
    uint64_t lastSerial_ = 0;
    std::atomic<bool> polling_{false};
    std::thread poller_;  // started and joined on the video worker
};

// The player's real unwrap engine, optionally slowed down, counting how
// often it runs at the same time as itself and reading the frame number of
// every picture it took.
class CountingUnwrapper : public hv::FrameUnwrapper {
  public:
    explicit CountingUnwrapper(int delayMs = 0) : delayMs_(delayMs), engine_adapter_(engine) {}
    bool Configure(const hv::RingGeometry& ring, std::string* error) override;
    bool UnwrapFrame(hv::FrameSource& source, hv::FrameBuffer& frame) override;
    void ReleaseWorking() override;

    hv::UnwrapEngine engine;
    std::atomic<int> calls{0}, maxInFlight{0}, configured{0}, released{0};
    std::atomic<int32_t> lastFrameNumber{-1};

  private:
    int delayMs_;
    std::atomic<int> inFlight_{0};
    hv::EngineUnwrapper engine_adapter_;
};

// Records what the preview pump's window would show: on every wake-up it
// reads the title and status from the controller, as the setup window does,
// and keeps each change.
class SetupHostRecorder : public hv::PreviewHost {
  public:
    // Set after the controller exists, before a video opens.
    std::atomic<hv::PreviewController*> controller{nullptr};

    hv::MessageSink& Messages() override { return sink; }
    void StreamStateChanged() override;
    void StreamOpened() override { opened.fetch_add(1); }
    void PreviewStep(hv::FrameSource& source, hv::FrameBuffer& frame) override;
    void StreamEnded() override;

    std::vector<hv::StreamStatus> Statuses() const;
    // Times of the PreviewStep calls, milliseconds since the first one.
    std::vector<double> StepTimes() const;

    RecordingSink sink;
    std::atomic<int> titles{0}, opened{0}, clears{0}, steps{0}, framesTaken{0};
    std::atomic<int32_t> lastFrameNumber{-1};

  private:
    void PullState();

    mutable std::mutex mu_;
    std::string title_;
    hv::StreamStatus shownStatus_ = hv::StreamStatus::Off;
    std::vector<hv::StreamStatus> statuses_;
    std::vector<std::chrono::steady_clock::time_point> stepTimes_;
};

}  // namespace hvtest
