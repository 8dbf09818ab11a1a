// Soak tests of the video side: many open / play / stop cycles across every
// container, and a long playback that repeats many times. Memory (VmRSS),
// threads and file descriptors are measured after a warm-up round and at the
// end; they must not grow beyond a small bound. Small in CI; HV_SOAK_FULL=1
// (`make soak`) runs the full sizes (300 cycles, 50 restarts).
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "hardening_util.h"
#include "playback_test_util.h"
#include "video/frame_source_graph.h"
#include "video/gst_frame_source.h"
#include "video/test_video_maker.h"

namespace hvhard {
namespace {

using hvtest::TestPump;
using hvtest::WaitUntil;

constexpr int kTimeoutMs = 30000;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kUnderSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif
#else
constexpr bool kUnderSanitizer = false;
#endif

// One short video per container (with sound where the container has it).
std::vector<std::string> ContainerVideos() {
    std::vector<std::string> paths;
    for (const std::string& ext : hv::TestVideoExtensions()) {
        std::string err;
        const auto format = hv::TestVideoFormatFor(ext);
        const bool audio = format && !format->audioEncoder.empty();
        const std::string p = TestVideo(ext, 160, 120, 10, audio, &err);
        EXPECT_EQ(err, "") << ext;
        if (!p.empty()) paths.push_back(p);
    }
    return paths;
}

::testing::AssertionResult Released(hv::PlaybackController& ctl) {
    if (!WaitUntil([&] { return !ctl.WorkerAlive() && hv::GraphActive.load() == 0; }, kTimeoutMs))
        return ::testing::AssertionFailure() << "video not released";
    ctl.WaitUntilReleased(TestPump);
    return ::testing::AssertionSuccess();
}

// Allowed beyond the starting figures: kIdlePoolThreads threads (idle pool
// threads) and one descriptor.

void ExpectNoGrowth(const ProcessFigures& start, const ProcessFigures& end, long rssBoundKiB) {
    std::printf("soak figures: start %s; end %s\n", Describe(start).c_str(), Describe(end).c_str());
    EXPECT_LE(end.threads, start.threads + kIdlePoolThreads) << "threads left behind";
    EXPECT_LE(end.descriptors, start.descriptors + 1) << "descriptors left open";
    // The sanitizers keep freed memory in quarantine and shadow: there the
    // figures are printed but only the normal build judges them.
    if (!kUnderSanitizer)
        EXPECT_LE(end.residentKiB - start.residentKiB, rssBoundKiB) << "memory grows per cycle";
}

// Open, play, stop: the player's Load path (stop, re-open) on every
// container in turn.
TEST(Soak, OpenPlayStopCyclesAcrossAllContainers) {
    const std::vector<std::string> videos = ContainerVideos();
    ASSERT_FALSE(videos.empty());
    hvtest::PlayerHostRecorder host;
    hvtest::CountingUnwrapper unwrapper;
    hv::PlaybackController ctl(host, unwrapper);
    host.controller = &ctl;
    const int cycles = SoakSize(static_cast<int>(videos.size()), 300);

    auto cycle = [&](int i) -> ::testing::AssertionResult {
        const std::string& path = videos[static_cast<size_t>(i) % videos.size()];
        if (!ctl.OpenVideo(path, kVideoGeometry, TestPump))
            return ::testing::AssertionFailure() << "open refused: " << path;
        if (!WaitUntil([&] { return ctl.PlaybackLoopRunning(); }, kTimeoutMs))
            return ::testing::AssertionFailure() << "no playback: " << path;
        ctl.PlayVideo();
        std::this_thread::sleep_for(std::chrono::milliseconds(10 * (i % 5)));
        if (i % 2 == 0)
            ctl.StopForLoad(TestPump);
        else
            ctl.RequestPlaybackStop(hv::kExitStopFirstWaitMs, TestPump);
        return Released(ctl);
    };
    // Warm-up: every plugin loaded once, every lazily made cache filled (in
    // the small run only the first container's; the bound covers the rest).
    const int warmUp = SoakFull() ? static_cast<int>(videos.size()) : 1;
    for (int i = 0; i < warmUp; ++i) ASSERT_TRUE(cycle(i));
    const ProcessFigures start = MeasureProcess();
    for (int i = 0; i < cycles; ++i) ASSERT_TRUE(cycle(i)) << "cycle " << i;
    const ProcessFigures end = SettledFigures(start);
    std::printf("%d open/play/stop cycles over %zu containers\n", cycles, videos.size());
    ExpectNoGrowth(start, end, SoakFull() ? 48 * 1024 : 24 * 1024);
    EXPECT_TRUE(host.sink.Messages().empty());
    EXPECT_EQ(host.started.load(), host.streamEnded.load());
    EXPECT_EQ(unwrapper.configured.load(), unwrapper.released.load());
}

// The frame source alone, opened and closed many times: no GStreamer
// object, thread or descriptor may survive a Close.
TEST(Soak, FrameSourceOpenCloseCycles) {
    const std::vector<std::string> videos = ContainerVideos();
    ASSERT_FALSE(videos.empty());
    auto once = [&](const std::string& path, bool audio) {
        auto source = hv::CreateGstFrameSource();
        hv::FrameSourceOptions options;
        options.withAudio = audio;
        ASSERT_EQ(source->Open(path, options), hv::BuildStep::None) << path;
        hv::FrameBuffer fb;
        ASSERT_TRUE(fb.Allocate(source->Format().width, source->Format().height));
        int32_t bytes = fb.PictureBytes();
        EXPECT_TRUE(source->CurrentFrame(fb.data(), &bytes));
        source->Close();
    };
    for (const auto& v : videos) once(v, true);
    const ProcessFigures start = MeasureProcess();
    const int cycles = SoakSize(2 * static_cast<int>(videos.size()), 300);
    for (int i = 0; i < cycles; ++i) once(videos[static_cast<size_t>(i) % videos.size()], i % 2);
    const ProcessFigures end = SettledFigures(start);
    std::printf("%d frame source open/close cycles\n", cycles);
    ExpectNoGrowth(start, end, SoakFull() ? 48 * 1024 : 24 * 1024);
}

// "Repeat the video" on a short video for many rounds: every restart comes,
// the loop keeps its cadence and nothing accumulates.
TEST(Soak, LongPlaybackWithRepeatRestartsManyTimes) {
    std::string err;
    const std::string video = TestVideo("mp4", 160, 120, 5, true, &err);  // 0.2 s
    ASSERT_EQ(err, "");
    hvtest::PlayerHostRecorder host;
    hvtest::CountingUnwrapper unwrapper;
    hv::PlaybackController ctl(host, unwrapper);
    host.controller = &ctl;
    ctl.SetRepeat(true);
    ASSERT_TRUE(ctl.OpenVideo(video, kVideoGeometry, TestPump));
    ASSERT_TRUE(WaitUntil([&] { return ctl.Stats().restarts >= 2; }, kTimeoutMs));
    const ProcessFigures start = MeasureProcess();
    const uint64_t target = static_cast<uint64_t>(SoakSize(12, 52));
    const uint64_t framesBefore = static_cast<uint64_t>(unwrapper.calls.load());
    ASSERT_TRUE(WaitUntil([&] { return ctl.Stats().restarts >= target; }, 120000))
        << "restarts so far: " << ctl.Stats().restarts;
    const ProcessFigures end = MeasureProcess();
    EXPECT_GT(static_cast<uint64_t>(unwrapper.calls.load()), framesBefore + target);
    EXPECT_TRUE(ctl.PlaybackLoopRunning());
    std::printf("%llu restarts\n", static_cast<unsigned long long>(ctl.Stats().restarts));
    ctl.Shutdown(TestPump);
    EXPECT_FALSE(ctl.WorkerAlive());
    ExpectNoGrowth(start, end, 8 * 1024);
    EXPECT_TRUE(host.sink.Messages().empty());
}

}  // namespace
}  // namespace hvhard
