// The stop handshake under load: open, play, stop and reopen many times;
// stops that arrive while the worker is still building; opening a video
// while another plays; leaving the program while playing. No hang, no
// thread or memory left behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "playback_test_util.h"
#include "video/frame_source_graph.h"

namespace {

using namespace hvtest;

class PlayerStopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Videos().error.empty()) << "test video maker: " << Videos().error;
        ASSERT_EQ(hv::GraphActive.load(), 0);
    }
};

// Waits for the release without blocking forever, so that a lost stop
// request fails the test instead of hanging it.
::testing::AssertionResult Released(hv::PlaybackController& ctl, int timeoutMs = 20000) {
    if (!WaitUntil([&] { return !ctl.WorkerAlive() && hv::GraphActive.load() == 0; }, timeoutMs)) {
        return ::testing::AssertionFailure()
               << "the video was not released (state " << ctl.PlaybackState() << ", loop "
               << ctl.PlaybackLoopRunning() << ")";
    }
    ctl.WaitUntilReleased(TestPump);
    return ::testing::AssertionSuccess();
}

TEST_F(PlayerStopTest, StopAndReopenFiftyTimes) {
    PlayerHostRecorder host;
    CountingUnwrapper unwrapper;
    hv::PlaybackController ctl(host, unwrapper);
    host.controller = &ctl;

    int baseThreads = 0;
    long baseKiB = 0;
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(ctl.OpenVideo(Videos().silent, hv::DoughnutGeometry{}, TestPump));
        if (i % 3 != 2) {
            ASSERT_TRUE(WaitUntil([&] { return ctl.PlaybackLoopRunning(); }, 20000)) << i;
            std::this_thread::sleep_for(std::chrono::milliseconds(20 * (i % 4)));
        } else {
            // A stop while the worker is still starting or building.
            std::this_thread::sleep_for(std::chrono::milliseconds(30 * (i % 5)));
        }
        if (i % 5 == 0) {
            ctl.StopForLoad(TestPump);
        } else {
            ctl.RequestPlaybackStop(hv::kExitStopFirstWaitMs, TestPump);
        }
        ASSERT_TRUE(Released(ctl)) << "iteration " << i;
        ASSERT_EQ(ctl.PlaybackState(), hv::kPlayerIdle) << i;
        ASSERT_FALSE(ctl.PlaybackLoopRunning()) << i;
        if (i == 9) {
            baseThreads = ThreadCount();
            baseKiB = ResidentKiB();
        }
    }
    // GStreamer's pool threads end shortly after a pipeline is released.
    const bool threadsBack = WaitUntil([&] { return ThreadCount() <= baseThreads; }, 3000);
    const int threads = ThreadCount();
    const long kib = ResidentKiB();
    std::printf("threads %d -> %d, resident %ld -> %ld KiB\n", baseThreads, threads, baseKiB, kib);
    EXPECT_TRUE(threadsBack) << "threads left behind: " << baseThreads << " -> " << threads;
    // Per video the frame buffer (300 KiB here), the table and the three
    // panoramas (about 0.5 MiB) are allocated; the GStreamer build alone
    // currently grows by about 0.6 MiB per open, which this bound
    // tolerates. A leak of the per-video buffers on top of it exceeds it.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // (The sanitizers keep freed memory in quarantine or shadow: no bound.)
    EXPECT_LT(kib - baseKiB, 40 * 1200) << "memory grows with every video";
#endif
    EXPECT_EQ(unwrapper.maxInFlight.load(), 1);
    EXPECT_EQ(host.started.load(), host.streamEnded.load());
    EXPECT_EQ(unwrapper.configured.load(), unwrapper.released.load());
    EXPECT_TRUE(host.sink.Messages().empty());
}

TEST_F(PlayerStopTest, AStopDuringTheBuildIsNotLost) {
    PlayerHostRecorder host;
    CountingUnwrapper unwrapper;
    hv::PlaybackController ctl(host, unwrapper);
    host.controller = &ctl;
    // The handshake's passes (about 210 ms here) are over before the build
    // hands over (it sleeps 500 ms before the loop); the video must still
    // not start playing.
    ASSERT_TRUE(ctl.OpenVideo(Videos().silent, hv::DoughnutGeometry{}, TestPump));
    ASSERT_TRUE(WaitUntil([] { return hv::GraphActive.load() == 1; }, 20000));
    ctl.RequestPlaybackStop(0, [](int) {});
    EXPECT_EQ(ctl.PlaybackState(), hv::kPlayerIdle);
    ASSERT_TRUE(Released(ctl));
    EXPECT_EQ(ctl.PlaybackState(), hv::kPlayerIdle);
    EXPECT_FALSE(ctl.PlaybackLoopRunning());
    EXPECT_EQ(ctl.Stats().loopsStarted, 0u);
}

TEST_F(PlayerStopTest, OpeningWhilePlayingStopsThePreviousVideoFirst) {
    PlayerHostRecorder host;
    CountingUnwrapper unwrapper;
    hv::PlaybackController ctl(host, unwrapper);
    host.controller = &ctl;
    ASSERT_TRUE(ctl.OpenVideo(Videos().silent, hv::DoughnutGeometry{}, TestPump));
    ASSERT_TRUE(WaitUntil([&] { return ctl.PlaybackLoopRunning(); }, 20000));
    ASSERT_TRUE(ctl.OpenVideo(Videos().withSound, hv::DoughnutGeometry{}, TestPump));
    EXPECT_EQ(host.streamEnded.load(), 1);
    ASSERT_TRUE(WaitUntil([&] { return ctl.PlaybackLoopRunning(); }, 20000));
    EXPECT_EQ(ctl.Format().frameCount, 60);
    EXPECT_EQ(host.Title(), Videos().withSound);
    ctl.Shutdown(TestPump);
    EXPECT_FALSE(ctl.WorkerAlive());
}

TEST_F(PlayerStopTest, ExitWhilePlayingEndsCleanly) {
    const int before = ThreadCount();
    {
        PlayerHostRecorder host;
        CountingUnwrapper unwrapper;
        hv::PlaybackController ctl(host, unwrapper);
        host.controller = &ctl;
        ASSERT_TRUE(ctl.OpenVideo(Videos().withSound, hv::DoughnutGeometry{}, TestPump));
        ASSERT_TRUE(WaitUntil([&] { return ctl.PlaybackLoopRunning(); }, 20000));
        ctl.Shutdown(TestPump);
        EXPECT_TRUE(ctl.AppClosing());
        EXPECT_FALSE(ctl.WorkerAlive());
        EXPECT_FALSE(ctl.PlaybackLoopRunning());
        EXPECT_EQ(hv::GraphActive.load(), 0);
        EXPECT_EQ(ctl.PlaybackState(), hv::kPlayerIdle);
        ctl.Shutdown(TestPump);  // a second exit request returns at once
    }
    {
        // Without the exit sequence the destructor still stops and joins.
        PlayerHostRecorder host;
        CountingUnwrapper unwrapper;
        auto ctl = std::make_unique<hv::PlaybackController>(host, unwrapper);
        host.controller = ctl.get();
        ASSERT_TRUE(ctl->OpenVideo(Videos().silent, hv::DoughnutGeometry{}, TestPump));
        ASSERT_TRUE(WaitUntil([&] { return ctl->PlaybackLoopRunning(); }, 20000));
        host.controller = nullptr;
        ctl.reset();
        EXPECT_EQ(hv::GraphActive.load(), 0);
    }
    ASSERT_TRUE(WaitUntil([&] { return ThreadCount() <= before; }, 5000))
        << before << " threads before, " << ThreadCount() << " after";
}

}  // namespace
