// The setup utility's preview pump on a real video: the per-cycle work at
// its 50 ms cadence on the worker, the PlaybackState machine, Run/Stop, the
// status label sequence, and the Load and exit stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "playback_test_util.h"
#include "video/frame_source_graph.h"

namespace {

using namespace hvtest;

class PreviewPumpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Videos().error.empty()) << "test video maker: " << Videos().error;
        ASSERT_EQ(hv::GraphActive.load(), 0);
    }
};

TEST_F(PreviewPumpTest, CallsThePreviewStepAboutEvery50ms) {
    SetupHostRecorder host;
    hv::PreviewController ctl(host);
    host.controller.store(&ctl);

    // Watch the state words while the stream opens.
    std::atomic<bool> watching{true};
    std::vector<int32_t> states{ctl.PlaybackState()};
    std::thread watcher([&] {
        while (watching.load()) {
            const int32_t s = ctl.PlaybackState();
            if (s != states.back()) states.push_back(s);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    ASSERT_TRUE(ctl.OpenVideo(Videos().silent, TestPump));
    ASSERT_TRUE(WaitUntil([&] { return ctl.PumpRunning(); }, 20000));
    EXPECT_EQ(ctl.PlaybackState(), hv::kSetupPumping);
    EXPECT_TRUE(ctl.VideoOpen());
    EXPECT_NE(ctl.VideoInfoText().find("Video Setup: On"), std::string::npos);

    const int startSteps = host.steps.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    const int steps = host.steps.load() - startSteps;
    // 2 s at 50 ms per cycle is 40 steps; generous bounds on a shared machine.
    EXPECT_GE(steps, 12);
    EXPECT_LE(steps, 42);
    EXPECT_EQ(host.framesTaken.load(), host.steps.load());
    EXPECT_GE(host.lastFrameNumber.load(), 0);

    std::vector<double> t = host.StepTimes();
    ASSERT_GE(t.size(), 10u);
    std::vector<double> gaps;
    for (size_t i = 1; i < t.size(); ++i) gaps.push_back(t[i] - t[i - 1]);
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    const double median = gaps[gaps.size() / 2];
    EXPECT_GE(median, 45.0);
    EXPECT_LE(median, 150.0);

    ctl.StopForLoad(TestPump);
    watching.store(false);
    watcher.join();
    EXPECT_EQ(ctl.PlaybackState(), hv::kSetupStop);
    EXPECT_FALSE(ctl.PumpRunning());
    EXPECT_FALSE(ctl.WorkerAlive());
    EXPECT_EQ(hv::GraphActive.load(), 0);
    const int after = host.steps.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(host.steps.load(), after);

    // 0 -> 1 (worker) -> 2 (graph runs) -> 1 (pump) -> 0 (stop).
    const std::vector<int32_t> expected{0, 1, 2, 1, 0};
    EXPECT_EQ(states, expected);
    const std::vector<hv::StreamStatus> statuses = host.Statuses();
    const std::vector<hv::StreamStatus> expectedStatuses{
        hv::StreamStatus::Buffering, hv::StreamStatus::On, hv::StreamStatus::Off};
    EXPECT_EQ(statuses, expectedStatuses);
    EXPECT_EQ(host.clears.load(), 1);
    EXPECT_EQ(host.titles.load(), 1);
    // The title stays after the stream until the next open sequence empties it.
    EXPECT_EQ(ctl.WindowTitle(), Videos().silent);
    ctl.ResetTitle();
    EXPECT_EQ(ctl.WindowTitle(), "");
}

TEST_F(PreviewPumpTest, RunStopAndExit) {
    SetupHostRecorder host;
    hv::PreviewController ctl(host);
    host.controller.store(&ctl);
    ASSERT_TRUE(ctl.OpenVideo(Videos().withSound, TestPump));
    ASSERT_TRUE(WaitUntil([&] { return ctl.PumpRunning(); }, 20000));

    ASSERT_TRUE(ctl.PauseVideo());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int32_t still = host.lastFrameNumber.load();
    const int steps = host.steps.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_GT(host.steps.load(), steps) << "the pump stops with the picture";
    EXPECT_EQ(host.lastFrameNumber.load(), still);
    ASSERT_TRUE(ctl.RunVideo());
    ASSERT_TRUE(WaitUntil([&] { return host.lastFrameNumber.load() != still; }, 5000));

    ctl.Shutdown(TestPump);
    EXPECT_FALSE(ctl.WorkerAlive());
    EXPECT_EQ(hv::GraphActive.load(), 0);
    EXPECT_EQ(host.Statuses().back(), hv::StreamStatus::Off);
    EXPECT_FALSE(ctl.OpenVideo(Videos().silent, TestPump)) << "nothing opens after the exit";
}

TEST_F(PreviewPumpTest, AStopBeforeThePumpStartsIsNotLost) {
    SetupHostRecorder host;
    hv::PreviewController ctl(host);
    host.controller.store(&ctl);
    ASSERT_TRUE(ctl.OpenVideo(Videos().silent, TestPump));
    // Before "Stream ON": the build would overwrite the 0 with 2 and 1.
    ASSERT_TRUE(WaitUntil([&] { return ctl.PlaybackState() == hv::kSetupStarted; }, 20000));
    ctl.StopForLoad(TestPump);
    EXPECT_FALSE(ctl.WorkerAlive());
    EXPECT_EQ(host.steps.load(), 0);
    EXPECT_EQ(ctl.PlaybackState(), hv::kSetupStop);

    // Reopening after the stop works.
    ASSERT_TRUE(ctl.OpenVideo(Videos().silent, TestPump));
    ASSERT_TRUE(WaitUntil([&] { return host.steps.load() >= 3; }, 20000));
    ctl.Shutdown(TestPump);
}

}  // namespace
