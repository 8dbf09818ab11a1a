// Export's per-frame view work at 1280 x 720 on the panorama of a 1080p
// doughnut video (860 x 226): a fixed view against a moving view path.
// Both build the matrix and render every frame, so the path's cost is the
// path's evaluation only. The whole command (decode, unwrap, render,
// encode) is timed with `hvtool export`, see the README.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "export/export_job.h"
#include "export/view_path.h"
#include "unwrap/render_view.h"
#include "unwrap/view_setup.h"

namespace {

constexpr int32_t kWs = 860, kHs = 226;

struct Scene {
    std::vector<uint32_t> panorama;
    std::shared_ptr<const hv::ViewSetup> setup;
    Scene() {
        panorama.resize(static_cast<size_t>(kWs) * (kHs + 101));
        for (size_t i = 0; i < panorama.size(); ++i)
            panorama[i] = static_cast<uint32_t>(i * 2654435761u) & 0x00ffffffu;
        setup = hv::InitViewEngine(kWs, kHs, 1280, 720, hv::ViewSizeCap::File).setup;
    }
};

void Reframe(benchmark::State& state, bool moving) {
    static const Scene scene;
    const hv::ViewPath path({{0, -90, 0, 100, hv::ViewEase::Smooth},
                             {3, 60, -15, 80, hv::ViewEase::Smooth},
                             {6, 170, 10, 110, hv::ViewEase::Linear},
                             {10, -100, 0, 90, hv::ViewEase::Smooth}});
    const hv::ViewSource src{scene.panorama.data(), kWs, kHs, kHs + 101};
    hv::ViewRenderer renderer(scene.setup);
    hv::ViewBuffer buffer;
    hv::ViewState view;
    view.pan = 60;
    view.tilt = -15;
    view.fov = 80;
    int64_t frame = 0;
    for (auto _ : state) {
        if (moving) {
            const hv::ViewAngles a = path.At(static_cast<double>(frame % 300) / 30.0);
            view.pan = a.pan;
            view.tilt = a.tilt;
            view.fov = a.fov;
        }
        benchmark::DoNotOptimize(renderer.Render(src, view, false, {}, buffer));
        benchmark::ClobberMemory();
        ++frame;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ReframeFixedView(benchmark::State& state) {
    Reframe(state, false);
}
void BM_ReframeViewPath(benchmark::State& state) {
    Reframe(state, true);
}
BENCHMARK(BM_ReframeFixedView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReframeViewPath)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
