#include "tool/spread_frames.h"

#include <chrono>
#include <memory>
#include <thread>

#include "video/gst_frame_source.h"
#include "video/messages.h"

namespace hvtool {
namespace {

// How long one seek may take to bring its picture.
constexpr auto kPictureWait = std::chrono::seconds(5);
constexpr auto kPollStep = std::chrono::milliseconds(5);

// Keeps the first message of a failed open, line breaks as '\n'.
class CollectSink : public hv::MessageSink {
  public:
    void ShowMessage(hv::MessageKind, const std::string& caption,
                     const std::string& text) override {
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

bool LoadSpreadVideoFrames(const std::string& path, int32_t count,
                           std::vector<hv::FrameBuffer>& out, std::string& error) {
    const std::unique_ptr<hv::FrameSource> source = hv::CreateGstFrameSource();
    hv::FrameSourceOptions options;
    options.withAudio = false;
    const hv::BuildStep step = source->Open(path, options);
    if (step != hv::BuildStep::None) {
        CollectSink sink;
        hv::ReportBuildFailure(sink, hv::FrameSourceProgram::Player, step);
        error = sink.message.empty() ? path + ": cannot be opened as a picture or a video"
                                     : sink.message;
        return false;
    }
    const hv::VideoFormat format = source->Format();
    source->Pause();
    source->WaitForState();
    for (int64_t frame : SpreadFrames(format.frameCount, count)) {
        const uint64_t before = source->PictureSerial();
        if (!source->Seek(frame * format.avgTimePerFrame)) continue;
        source->WaitForState();
        const auto deadline = std::chrono::steady_clock::now() + kPictureWait;
        while (source->PictureSerial() == before && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(kPollStep);
        }
        if (source->PictureSerial() == before) continue;
        hv::FrameBuffer fb;
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
    if (out.empty()) {
        error = path + ": no picture could be read";
        return false;
    }
    return true;
}

}  // namespace hvtool
