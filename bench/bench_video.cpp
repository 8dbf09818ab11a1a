// Frame source speed: decode + convert to BGRx + current-frame copy (and the
// player's unwrap of each copied frame), against a plain
//   filesrc ! decodebin ! fakesink sync=false
// decode of the same H.264 file in the same run (in process, and as a
// gst-launch-1.0 child for reference). Files are made at start into /tmp.
//
// Counters: fps (pictures per second of wall time) and cpu_ms_per_frame
// (process CPU time per decoded picture). Compare the medians of one run:
// Source/... against PlainDecode/... of the same size.
#include <benchmark/benchmark.h>
#include <gst/gst.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "unwrap/ring_geometry.h"
#include "unwrap/unwrap_engine.h"
#include "video/gst_frame_source.h"
#include "video/test_video_maker.h"

namespace {

struct BenchFile {
    std::string path;
    int32_t width, height, frames;
};

std::filesystem::path Folder() {
    static std::filesystem::path folder = [] {
        std::string pattern = "/tmp/hv-bench-video-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) return std::filesystem::path("/tmp");
        return std::filesystem::path(pattern);
    }();
    return folder;
}

const BenchFile& File(int index) {
    static BenchFile files[2] = {{"", 1920, 1080, 90}, {"", 3840, 2160, 60}};
    BenchFile& f = files[index];
    if (f.path.empty()) {
        hv::TestVideoOptions clip;
        clip.path = (Folder() / ("bench-" + std::to_string(f.height) + ".mp4")).string();
        clip.width = f.width;
        clip.height = f.height;
        clip.fpsNum = 30;
        clip.frames = f.frames;
        clip.audio = false;
        const std::string error = hv::MakeTestVideo(clip);
        if (!error.empty()) {
            std::fprintf(stderr, "bench_video: cannot make %s: %s\n", clip.path.c_str(),
                         error.c_str());
            std::exit(1);
        }
        f.path = clip.path;
    }
    return f;
}

double CpuSeconds(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Report(benchmark::State& state, double wall, double cpu, int64_t pictures) {
    state.SetIterationTime(wall);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(pictures) / wall,
                                               benchmark::Counter::kAvgIterations);
    state.counters["cpu_ms_per_frame"] = benchmark::Counter(
        1000.0 * cpu / static_cast<double>(pictures), benchmark::Counter::kAvgIterations);
}

// Runs a parse-launch pipeline over the file to its end, in this process.
void RunPipeline(benchmark::State& state, const char* tail) {
    const BenchFile& f = File(static_cast<int>(state.range(0)));
    hv::EnsureGstInitialised();
    for (auto _ : state) {
        const double cpu0 = CpuSeconds(RUSAGE_SELF);
        const auto t0 = std::chrono::steady_clock::now();
        GstElement* p = gst_parse_launch(
            ("filesrc location=\"" + f.path + "\" ! decodebin ! " + tail).c_str(), nullptr);
        gst_element_set_state(p, GST_STATE_PLAYING);
        GstBus* bus = gst_element_get_bus(p);
        GstMessage* m = gst_bus_timed_pop_filtered(
            bus, 300 * GST_SECOND,
            static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (m != nullptr) gst_message_unref(m);
        gst_object_unref(bus);
        gst_element_set_state(p, GST_STATE_NULL);
        gst_object_unref(p);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        Report(state, wall, CpuSeconds(RUSAGE_SELF) - cpu0, f.frames);
    }
}

// The reference: the plain decode.
void PlainDecode(benchmark::State& state) {
    RunPipeline(state, "fakesink sync=false");
}

// The plain decode plus the conversion to BGRx that the frame contract needs:
// what the source costs before its own appsink hand-over and copy.
void PlainDecodeConvert(benchmark::State& state) {
    RunPipeline(state, "videoconvert ! video/x-raw,format=BGRx ! fakesink sync=false");
}

// The same decode by the gst-launch-1.0 program (includes its start-up).
void GstLaunchDecode(benchmark::State& state) {
    const BenchFile& f = File(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            const std::string location = "location=" + f.path;
            ::execlp("gst-launch-1.0", "gst-launch-1.0", "-q", "filesrc", location.c_str(), "!",
                     "decodebin", "!", "fakesink", "sync=false", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        Report(state, wall, CpuSeconds(RUSAGE_CHILDREN) - cpu0, f.frames);
    }
}

// The frame source: open (preroll), then every new picture copied bottom-up
// into a FrameBuffer as fast as it is decoded (and unwrapped when asked).
void Source(benchmark::State& state) {
    const BenchFile& f = File(static_cast<int>(state.range(0)));
    const bool unwrap = state.range(1) != 0;
    int64_t copiesTotal = 0;
    for (auto _ : state) {
        const double cpu0 = CpuSeconds(RUSAGE_SELF);
        const auto t0 = std::chrono::steady_clock::now();
        auto source = hv::CreateGstFrameSource();
        hv::FrameSourceOptions options;
        options.withAudio = false;
        options.syncToClock = false;
        if (source->Open(f.path, options) != hv::BuildStep::None) {
            state.SkipWithError("open failed");
            return;
        }
        const hv::VideoFormat fmt = source->Format();
        hv::FrameBuffer fb;
        fb.Allocate(fmt.width, fmt.height);
        hv::UnwrapEngine engine;
        if (unwrap) {
            const auto ring = hv::BuildRingGeometry(hv::DoughnutGeometry{}, fmt.width, fmt.height);
            engine.Configure(ring.ring);
        }
        uint64_t last = 0;
        int64_t copies = 0;
        uint32_t idle = 0;
        while (true) {
            const uint64_t serial = source->PictureSerial();
            if (serial != last) {
                last = serial;
                int32_t size = fmt.sampleSize;
                source->CurrentFrame(fb.data(), &size);
                if (unwrap) engine.UnwrapFrame(fb);
                ++copies;
            } else if (++idle % 8 == 0 && source->Position() >= fmt.duration) {
                // The position query walks the pipeline: ask it rarely.
                break;
            } else {
                std::this_thread::sleep_for(std::chrono::microseconds(250));
            }
        }
        source->Close();
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        Report(state, wall, CpuSeconds(RUSAGE_SELF) - cpu0, f.frames);
        copiesTotal += copies;
    }
    state.counters["copies_per_run"] =
        benchmark::Counter(static_cast<double>(copiesTotal), benchmark::Counter::kAvgIterations);
}

BENCHMARK(PlainDecode)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(PlainDecodeConvert)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(GstLaunchDecode)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(Source)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    File(0);
    File(1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    if (Folder() != "/tmp") std::filesystem::remove_all(Folder(), ec);
    return 0;
}
