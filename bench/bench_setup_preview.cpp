// The setup utility's per-frame work on the preview worker: PreviewRenderer
// (preview mapping + both pictures) against the bare preview mapping of the
// same frame, the reference measured in the same run. The pump gives each
// frame 50 ms; both pictures must fit well inside that.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include "setup/preview_renderer.h"
#include "unwrap/preview_unwrap.h"
#include "video/test_video_maker.h"

namespace {

hv::FrameBuffer SceneFrame(int w, int h) {
    hv::TestVideoOptions clip;
    clip.width = w;
    clip.height = h;
    std::vector<uint32_t> topDown(static_cast<size_t>(w) * h);
    hv::RenderTestFrame(clip, 7, topDown.data());
    hv::FrameBuffer f;
    f.Allocate(w, h);
    for (int y = 0; y < h; ++y)
        std::copy_n(topDown.data() + static_cast<size_t>(h - 1 - y) * w, w,
                    f.pixels.data() + static_cast<size_t>(y) * w);
    return f;
}

hv::setup::GeometrySnapshot Snapshot() {
    hv::setup::GeometrySnapshot s;
    s.shiftRect = 40;
    return s;
}

void BM_PreviewMappingOnly(benchmark::State& state) {
    const hv::FrameBuffer frame = SceneFrame(int(state.range(0)), int(state.range(1)));
    const auto s = Snapshot();
    const auto r = hv::BuildPreviewGeometry(s.geometry, s.shiftRect, frame.width, frame.height);
    hv::PreviewUnwrapper u;
    u.SetMapping(r.ring, 0);
    hv::PreviewImage img;
    for (auto _ : state) {
        u.Unwrap(frame, img);
        benchmark::DoNotOptimize(img.pixels.data());
    }
}

void BM_PreviewStepPictures(benchmark::State& state) {
    const hv::FrameBuffer frame = SceneFrame(int(state.range(0)), int(state.range(1)));
    const auto s = Snapshot();
    hv::setup::PreviewRenderer renderer;
    for (auto _ : state) {
        hv::setup::SetupPictures p = renderer.Render(s, frame);
        benchmark::DoNotOptimize(p.doughnut.constBits());
    }
}

BENCHMARK(BM_PreviewMappingOnly)
    ->Args({640, 480})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreviewStepPictures)
    ->Args({640, 480})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // The captions need fonts, which need a GUI application (no window).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
