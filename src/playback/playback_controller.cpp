#include "playback/playback_controller.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "playback/playback_frame_worker.h"
#include "playback/volume_table.h"
#include "video/frame_source_graph.h"
#include "video/video_info.h"

namespace hv {

std::optional<int32_t> PositionBarValue(int64_t position, int64_t duration, int32_t frameCount) {
    if (duration <= 0) return std::nullopt;
    if (position < 0) position = 0;
    // In double: frame count x position overflows 64 bits for long videos.
    const double v = static_cast<double>(frameCount) * static_cast<double>(position) /
                     static_cast<double>(duration);
    return static_cast<int32_t>(std::lrint(std::min(v, 2147483647.0)));
}

PlaybackController::PlaybackController(PlaybackHost& host, UnwrapEngine& engine,
                                       PlaybackOptions options)
    : host_(host),
      ownUnwrapper_(std::make_unique<EngineUnwrapper>(engine)),
      unwrapper_(*ownUnwrapper_),
      options_(std::move(options)) {}

PlaybackController::PlaybackController(PlaybackHost& host, FrameUnwrapper& unwrapper,
                                       PlaybackOptions options)
    : host_(host), unwrapper_(unwrapper), options_(std::move(options)) {}

PlaybackController::~PlaybackController() {
    // The worker uses every member; it must be gone before any is destroyed.
    SetAppClosing();
    worker_.Join();
}

bool PlaybackController::StopWanted() const {
    return appClosing_.load() || worker_.StopRequested();
}

bool PlaybackController::VideoOpen() const {
    return GraphActive.load() == 1 && source_.Held();
}

VideoFormat PlaybackController::Format() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return format_;
}

std::string PlaybackController::CurrentVideoFile() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return currentFile_;
}

std::string PlaybackController::VideoInfoText() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return videoInfo_;
}

std::string PlaybackController::StreamError() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return streamError_;
}

PositionBarUpdate PlaybackController::PositionBar() const {
    PositionBarUpdate u;
    u.serial = barSerial_.load();
    u.value = barValue_.load();
    return u;
}

PlaybackStats PlaybackController::Stats() const {
    PlaybackStats s;
    s.loopsStarted = loopsStarted_.load();
    s.cycles = cycles_.load();
    s.unwrapStarted = unwrapStarted_.load();
    s.unwrapDropped = unwrapDropped_.load();
    s.positionReads = positionReads_.load();
    s.restarts = restarts_.load();
    return s;
}

// ---- opening and stopping ------------------------------------------------

void PlaybackController::StopForLoad(const PumpStep& pumpStep) {
    // The source's own state change is what the seek waits for, not a
    // fixed time.
    source_.Call([](FrameSource& s) {
        s.Stop();
        s.WaitForState();
        s.Seek(0);
    });
    // Without a worker there is nothing to stop or wait for: the dialog
    // comes at once.
    if (worker_.Finished()) {
        state_.store(kPlayerIdle);
        worker_.Join();
        return;
    }
    RequestPlaybackStop(kLoadStopFirstWaitMs, pumpStep);
    pumpStep(1);
    WaitUntilReleased(pumpStep);
}

bool PlaybackController::OpenVideo(const std::string& chosenName, const DoughnutGeometry& geometry,
                                   const PumpStep& pumpStep) {
    const std::string name = TrimVideoName(chosenName);
    if (name.empty() || appClosing_.load()) {
        state_.store(kPlayerIdle);
        return false;
    }
    state_.store(kPlayerIdle);
    // Normally the Load command has stopped the previous video already; a
    // worker that still plays is stopped here rather than waited for forever.
    if (!worker_.Finished()) worker_.RequestStop();
    WaitUntilReleased(pumpStep);
    {
        std::lock_guard<std::mutex> lock(textMutex_);
        videoInfo_ = BeginVideoInfo(name);
        currentFile_ = name;
        streamError_.clear();
        geometry_ = geometry;
        format_ = VideoFormat{};
    }
    position_.store(0);
    pendingSeek_.store(-1);
    userPaused_.store(false);
    // No "PlaybackState = 0" after the start: it would race the worker's 1
    // (a failed build leaves 1 until the next open or Load).
    worker_.Start([this, name] { VideoWorker(name); });
    return true;
}

void PlaybackController::RequestPlaybackStop(int firstWaitMs, const PumpStep& pumpStep) {
    worker_.RequestStop();
    state_.store(kPlayerStopRequested);
    // Each wait ends as soon as there is nothing left to wait for: the
    // worker acknowledged (0) or has returned.
    const auto settled = [this] { return state_.load() == kPlayerIdle || worker_.Finished(); };
    for (int waited = 0; waited < 2 * firstWaitMs && !settled(); waited += 10) {
        pumpStep(5);
        SleepStep(5);
    }
    for (int pass = 0; pass < kStopPasses && !settled(); ++pass) {
        pumpStep(10);
        SleepStep(10);
        // Repeat the request over a "2" the build has just written, but
        // keep an acknowledgement (0) that arrived meanwhile.
        int32_t playing = kPlayerPlaying;
        state_.compare_exchange_strong(playing, kPlayerStopRequested);
    }
    state_.store(kPlayerIdle);
}

void PlaybackController::WaitUntilReleased(const PumpStep& pumpStep) {
    // Short passes: the release usually takes a few tens of milliseconds.
    while (!worker_.Finished() || GraphActive.load() != 0) pumpStep(10);
    worker_.Join();
}

void PlaybackController::Shutdown(const PumpStep& pumpStep) {
    if (shutDown_.exchange(true)) return;
    StopSource();
    SetAppClosing();
    RequestPlaybackStop(kExitStopFirstWaitMs, pumpStep);
    WaitUntilReleased(pumpStep);
}

void PlaybackController::StopSource() {
    source_.Call([](FrameSource& s) { s.Stop(); });
}

void PlaybackController::SetAppClosing() {
    appClosing_.store(true);
    worker_.RequestStop();
}

// ---- worker --------------------------------------------------------------

void PlaybackController::VideoWorker(std::string file) {
    if (TrimVideoName(file).empty()) return;
    state_.store(kPlayerStopRequested);  // "starting" shares the value 1
    if (StopWanted()) return;
    host_.VideoStarting();

    FrameSourceGraphHooks hooks;
    hooks.running = [this](FrameSource& source) { HandOver(source); };
    hooks.factory = options_.factory;
    hooks.prerollTimeoutMs = options_.prerollTimeoutMs;
    BuildFrameSourceGraph(FrameSourceProgram::Player, file, host_.Messages(), hooks);
}

void PlaybackController::HandOver(FrameSource& source) {
    const VideoFormat format = source.Format();
    {
        std::lock_guard<std::mutex> lock(textMutex_);
        format_ = format;
    }
    position_.store(0);
    if (!StopWanted()) {
        state_.store(kPlayerPlaying);
        source_.Attach(&source);
        ApplyVolumeLevel(volumeLevel_.load());
        host_.StreamOpened();

        // A picture size the frame buffer refuses ends the video here.
        const bool allocated = ValidFrameSize(format.width, format.height);
        // The first picture, as soon as the source has one (at most
        // 500 ms; a source that cannot tell gets the whole time).
        bool go = true;
        for (int waited = 0; go && waited < 500 && source.PictureSerial() == 0; waited += 10)
            go = worker_.SleepFor(10);
        // A stream that hands the decoder's planes is unwrapped from them:
        // its frame buffer stays empty unless a picture without planes
        // comes later (the unwrap then sizes it). Any other stream's buffer
        // starts with the first picture, converted.
        if (allocated && go && !StopWanted() && !source.CurrentPicture() &&
            frame_.Allocate(format.width, format.height)) {
            int32_t size = std::min(format.sampleSize, frame_.PictureBytes());
            if (size > 0) source.CurrentFrame(frame_.data(), &size);
        }
        int32_t volume = 0;
        if (source_.Call([&](FrameSource& s) { volume = s.GetVolume(); })) {
            savedVolume_.store(volume);
        }
        if (allocated && !StopWanted()) RunPlaybackLoop(source);
        source_.Detach();
        frame_ = FrameBuffer{};
    }
    // Acknowledge a stop request that arrived before the loop could.
    state_.store(kPlayerIdle);
}

void PlaybackController::RunPlaybackLoop(FrameSource& source) {
    state_.store(kPlayerPlaying);
    const VideoFormat format = Format();
    DoughnutGeometry geometry;
    {
        std::lock_guard<std::mutex> lock(textMutex_);
        geometry = geometry_;
    }
    const RingGeometryResult rg = BuildRingGeometry(geometry, format.width, format.height);
    std::string error = rg.error;
    if (!rg.ok || !unwrapper_.Configure(rg.ring, &error)) {
        // A ring the view cannot be built from: say why and close the video
        // instead of unwrapping with undefined view limits.
        host_.Messages().ShowMessage(MessageKind::Monitoring, kMonitoringCaption, error);
        state_.store(kPlayerIdle);
        {
            std::lock_guard<std::mutex> lock(textMutex_);
            videoInfo_.clear();
        }
        host_.VideoClosed();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(textMutex_);
        videoInfo_ += PlayerStreamLines(format, rg.ring.Wp, rg.ring.Hs());
    }
    host_.StreamStarted(rg.ring);

    loopRunning_.store(true);
    loopsStarted_.fetch_add(1);
    {
        FrameJobWorker unwrap([this, &source] {
            if (unwrapper_.UnwrapFrame(source, frame_)) host_.RequestRender();
        });
        int cycle = 0;
        for (;;) {
            if (state_.load() == kPlayerStopRequested || StopWanted()) break;
            TakePendingSeek();
            // A stream broken while playing ends here, as a stop would.
            if (std::string broken = source.StreamError(); !broken.empty()) {
                std::lock_guard<std::mutex> lock(textMutex_);
                streamError_ = std::move(broken);
                break;
            }
            if (unwrap.Trigger()) {
                unwrapStarted_.fetch_add(1);
            } else {
                unwrapDropped_.fetch_add(1);
            }
            cycles_.fetch_add(1);
            if (++cycle == kPositionBarEvery) {
                cycle = 0;
                const uint64_t generation = seekGeneration_.load();
                int64_t pos = -1;
                source_.Call([&](FrameSource& s) { pos = s.Position(); });
                // A seek requested meanwhile makes this read stale.
                const bool current =
                    generation == seekGeneration_.load() && pendingSeek_.load() < 0;
                if (pos >= 0 && current) position_.store(pos);
                positionReads_.fetch_add(1);
                auto bar = PositionBarValue(position_.load(), format.duration, format.frameCount);
                if (bar && current) {
                    // The value first: a reader that sees the new serial
                    // finds at least this value.
                    barValue_.store(*bar);
                    barSerial_.fetch_add(1);
                }
            }
            // A stream without a known duration never counts as ended.
            if (repeat_.load() && !userPaused_.load() && format.duration > 0 &&
                position_.load() >= format.duration) {
                Restart();
            }
            worker_.SleepFor(kPlaybackCycleMs);
        }
        unwrap.Stop();  // the last job has finished: the panorama is ours
    }
    loopRunning_.store(false);
    state_.store(kPlayerIdle);  // the acknowledgement RequestPlaybackStop waits for

    host_.StreamEnded();
    {
        std::lock_guard<std::mutex> lock(textMutex_);
        videoInfo_.clear();
    }
    host_.VideoClosed();
    unwrapper_.ReleaseWorking();
}

// ---- transport -----------------------------------------------------------

bool PlaybackController::PlayVideo() {
    if (!VideoOpen()) return false;
    userPaused_.store(false);
    const int64_t duration = Format().duration;
    return source_.Call([&](FrameSource& s) {
        if (position_.load() == duration) {
            position_.store(0);
            s.Seek(0);
        }
        s.Run();
    });
}

bool PlaybackController::PauseVideo() {
    if (!VideoOpen()) return false;
    // Before the handle's lock: an automatic restart holding it sees the
    // pause and leaves the video paused.
    userPaused_.store(true);
    return source_.Call([](FrameSource& s) { s.Pause(); });
}

bool PlaybackController::RestartVideo() {
    if (!VideoOpen()) return false;
    userPaused_.store(false);
    return Restart();
}

bool PlaybackController::Restart() {
    restarts_.fetch_add(1);
    SleepStep(100);
    return source_.Call([&](FrameSource& s) {
        s.Pause();
        position_.store(0);
        s.WaitForState();
        s.Seek(0);
        s.WaitForState();
        if (userPaused_.load()) {
            s.Pause();  // a user's pause arrived meanwhile: it holds
        } else {
            s.Run();
        }
    });
}

bool PlaybackController::SeekToFrame(int32_t n, const PumpStep& pumpStep) {
    if (!VideoOpen() || !loopRunning_.load()) return false;
    const VideoFormat format = Format();
    n = std::clamp(n, 0, std::max(format.frameCount, 0));
    const int64_t target = format.avgTimePerFrame * static_cast<int64_t>(n);
    const bool held = source_.Call([&](FrameSource& s) {
        s.Pause();
        s.WaitForState();
        s.Seek(target);
        s.WaitForState();
    });
    if (!held) return false;
    position_.store(target);
    pumpStep(250);
    return source_.Call([](FrameSource& s) { s.Run(); });
}

bool PlaybackController::RequestSeek(int32_t n) {
    if (!VideoOpen() || !loopRunning_.load()) return false;
    const VideoFormat format = Format();
    n = std::clamp(n, 0, std::max(format.frameCount, 0));
    const int64_t target = format.avgTimePerFrame * static_cast<int64_t>(n);
    userPaused_.store(true);
    seekGeneration_.fetch_add(1);
    position_.store(target);
    pendingSeek_.store(target);
    // The bar shows the requested place at once; a read the loop made
    // before the seek is not published over it (see RunPlaybackLoop).
    if (auto bar = PositionBarValue(target, format.duration, format.frameCount)) {
        barValue_.store(*bar);
        barSerial_.fetch_add(1);
    }
    return true;
}

void PlaybackController::TakePendingSeek() {
    const int64_t target = pendingSeek_.exchange(-1);
    if (target < 0) return;
    source_.Call([&](FrameSource& s) {
        s.Pause();
        s.WaitForState();
        s.Seek(target);
        s.WaitForState();
    });
    // A position read between the request and here showed the old place.
    if (pendingSeek_.load() < 0) position_.store(target);
}

// ---- sound ---------------------------------------------------------------

bool PlaybackController::ApplyVolumeLevel(int32_t level) {
    const std::optional<int32_t> volume = VolumeForLevel(level);
    if (!volume) return false;
    indicatorLevel_.store(level);
    source_.Call([&](FrameSource& s) { s.SetVolume(*volume); });
    if (level >= 1) volumeLevel_.store(level);  // level 0 (mute) keeps it
    return true;
}

bool PlaybackController::SetVolumeLevel(int32_t level) {
    if (!VideoOpen()) return false;
    if (!ApplyVolumeLevel(level)) return false;
    if (level >= 1 && soundMuted_.load()) soundMuted_.store(false);
    return true;
}

bool PlaybackController::ToggleSound() {
    return soundMuted_.load() ? UnmuteSound() : MuteSound();
}

bool PlaybackController::MuteSound() {
    if (!VideoOpen()) return false;
    int32_t volume = 0;
    source_.Call([&](FrameSource& s) { volume = s.GetVolume(); });
    savedVolume_.store(volume);
    ApplyVolumeLevel(0);
    soundMuted_.store(true);
    return true;
}

bool PlaybackController::UnmuteSound() {
    if (!VideoOpen()) return false;
    const int32_t saved = savedVolume_.load();
    source_.Call([&](FrameSource& s) { s.SetVolume(saved); });
    ApplyVolumeLevel(volumeLevel_.load());
    soundMuted_.store(false);
    return true;
}

}  // namespace hv
