#include "video/spread_frames.h"

#include <chrono>
#include <memory>
#include <thread>

#include "video/gst_frame_source.h"
#include "video/messages.h"

namespace hv {
namespace {

// How long one seek may take to bring its picture.
constexpr auto kPictureWait = std::chrono::seconds(5);
constexpr auto kPollStep = std::chrono::milliseconds(5);

// Keeps the first message of a failed open, line breaks as '\n'.
class CollectSink : public MessageSink {
  public:
    void ShowMessage(MessageKind, const std::string& caption, const std::string& text) override {
        if (!message.empty()) return;
        message = caption + ": ";
        for (char c : text) {
            if (c != '\r') message += c;
        }
    }
    std::string message;
};

}  // namespace

std::vector<int64_t> SpreadFrames(int64_t frameCount, int32_t count) {
    std::vector<int64_t> out;
    if (frameCount <= 0) return {0};
    if (frameCount <= count) {
        for (int64_t i = 0; i < frameCount; ++i) out.push_back(i);
        return out;
    }
    for (int32_t i = 0; i < count; ++i) {
        const int64_t f = (2 * int64_t{i} + 1) * frameCount / (2 * int64_t{count});
        if (out.empty() || f != out.back()) out.push_back(f);
    }
    return out;
}

bool LoadSpreadVideoFrames(const std::string& path, int32_t count, std::vector<FrameBuffer>& out,
                           std::string& error, const std::atomic<bool>* cancel,
                           const std::function<void(double)>& progress) {
    const auto cancelled = [cancel] {
        return cancel != nullptr && cancel->load(std::memory_order_relaxed);
    };
    const std::unique_ptr<FrameSource> source = CreateGstFrameSource();
    FrameSourceOptions options;
    options.withAudio = false;
    const BuildStep step = source->Open(path, options);
    if (step != BuildStep::None) {
        CollectSink sink;
        ReportBuildFailure(sink, FrameSourceProgram::Player, step);
        error = sink.message.empty() ? path + ": cannot be opened as a picture or a video"
                                     : sink.message;
        return false;
    }
    const VideoFormat format = source->Format();
    source->Pause();
    source->WaitForState();
    const std::vector<int64_t> frames = SpreadFrames(format.frameCount, count);
    for (size_t i = 0; i < frames.size() && !cancelled(); ++i) {
        if (progress) progress(static_cast<double>(i) / static_cast<double>(frames.size()));
        const uint64_t before = source->PictureSerial();
        if (!source->Seek(frames[i] * format.avgTimePerFrame)) continue;
        source->WaitForState();
        const auto deadline = std::chrono::steady_clock::now() + kPictureWait;
        while (source->PictureSerial() == before && std::chrono::steady_clock::now() < deadline &&
               !cancelled()) {
            std::this_thread::sleep_for(kPollStep);
        }
        if (source->PictureSerial() == before) continue;
        FrameBuffer fb;
        if (!fb.Allocate(format.width, format.height)) {
            error = path + ": the picture size " + std::to_string(format.width) + "x" +
                    std::to_string(format.height) + " is not supported";
            source->Close();
            return false;
        }
        int32_t size = fb.PictureBytes();
        if (!source->CurrentFrame(fb.data(), &size) || size != fb.PictureBytes()) continue;
        out.push_back(std::move(fb));
    }
    source->Close();
    if (cancelled()) {
        error.clear();
        return false;
    }
    if (progress) progress(1.0);
    if (out.empty()) {
        error = path + ": no picture could be read";
        return false;
    }
    return true;
}

}  // namespace hv
