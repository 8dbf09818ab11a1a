#include "tool/frame_input.h"

#include <QImageReader>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <thread>

#include "tool/image_io.h"
#include "tool/number_options.h"
#include "video/gst_frame_source.h"
#include "video/messages.h"

namespace hvtool {
namespace {

// How long a seek may take to bring its picture (after WaitForState's own
// bound); a stream that needs longer is treated as broken.
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

std::string Seconds(double s) {
    char text[48];
    std::snprintf(text, sizeof text, "%.3f s", s);
    return text;
}

bool Fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

// Frames the stream holds by its length. The last frame counts when half of
// it lies before the end: containers that store times in coarse units (or
// round the length down) would otherwise lose it at rates such as 30000/1001.
int64_t FrameCount(const hv::VideoFormat& f) {
    if (f.duration > 0 && f.avgTimePerFrame > 0)
        return (f.duration + f.avgTimePerFrame / 2) / f.avgTimePerFrame;
    return f.frameCount;
}

// The 100 ns time the choice stands for, checked against the stream's
// length (when the stream reports one). For a frame number this is the
// frame's nominal start counted from 0; LoadNumberedFrame finds the picture
// itself by its timestamp.
bool TargetTime(const std::string& path, const FrameChoice& choice, const hv::VideoFormat& f,
                int64_t& target, std::string* error) {
    // A bound far beyond any real video keeps the later ns conversion in
    // range when the stream reports no length.
    constexpr double kMaxTarget = 1e15;
    if (choice.by == FrameChoice::By::Frame) {
        const int64_t count = FrameCount(f);
        if (count > 0 && choice.frame >= count) {
            return Fail(error, "frame " + std::to_string(choice.frame) +
                                   " is past the end: " + path + " has " + std::to_string(count) +
                                   " frames (0.." + std::to_string(count - 1) + ")");
        }
        const double t = static_cast<double>(choice.frame) * static_cast<double>(f.avgTimePerFrame);
        if (!(t < kMaxTarget))
            return Fail(error,
                        "frame " + std::to_string(choice.frame) + " is past the end of " + path);
        target = choice.frame * f.avgTimePerFrame;
        return true;
    }
    if (choice.by == FrameChoice::By::Time) {
        const double t = choice.seconds * static_cast<double>(hv::kUnitsPerSecond);
        const int64_t units = t < kMaxTarget ? std::llrint(t) : INT64_MAX;
        if ((f.duration > 0 && units >= f.duration) || units == INT64_MAX) {
            return Fail(error, "time " + Seconds(choice.seconds) + " is past the end: " + path +
                                   " lasts " + Seconds(f.durationSeconds));
        }
        target = units;
        return true;
    }
    target = 0;
    return true;
}

// The stream broke before the picture at `target` came: the file is cut
// off or damaged there (GStreamer's error text in brackets).
bool Damaged(const std::string& path, int64_t target, const hv::FrameSource& source,
             std::string* error) {
    return Fail(error, path + ": the video is damaged: no picture can be read at " +
                           Seconds(target / 1e7) + " (" + source.StreamError() + ")");
}

// Opens `path` without sound; on failure the player's fixed texts (hvtool
// stands in for the player here).
std::unique_ptr<hv::FrameSource> OpenVideo(const std::string& path, hv::FrameSourceMode mode,
                                           std::string* error) {
    std::unique_ptr<hv::FrameSource> source = hv::CreateGstFrameSource();
    hv::FrameSourceOptions options;
    options.withAudio = false;
    options.mode = mode;
    const hv::BuildStep step = source->Open(path, options);
    if (step != hv::BuildStep::None) {
        CollectSink sink;
        hv::ReportBuildFailure(sink, hv::FrameSourceProgram::Player, step);
        Fail(error, sink.message.empty() ? path + ": cannot be opened as a picture or a video"
                                         : sink.message);
        return nullptr;
    }
    return source;
}

// The picture shown at the choice's time plus `shift` (100 ns), by an
// accurate seek.
bool SeekVideoFrame(const std::string& path, const FrameChoice& choice, int64_t shift,
                    hv::FrameBuffer& fb, std::string* error) {
    const std::unique_ptr<hv::FrameSource> source =
        OpenVideo(path, hv::FrameSourceMode::LatestFrame, error);
    if (!source) return false;
    const hv::VideoFormat format = source->Format();
    int64_t target = 0;
    if (!TargetTime(path, choice, format, target, error)) return false;
    target += shift;

    // Open leaves the stream playing: hold it, then seek even for the first
    // frame, since playing may already have moved past it.
    source->Pause();
    source->WaitForState();
    const uint64_t before = source->PictureSerial();
    if (!source->Seek(target)) {
        if (!source->StreamError().empty()) return Damaged(path, target, *source, error);
        return Fail(error, path + ": cannot seek to " + Seconds(target / 1e7));
    }
    source->WaitForState();
    const auto deadline = std::chrono::steady_clock::now() + kPictureWait;
    while (source->PictureSerial() == before && source->StreamError().empty() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPollStep);
    }
    // A picture that came is the one sought, even when the stream broke
    // later on; without one, a broken stream is the reason.
    if (source->PictureSerial() == before) {
        if (!source->StreamError().empty()) return Damaged(path, target, *source, error);
        return Fail(error, path + ": no picture came at " + Seconds(target / 1e7));
    }

    hv::FrameBuffer out;
    if (!out.Allocate(format.width, format.height)) {
        return Fail(error, path + ": the picture size " + std::to_string(format.width) + "x" +
                               std::to_string(format.height) + " is not supported");
    }
    int32_t size = out.PictureBytes();
    if (!source->CurrentFrame(out.data(), &size) || size != out.PictureBytes()) {
        return Fail(error, path + ": the picture could not be read");
    }
    source->Close();
    fb = std::move(out);
    return true;
}

// Frames up to this number are read one after the other from the first and
// counted by their timestamps, which is exact in every container; later
// ones are sought, which is exact where the container has an index (MPEG
// program streams seek by an estimate from the bit rate).
constexpr int64_t kReadThrough = 32;

// --frame N: the N-th decoded picture counted from 0. A seek to N frame
// lengths is not enough: the first picture need not start at 0 (transport
// streams, B-frame delays), and frame times rounded to the container's units
// or a frame length rounded to 100 ns put the nominal start of frame N
// inside frame N - 1. So the pictures are counted by their own timestamps,
// from the first picture's: picture k starts near first + k frame lengths.
bool LoadNumberedFrame(const std::string& path, int64_t n, hv::FrameBuffer& fb,
                       std::string* error) {
    const std::unique_ptr<hv::FrameSource> source =
        OpenVideo(path, hv::FrameSourceMode::EveryFrame, error);
    if (!source) return false;
    const hv::VideoFormat format = source->Format();
    FrameChoice choice;
    choice.by = FrameChoice::By::Frame;
    choice.frame = n;
    int64_t target = 0;
    if (!TargetTime(path, choice, format, target, error)) return false;
    const int64_t length = std::max<int64_t>(format.avgTimePerFrame, 1);
    const int waitMs = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(kPictureWait).count());

    hv::FrameBuffer picture;
    int64_t first = 0;
    const auto broken = [&](hv::NextFrameResult r, int64_t at) {
        if (r == hv::NextFrameResult::Error) return Damaged(path, at, *source, error);
        if (r == hv::NextFrameResult::EndOfStream) {
            return Fail(error, "frame " + std::to_string(n) + " is past the end of " + path);
        }
        return Fail(error, path + ": no picture came at " + Seconds(at / 1e7));
    };
    hv::NextFrameResult r = source->NextFrame(picture, &first, waitMs);
    if (r != hv::NextFrameResult::Frame) return broken(r, 0);

    if (n > kReadThrough) {
        // A seek to the middle of frame n as the first picture's timestamp
        // counts: the rounding of either side is far less than half a frame.
        source->Close();
        return SeekVideoFrame(path, choice, first + length / 2, fb, error);
    }
    int64_t index = 0;
    while (index < n) {
        int64_t pts = 0;
        r = source->NextFrame(picture, &pts, waitMs);
        if (r != hv::NextFrameResult::Frame) return broken(r, first + target);
        index = (std::max<int64_t>(pts - first, 0) + length / 2) / length;
    }
    source->Close();
    fb = std::move(picture);
    return true;
}

bool LoadVideoFrame(const std::string& path, const FrameChoice& choice, hv::FrameBuffer& fb,
                    std::string* error) {
    if (choice.by == FrameChoice::By::Frame)
        return LoadNumberedFrame(path, choice.frame, fb, error);
    return SeekVideoFrame(path, choice, 0, fb, error);
}

}  // namespace

FrameOption ParseFrameOption(int argc, char** argv, int& i, FrameChoice& choice,
                             std::string* error) {
    const std::string_view arg = argv[i];
    const bool isFrame = arg == "--frame";
    if (!isFrame && arg != "--time") return FrameOption::NotMine;
    if (i + 1 >= argc) {
        Fail(error, std::string(arg) + (isFrame ? " takes a frame number" : " takes seconds"));
        return FrameOption::Bad;
    }
    if (choice.by != FrameChoice::By::First) {
        Fail(error, "give one --frame or one --time, not both");
        return FrameOption::Bad;
    }
    const std::string_view text = argv[++i];
    if (isFrame) {
        int64_t n = 0;
        if (!ParseFrameNumber(text, n)) {
            Fail(error, "--frame takes a frame number, 0 or more, not '" + std::string(text) + "'");
            return FrameOption::Bad;
        }
        choice.by = FrameChoice::By::Frame;
        choice.frame = n;
    } else {
        double s = 0;
        if (!ParseTimeSeconds(text, s)) {
            Fail(error, "--time takes seconds, 0 or more, not '" + std::string(text) + "'");
            return FrameOption::Bad;
        }
        choice.by = FrameChoice::By::Time;
        choice.seconds = s;
    }
    return FrameOption::Taken;
}

bool LoadInputFrame(const std::string& path, const FrameChoice& choice, hv::FrameBuffer& fb,
                    std::string* error) {
    QImageReader reader(QString::fromStdString(path));
    if (reader.canRead()) {
        if (choice.by != FrameChoice::By::First) {
            return Fail(error, path + " is a still picture; --frame and --time are for videos");
        }
        return LoadPictureAsFrame(path, fb, error);
    }
    return LoadVideoFrame(path, choice, fb, error);
}

}  // namespace hvtool
