// The setup utility's playback of one opened video at a time: the hand-over
// from its open dialog, the VideoWorker thread that builds the frame source
// (without sound), the preview pump that runs the setup's PreviewStep every
// 50 ms on that worker, Run/Stop, and the stop sequences of Load and exit.
// GUI-free; the setup utility drives it through the public methods and reads
// what its window shows (title, stream status, format) from the accessors
// when the host wakes it (PreviewHost, preview_host.h).
//
// Threads: the public methods run on the GUI thread, except the accessors
// (any thread). The worker (one at a time, owned and joined here) calls the
// host, PreviewStep and the wake-ups, from its own thread, always after it
// has stored what the wake-up announces.
//
// Exit: call Shutdown(pumpStep) on the GUI thread before destroying the
// controller.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "playback/playback_state.h"
#include "playback/playback_worker.h"
#include "playback/preview_host.h"
#include "video/frame_source.h"
#include "video/frame_source_graph.h"

namespace hv {

inline constexpr int kPreviewCycleMs = 50;         // preview pump cadence
inline constexpr int kPreviewStartDelayMs = 1200;  // before "Stream ON"

struct PreviewOptions {
    int32_t prerollTimeoutMs = 0;  // 0 keeps the source's default
    FrameSourceFactory factory;    // default: the GStreamer source
};

class PreviewController {
  public:
    explicit PreviewController(PreviewHost& host, PreviewOptions options = {});
    ~PreviewController();

    PreviewController(const PreviewController&) = delete;
    PreviewController& operator=(const PreviewController&) = delete;

    // FileDialogOpen: BeginFileDialog sets it and returns true, or returns
    // false when the dialog is already open (the second OpenVideo returns
    // at once). EndFileDialog clears it.
    bool BeginFileDialog();
    void EndFileDialog();
    bool FileDialogOpen() const { return fileDialogOpen_.load(); }

    // The Load command's stop: PlaybackState = 0, sleep 100 ms, then pump
    // until the source is released and the worker has returned (no limit).
    void StopForLoad(const PumpStep& pumpStep);

    // OpenVideo once the dialog has returned (the caller has already stored
    // OPATH, moved the preview picture into view and cleared the pictures).
    // Cancelled (empty name): PlaybackState = 0, false. Otherwise:
    // PlaybackState = 0, waits (pumping) until any previous worker has
    // released its source, stopping it first if it still runs;
    // CurrentVideoFile = the trimmed name; starts VideoWorker;
    // PlaybackState = 0; true.
    bool OpenVideo(const std::string& chosenName, const PumpStep& pumpStep);

    // "Run" / "Stop": run or pause the source; nothing without a video. Run
    // on a clip that has reached its end starts it from the beginning.
    bool RunVideo();
    bool PauseVideo();

    // The exit sequence: PlaybackState = 0, pumpStep(500) and 500 ms, up to
    // 21 passes (pumpStep(10), 10 ms) while GraphActive is 1, pumpStep(1)
    // and 100 ms; then waits (pumping) until the worker has returned and
    // joins it. Idempotent.
    void Shutdown(const PumpStep& pumpStep);

    // VideoInfoText: emptied by the open sequence (ClearVideoInfo), the
    // stream lines appended when the stream runs.
    std::string VideoInfoText() const;
    void ClearVideoInfo();

    // The main window's title: the full path of the video once the worker
    // has titled the window (StreamStateChanged), empty for the program's own
    // title. It stays after the stream ends; the open sequence empties it
    // (ResetTitle) when the dialog opens.
    std::string WindowTitle() const;
    void ResetTitle();

    // The stream status label: Off until a build starts, Buffering while
    // it builds, On when the pump starts, Off once the stream is released.
    StreamStatus Status() const { return status_.load(); }

    int32_t PlaybackState() const { return state_.load(); }
    bool PumpRunning() const { return pumpRunning_.load(); }
    bool VideoOpen() const;  // GraphActive 1 and the source held
    bool WorkerAlive() const { return !worker_.Finished(); }
    VideoFormat Format() const;
    std::string CurrentVideoFile() const;
    uint64_t PreviewSteps() const { return previewSteps_.load(); }

  private:
    void VideoWorker(std::string file);
    void HandOver(FrameSource& source);
    void RunPreviewPump(FrameSource& source);
    void RequestStop();
    void WaitUntilReleased(const PumpStep& pumpStep);
    void SetStatus(StreamStatus status);

    PreviewHost& host_;
    PreviewOptions options_;
    PlaybackWorker worker_;
    SourceHandle source_;

    std::atomic<int32_t> state_{kSetupStop};
    std::atomic<bool> pumpRunning_{false};
    std::atomic<bool> fileDialogOpen_{false};
    std::atomic<bool> shutDown_{false};
    std::atomic<uint64_t> previewSteps_{0};
    std::atomic<StreamStatus> status_{StreamStatus::Off};  // written by the worker

    mutable std::mutex textMutex_;  // guards the four fields below
    std::string currentFile_;
    std::string windowTitle_;
    std::string videoInfo_;
    VideoFormat format_;

    FrameBuffer frame_;  // the worker's while a stream runs
};

}  // namespace hv
