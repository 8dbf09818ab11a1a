// The unwrap's speed: table build and per-frame copy at three frame sizes,
// each beside a plain memcpy of the frame's bytes measured in the same run.
// The ring fills the frame height (cut area 150, 0, 300 x 600, inner 50).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "unwrap/planar_gather.h"
#include "unwrap/unwrap_engine.h"
#include "unwrap/unwrap_table.h"

namespace {

struct Setup {
    hv::RingGeometry ring;
    hv::FrameBuffer frame;
    hv::UnwrapTable table;
    hv::GatherPlan plan;
    std::vector<uint32_t> panorama;
};

Setup Make(int32_t w, int32_t h) {
    Setup s;
    const hv::DoughnutGeometry g{150, 0, 300, 600, 50, 0, 0};
    s.ring = hv::BuildRingGeometry(g, w, h).ring;
    s.frame.Allocate(w, h);
    uint32_t x = 12345;
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s.frame.pixels[i] = x;
    }
    hv::BuildUnwrapTable(s.ring, 0, s.table);
    s.plan.Build(s.ring, s.table);
    s.panorama.assign(size_t(s.ring.Wp) * (s.ring.Hp + hv::kPanoramaSpareRows), 0);
    return s;
}

void SetLabel(benchmark::State& st, const Setup& s) {
    st.SetLabel(std::to_string(s.ring.Wp) + "x" + std::to_string(s.ring.Hp) + " panorama");
}

void BM_FrameMemcpy(benchmark::State& st) {
    const Setup s = Make(int32_t(st.range(0)), int32_t(st.range(1)));
    std::vector<uint32_t> dst(s.frame.pixels.size());
    const size_t bytes = size_t(s.frame.PictureBytes());
    for (auto _ : st) {
        std::memcpy(dst.data(), s.frame.data(), bytes);
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(bytes));
}

void BM_BuildUnwrapTable(benchmark::State& st) {
    Setup s = Make(int32_t(st.range(0)), int32_t(st.range(1)));
    for (auto _ : st) {
        hv::BuildUnwrapTable(s.ring, 1, s.table);
        s.plan.Build(s.ring, s.table);
        benchmark::ClobberMemory();
    }
    SetLabel(st, s);
}

void BM_UnwrapReference(benchmark::State& st) {
    Setup s = Make(int32_t(st.range(0)), int32_t(st.range(1)));
    for (auto _ : st) {
        hv::UnwrapReference(s.ring, s.table, s.frame.data(), s.panorama.data());
        benchmark::ClobberMemory();
    }
    SetLabel(st, s);
}

void BM_UnwrapFast(benchmark::State& st) {
    Setup s = Make(int32_t(st.range(0)), int32_t(st.range(1)));
    for (auto _ : st) {
        s.plan.Run(s.frame.data(), s.panorama.data());
        benchmark::ClobberMemory();
    }
    SetLabel(st, s);
}

// The unwrap straight from a decoder's planes (I420 or NV12), one thread.
void BM_UnwrapPlanar(benchmark::State& st) {
    Setup s = Make(int32_t(st.range(0)), int32_t(st.range(1)));
    const bool nv12 = st.range(2) != 0;
    hv::PlanarPicture p;
    p.layout = nv12 ? hv::PlanarLayout::NV12 : hv::PlanarLayout::I420;
    p.width = s.frame.width;
    p.height = s.frame.height;
    p.strides[0] = p.width;
    p.strides[1] = nv12 ? 2 * hv::ChromaWidth(p.width) : hv::ChromaWidth(p.width);
    p.strides[2] = nv12 ? 0 : p.strides[1];
    // The frame's random words serve as the planes' bytes.
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.frame.data());
    p.planes[0] = bytes;
    p.planes[1] = bytes + size_t(p.strides[0]) * size_t(p.height);
    p.planes[2] =
        nv12 ? nullptr : p.planes[1] + size_t(p.strides[1]) * size_t(hv::ChromaHeight(p.height));
    hv::PlanarGatherPlan plan;
    plan.Build(s.ring, s.table, p);
    for (auto _ : st) {
        plan.Run(p, s.panorama.data());
        benchmark::ClobberMemory();
    }
    SetLabel(st, s);
}

// The whole job as the player runs it: engine, publish, two threads.
void BM_UnwrapFrameJob(benchmark::State& st) {
    const Setup s = Make(int32_t(st.range(0)), int32_t(st.range(1)));
    hv::UnwrapEngine engine;
    engine.SetCopyPath(st.range(2) ? hv::UnwrapEngine::CopyPath::FastThreads
                                   : hv::UnwrapEngine::CopyPath::Fast);
    engine.Configure(s.ring);
    engine.UnwrapFrame(s.frame);  // builds the table
    for (auto _ : st) engine.UnwrapFrame(s.frame);
    SetLabel(st, s);
}

#define HV_SIZES ->Args({640, 480})->Args({1920, 1080})->Args({3840, 2160})
BENCHMARK(BM_FrameMemcpy) HV_SIZES->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildUnwrapTable) HV_SIZES->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnwrapReference) HV_SIZES->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnwrapFast) HV_SIZES->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnwrapPlanar)
    ->Args({1920, 1080, 0})
    ->Args({3840, 2160, 0})
    ->Args({3840, 2160, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnwrapFrameJob)
    ->Args({640, 480, 0})
    ->Args({1920, 1080, 0})
    ->Args({3840, 2160, 0})
    ->Args({3840, 2160, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
