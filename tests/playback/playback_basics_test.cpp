// Playback pieces that need no video: the volume table, the file-name trim,
// the position bar value, the drop-when-busy frame worker, and commands
// given while nothing is open.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "playback/playback_frame_worker.h"
#include "playback/volume_table.h"
#include "playback_test_util.h"
#include "video/frame_source_graph.h"

namespace {

using namespace hvtest;

TEST(VolumeTable, LevelsMapToHundredthsOfADecibel) {
    const int32_t expected[] = {-10000, -7000, -4000, -2000, -1000, 0};
    for (int32_t level = 0; level <= 5; ++level) {
        ASSERT_TRUE(hv::VolumeForLevel(level).has_value()) << level;
        EXPECT_EQ(*hv::VolumeForLevel(level), expected[level]) << "level " << level;
    }
    EXPECT_FALSE(hv::VolumeForLevel(-1).has_value());
    EXPECT_FALSE(hv::VolumeForLevel(6).has_value());
    EXPECT_FALSE(hv::VolumeForLevel(INT32_MIN).has_value());
}

TEST(PlaybackBasics, TrimAndPositionBar) {
    EXPECT_EQ(hv::TrimVideoName(std::string("  /v/a b.mp4 \0\0 ", 17)), "/v/a b.mp4");
    EXPECT_EQ(hv::TrimVideoName(std::string("\0 \0", 3)), "");
    EXPECT_EQ(hv::TrimVideoName(""), "");

    // 60 frames over 2.4 s: the bar follows the position, rounding halves
    // to even; the end is the frame count.
    EXPECT_EQ(hv::PositionBarValue(0, 24'000'000, 60), 0);
    EXPECT_EQ(hv::PositionBarValue(12'000'000, 24'000'000, 60), 30);
    EXPECT_EQ(hv::PositionBarValue(24'000'000, 24'000'000, 60), 60);
    EXPECT_EQ(hv::PositionBarValue(1'000'000, 4'000'000, 2), 0);  // 0.5 -> 0
    EXPECT_EQ(hv::PositionBarValue(3'000'000, 4'000'000, 2), 2);  // 1.5 -> 2
    // Three hours at 30000/1001, half-way.
    EXPECT_EQ(hv::PositionBarValue(54'000'000'000, 108'000'000'000, 323'676), 161'838);
    EXPECT_FALSE(hv::PositionBarValue(5, 0, 60).has_value());
    EXPECT_EQ(hv::PositionBarValue(-5, 100, 60), 0);
}

TEST(FrameJobWorker, DropsTicksWhileBusyAndNeverQueues) {
    std::mutex mu;
    std::condition_variable cv;
    bool release = false;
    std::atomic<int> runs{0};
    hv::FrameJobWorker worker([&] {
        std::unique_lock<std::mutex> lock(mu);
        cv.wait(lock, [&] { return release; });
        runs.fetch_add(1);
    });

    EXPECT_TRUE(worker.Trigger());
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(worker.Trigger()) << "tick " << i;
    EXPECT_EQ(worker.Dropped(), 5u);
    {
        std::lock_guard<std::mutex> lock(mu);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(WaitUntil([&] { return !worker.Busy(); }, 5000));
    // The dropped ticks did not leave runs behind.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(runs.load(), 1);
    EXPECT_TRUE(worker.Trigger());
    ASSERT_TRUE(WaitUntil([&] { return runs.load() == 2; }, 5000));
    EXPECT_EQ(worker.Started(), 2u);
}

TEST(FrameJobWorker, StopWaitsForTheRunningJob) {
    std::atomic<bool> inJob{false}, finished{false};
    hv::FrameJobWorker worker([&] {
        inJob.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        finished.store(true);
    });
    ASSERT_TRUE(worker.Trigger());
    ASSERT_TRUE(WaitUntil([&] { return inJob.load(); }, 5000));
    worker.Stop();
    EXPECT_TRUE(finished.load()) << "Stop returned while the job could still write";
    EXPECT_FALSE(worker.Trigger());
    worker.Stop();  // idempotent
}

TEST(PlaybackController, CommandsWithoutAVideoDoNothing) {
    ASSERT_EQ(hv::GraphActive.load(), 0);
    PlayerHostRecorder host;
    CountingUnwrapper unwrapper;
    hv::PlaybackController ctl(host, unwrapper);
    host.controller = &ctl;

    EXPECT_FALSE(ctl.VideoOpen());
    EXPECT_FALSE(ctl.PlayVideo());
    EXPECT_FALSE(ctl.PauseVideo());
    EXPECT_FALSE(ctl.RestartVideo());
    EXPECT_FALSE(ctl.SeekToFrame(10, TestPump));
    EXPECT_FALSE(ctl.SetVolumeLevel(3));
    EXPECT_FALSE(ctl.MuteSound());
    EXPECT_FALSE(ctl.UnmuteSound());
    EXPECT_FALSE(ctl.ToggleSound());
    ctl.StopSource();
    EXPECT_EQ(host.CallsSoFar(), 0) << "a command without a video reached the windows";
    EXPECT_EQ(ctl.IndicatorLevel(), -1) << "the indicators changed without a video";
    EXPECT_EQ(ctl.PositionBar().serial, 0u);
    EXPECT_EQ(ctl.VolumeLevel(), 5);
    EXPECT_FALSE(ctl.SoundMuted());
    EXPECT_EQ(ctl.Stats().restarts, 0u);

    // A cancelled dialog opens nothing and leaves the state idle.
    EXPECT_FALSE(ctl.OpenVideo(std::string(" \0 ", 3), hv::DoughnutGeometry{}, TestPump));
    EXPECT_EQ(ctl.PlaybackState(), hv::kPlayerIdle);
    EXPECT_FALSE(ctl.WorkerAlive());

    // The stop handshake with no loop to answer is bounded and ends idle.
    ctl.RequestPlaybackStop(hv::kExitStopFirstWaitMs, TestPump);
    EXPECT_EQ(ctl.PlaybackState(), hv::kPlayerIdle);
    ctl.StopForLoad(TestPump);
    EXPECT_EQ(ctl.PlaybackState(), hv::kPlayerIdle);
    ctl.Shutdown(TestPump);
    EXPECT_TRUE(ctl.AppClosing());
    // After the exit sequence nothing opens any more.
    EXPECT_FALSE(ctl.OpenVideo("/nonexistent.mp4", hv::DoughnutGeometry{}, TestPump));
    EXPECT_EQ(unwrapper.calls.load(), 0);
}

TEST(PreviewController, CommandsWithoutAVideoDoNothing) {
    SetupHostRecorder host;
    hv::PreviewController ctl(host);
    EXPECT_FALSE(ctl.RunVideo());
    EXPECT_FALSE(ctl.PauseVideo());
    EXPECT_TRUE(ctl.BeginFileDialog());
    EXPECT_FALSE(ctl.BeginFileDialog()) << "a second OpenVideo must return at once";
    ctl.EndFileDialog();
    EXPECT_FALSE(ctl.FileDialogOpen());
    EXPECT_FALSE(ctl.OpenVideo("   ", TestPump));
    EXPECT_EQ(ctl.PlaybackState(), hv::kSetupStop);
    ctl.StopForLoad(TestPump);
    ctl.Shutdown(TestPump);
    EXPECT_EQ(host.steps.load(), 0);
    EXPECT_EQ(host.titles.load(), 0);
}

}  // namespace
