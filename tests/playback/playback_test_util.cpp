#include "playback_test_util.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "video/test_video_maker.h"

namespace hvtest {

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void TestPump(int ms) {
    hv::SleepStep(ms);
}

int ThreadCount() {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)e;
        ++n;
    }
    return n;
}

long ResidentKiB() {
    std::ifstream in("/proc/self/statm");
    long size = 0, resident = 0;
    in >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

namespace {

TestVideos MakeVideos() {
    TestVideos v;
    std::error_code ec;
    v.folder = std::filesystem::temp_directory_path() / ("hv_playback_" + std::to_string(getpid()));
    std::filesystem::create_directories(v.folder, ec);

    hv::TestVideoOptions clip;
    clip.width = 320;
    clip.height = 240;
    clip.fpsNum = 25;
    clip.fpsDen = 1;
    // The ring fitted to a 320 x 240 frame in the 600 x 600 square.
    clip.geometry = hv::DoughnutGeometry{115, 35, 390, 380, 35, 0, 0};

    clip.path = (v.folder / "sound.mp4").string();
    clip.frames = 60;
    clip.audio = true;
    std::string err = hv::MakeTestVideo(clip);
    if (err.empty()) {
        v.withSound = clip.path;
        clip.path = (v.folder / "silent.mp4").string();
        clip.frames = 50;
        clip.audio = false;
        err = hv::MakeTestVideo(clip);
        if (err.empty()) v.silent = clip.path;
    }
    v.error = err;
    return v;
}

struct VideoFolderCleanup {
    ~VideoFolderCleanup() {
        std::error_code ec;
        if (!folder.empty()) std::filesystem::remove_all(folder, ec);
    }
    std::filesystem::path folder;
};

}  // namespace

const TestVideos& Videos() {
    static const TestVideos videos = MakeVideos();
    static VideoFolderCleanup cleanup{videos.folder};
    return videos;
}

void RecordingSink::ShowMessage(hv::MessageKind kind, const std::string& caption,
                                const std::string& text) {
    std::lock_guard<std::mutex> lock(mu_);
    messages_.push_back({kind, caption, text});
}

std::vector<MessageRecord> RecordingSink::Messages() const {
    std::lock_guard<std::mutex> lock(mu_);
    return messages_;
}

void PlayerHostRecorder::VideoStarting() {
    titles.fetch_add(1);
    hv::PlaybackController* c = controller.load();
    std::lock_guard<std::mutex> lock(mu_);
    title_ = c ? c->CurrentVideoFile() : std::string();
}

void PlayerHostRecorder::VideoClosed() {
    resetTitles.fetch_add(1);
    std::lock_guard<std::mutex> lock(mu_);
    title_ = "Halvora 360 Doughnut Player";
}

void PlayerHostRecorder::StreamOpened() {
    if (hv::PlaybackController* c = controller.load()) rangeMax.store(c->Format().frameCount);
    opened.fetch_add(1);
}

void PlayerHostRecorder::StreamStarted(const hv::RingGeometry& ring) {
    ringWp.store(ring.Wp);
    started.fetch_add(1);
    StopPolling();
    polling_.store(true);
    poller_ = std::thread([this] {
        while (polling_.load()) {
            PollBar();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
}

void PlayerHostRecorder::StreamEnded() {
    StopPolling();
    PollBar();  // the value of the loop's last read
    streamEnded.fetch_add(1);
}

void PlayerHostRecorder::StopPolling() {
    polling_.store(false);
    if (poller_.joinable()) poller_.join();
}

void PlayerHostRecorder::PollBar() {
    hv::PlaybackController* c = controller.load();
    if (!c) return;
    const hv::PositionBarUpdate u = c->PositionBar();
    std::lock_guard<std::mutex> lock(mu_);
    if (u.serial == lastSerial_) return;
    lastSerial_ = u.serial;
    bars_.push_back({u.value, c->Position(), c->Stats().restarts, u.serial});
}

std::string PlayerHostRecorder::Title() const {
    std::lock_guard<std::mutex> lock(mu_);
    return title_;
}

std::vector<BarRecord> PlayerHostRecorder::Bars() const {
    std::lock_guard<std::mutex> lock(mu_);
    return bars_;
}

int PlayerHostRecorder::CallsSoFar() const {
    return titles + resetTitles + opened + started + streamEnded + renders +
           static_cast<int>(sink.Messages().size());
}

bool CountingUnwrapper::Configure(const hv::RingGeometry& ring, std::string* error) {
    configured.fetch_add(1);
    return engine_adapter_.Configure(ring, error);
}

bool CountingUnwrapper::UnwrapFrame(hv::FrameSource& source, hv::FrameBuffer& frame) {
    const int now = inFlight_.fetch_add(1) + 1;
    int seen = maxInFlight.load();
    while (now > seen && !maxInFlight.compare_exchange_weak(seen, now)) {
    }
    calls.fetch_add(1);
    const bool render = engine_adapter_.UnwrapFrame(source, frame);
    if (source.CurrentPicture() != nullptr) {
        // The job unwrapped the decoder's planes and left the buffer alone:
        // the number is read from the newest picture, converted for reading.
        const hv::VideoFormat& format = source.Format();
        if (frame.width != format.width || frame.height != format.height)
            frame.Allocate(format.width, format.height);
        int32_t size = frame.PictureBytes();
        source.CurrentFrame(frame.data(), &size);
    }
    lastFrameNumber.store(hv::ReadFrameNumber(frame.data(), frame.width, frame.height));
    if (delayMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
    inFlight_.fetch_sub(1);
    return render;
}

void CountingUnwrapper::ReleaseWorking() {
    released.fetch_add(1);
    engine_adapter_.ReleaseWorking();
}

void SetupHostRecorder::PullState() {
    const hv::PreviewController* ctl = controller.load();
    if (ctl == nullptr) return;
    const std::string title = ctl->WindowTitle();
    const hv::StreamStatus status = ctl->Status();
    std::lock_guard<std::mutex> lock(mu_);
    if (title != title_) {
        title_ = title;
        titles.fetch_add(1);
    }
    if (status != shownStatus_) {
        shownStatus_ = status;
        statuses_.push_back(status);
    }
}

void SetupHostRecorder::StreamStateChanged() {
    PullState();
}

void SetupHostRecorder::StreamEnded() {
    clears.fetch_add(1);
    PullState();
}

void SetupHostRecorder::PreviewStep(hv::FrameSource& source, hv::FrameBuffer& frame) {
    {
        std::lock_guard<std::mutex> lock(mu_);
        stepTimes_.push_back(std::chrono::steady_clock::now());
    }
    int32_t size = frame.PictureBytes();
    if (source.CurrentFrame(frame.data(), &size) && size == frame.PictureBytes()) {
        framesTaken.fetch_add(1);
        lastFrameNumber.store(hv::ReadFrameNumber(frame.data(), frame.width, frame.height));
    }
    steps.fetch_add(1);
}

std::vector<hv::StreamStatus> SetupHostRecorder::Statuses() const {
    std::lock_guard<std::mutex> lock(mu_);
    return statuses_;
}

std::vector<double> SetupHostRecorder::StepTimes() const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<double> out;
    for (const auto& t : stepTimes_) {
        out.push_back(std::chrono::duration<double, std::milli>(t - stepTimes_.front()).count());
    }
    return out;
}

}  // namespace hvtest
