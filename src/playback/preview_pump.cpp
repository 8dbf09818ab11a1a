#include "playback/preview_pump.h"

#include <algorithm>

#include "video/video_info.h"

namespace hv {

PreviewController::PreviewController(PreviewHost& host, PreviewOptions options)
    : host_(host), options_(std::move(options)) {}

PreviewController::~PreviewController() {
    RequestStop();
    worker_.Join();
}

bool PreviewController::BeginFileDialog() {
    return !fileDialogOpen_.exchange(true);
}

void PreviewController::EndFileDialog() {
    fileDialogOpen_.store(false);
}

bool PreviewController::VideoOpen() const {
    return GraphActive.load() == 1 && source_.Held();
}

VideoFormat PreviewController::Format() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return format_;
}

std::string PreviewController::CurrentVideoFile() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return currentFile_;
}

std::string PreviewController::VideoInfoText() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return videoInfo_;
}

void PreviewController::ClearVideoInfo() {
    std::lock_guard<std::mutex> lock(textMutex_);
    videoInfo_.clear();
}

std::string PreviewController::WindowTitle() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return windowTitle_;
}

void PreviewController::ResetTitle() {
    std::lock_guard<std::mutex> lock(textMutex_);
    windowTitle_.clear();
}

void PreviewController::SetStatus(StreamStatus status) {
    status_.store(status);
    host_.StreamStateChanged();
}

void PreviewController::RequestStop() {
    // The sticky request keeps the worker from pumping on after its build
    // has overwritten the 0 with 2 or 1.
    worker_.RequestStop();
    state_.store(kSetupStop);
}

void PreviewController::WaitUntilReleased(const PumpStep& pumpStep) {
    while (!worker_.Finished() || GraphActive.load() != 0) pumpStep(100);
    worker_.Join();
}

void PreviewController::StopForLoad(const PumpStep& pumpStep) {
    RequestStop();
    SleepStep(100);
    WaitUntilReleased(pumpStep);
}

bool PreviewController::OpenVideo(const std::string& chosenName, const PumpStep& pumpStep) {
    const std::string name = TrimVideoName(chosenName);
    state_.store(kSetupStop);
    if (name.empty() || shutDown_.load()) return false;
    if (!worker_.Finished()) RequestStop();
    WaitUntilReleased(pumpStep);
    {
        std::lock_guard<std::mutex> lock(textMutex_);
        currentFile_ = name;
        format_ = VideoFormat{};
    }
    // No "PlaybackState = 0" after the start: it could land after the pump
    // has set 1 and end the preview at once.
    worker_.Start([this, name] { VideoWorker(name); });
    return true;
}

bool PreviewController::RunVideo() {
    if (!VideoOpen()) return false;
    // A clip that has played to its end starts again from the beginning, as
    // the player's Play does; running it in place would keep its last frame.
    const int64_t duration = Format().duration;
    return source_.Call([duration](FrameSource& s) {
        if (duration > 0 && s.Position() >= duration) s.Seek(0);
        s.Run();
    });
}

bool PreviewController::PauseVideo() {
    if (!VideoOpen()) return false;
    return source_.Call([](FrameSource& s) { s.Pause(); });
}

void PreviewController::Shutdown(const PumpStep& pumpStep) {
    if (shutDown_.exchange(true)) return;
    RequestStop();
    pumpStep(500);
    SleepStep(500);
    for (int pass = 0; pass < 21 && GraphActive.load() != 0; ++pass) {
        pumpStep(10);
        SleepStep(10);
    }
    pumpStep(1);
    SleepStep(100);
    // Every thread is joined before the program ends.
    WaitUntilReleased(pumpStep);
}

void PreviewController::VideoWorker(std::string file) {
    if (TrimVideoName(file).empty()) return;
    state_.store(kSetupPumping);  // "starting" shares the value 1
    worker_.SleepFor(100);
    if (worker_.StopRequested()) return;
    {
        std::lock_guard<std::mutex> lock(textMutex_);
        windowTitle_ = file;
    }
    host_.StreamStateChanged();

    FrameSourceGraphHooks hooks;
    hooks.building = [this] { SetStatus(StreamStatus::Buffering); };
    hooks.running = [this](FrameSource& source) { HandOver(source); };
    hooks.released = [this] {
        status_.store(StreamStatus::Off);
        host_.StreamEnded();
    };
    hooks.factory = options_.factory;
    hooks.prerollTimeoutMs = options_.prerollTimeoutMs;
    BuildFrameSourceGraph(FrameSourceProgram::Setup, file, host_.Messages(), hooks);
}

void PreviewController::HandOver(FrameSource& source) {
    if (worker_.StopRequested()) return;
    state_.store(kSetupStarted);
    const VideoFormat format = source.Format();
    {
        std::lock_guard<std::mutex> lock(textMutex_);
        format_ = format;
        videoInfo_ += SetupStreamLines(format);
    }
    const bool allocated = frame_.Allocate(format.width, format.height);
    source_.Attach(&source);
    host_.StreamOpened();
    if (allocated && worker_.SleepFor(kPreviewStartDelayMs)) {
        SetStatus(StreamStatus::On);
        state_.store(kSetupPumping);
        RunPreviewPump(source);
    }
    source_.Detach();
    frame_ = FrameBuffer{};
}

void PreviewController::RunPreviewPump(FrameSource& source) {
    pumpRunning_.store(true);
    while (state_.load() != kSetupStop && worker_.SleepFor(kPreviewCycleMs)) {
        if (state_.load() == kSetupStop) break;
        host_.PreviewStep(source, frame_);
        previewSteps_.fetch_add(1);
    }
    pumpRunning_.store(false);
}

}  // namespace hv
