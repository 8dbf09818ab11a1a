// Ring detection: the engine on 16 synthetic frames per size (the target is
// well under 1.5 s of CPU for 1920x1080), and beside it what reading 16
// frames spread over a 1080p H.264 video costs, as hvtool detect does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <vector>

#include "detect/ring_detect.h"
#include "ring_picture.h"
#include "video/spread_frames.h"
#include "video/test_video_maker.h"

namespace {

constexpr int32_t kFrames = 16;

// Rendered once per size: the generator is far slower than the detector.
const std::vector<hv::FrameBuffer>& Frames(int32_t w, int32_t h) {
    static std::map<std::pair<int32_t, int32_t>, std::vector<hv::FrameBuffer>> cache;
    auto& frames = cache[{w, h}];
    if (frames.empty()) {
        hvtest::RingPicture p;
        p.width = w;
        p.height = h;
        p.cx = 0.52 * w + 0.3;
        p.cy = 0.49 * h - 0.2;
        p.outer = 0.53 * h;  // cut at the top and bottom on 16:9 frames
        p.inner = 0.11 * h;
        p.vignette = 0.5;
        p.noise = 4;
        p.blur = 1.2;
        frames = hvtest::RenderRingFrames(p, kFrames);
    }
    return frames;
}

void BM_DetectRing(benchmark::State& state) {
    const auto& frames =
        Frames(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
    for (auto _ : state) {
        const hv::RingDetection d = hv::DetectRing(frames);
        if (d.status != hv::RingDetectStatus::Found) state.SkipWithError("ring not found");
        benchmark::DoNotOptimize(d.cx);
    }
    state.SetLabel("16 frames");
}
BENCHMARK(BM_DetectRing)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Args({1440, 1440})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

// Opening a 10 s 1080p H.264 video and seeking to 16 frames across it.
void BM_ReadSpreadFrames1080p(benchmark::State& state) {
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("hv_bench_detect_" + std::to_string(::getpid()) + ".mp4");
    hv::TestVideoOptions clip;
    clip.path = file.string();
    clip.width = 1920;
    clip.height = 1080;
    clip.frames = 250;
    clip.audio = false;
    const std::string made = hv::MakeTestVideo(clip);
    if (!made.empty()) {
        state.SkipWithError(made.c_str());
        return;
    }
    for (auto _ : state) {
        std::vector<hv::FrameBuffer> frames;
        std::string error;
        if (!hv::LoadSpreadVideoFrames(clip.path, kFrames, frames, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(frames.data());
    }
    std::error_code ec;
    std::filesystem::remove(file, ec);
}
BENCHMARK(BM_ReadSpreadFrames1080p)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
