// No audio device: every audio output GStreamer could pick is ranked away
// before GStreamer starts, so the player's sound branch cannot open a device.
#include <gtest/gtest.h>

#include <cstdlib>

#include "hardening_util.h"
#include "playback_test_util.h"

namespace hvhard {
namespace {

using hvtest::TestPump;
using hvtest::WaitUntil;

constexpr int kTimeoutMs = 30000;

// Before main, so before any gst_init of this process.
const bool kOutputsRankedAway =
    ::setenv("GST_PLUGIN_FEATURE_RANK",
             "pulsesink:NONE,alsasink:NONE,pipewiresink:NONE,jackaudiosink:NONE,"
             "osssink:NONE,oss4sink:NONE,openalsink:NONE",
             1) == 0;

// The picture plays anyway, and the volume commands fail quietly.
TEST(NoAudioDevice, PlayerPlaysThePictureWithoutADevice) {
    ASSERT_TRUE(kOutputsRankedAway);
    std::string err;
    const std::string video = TestVideo("mp4", 320, 240, 50, true, &err);
    ASSERT_EQ(err, "");
    hvtest::PlayerHostRecorder host;
    hvtest::CountingUnwrapper unwrapper;
    hv::PlaybackController ctl(host, unwrapper);
    host.controller = &ctl;
    ASSERT_TRUE(ctl.OpenVideo(video, kVideoGeometry, TestPump));
    ASSERT_TRUE(WaitUntil([&] { return unwrapper.calls.load() > 10; }, kTimeoutMs));
    EXPECT_GE(unwrapper.lastFrameNumber.load(), 0);
    ctl.SetVolumeLevel(3);
    ctl.ToggleSound();
    ctl.ToggleSound();
    ctl.Shutdown(TestPump);
    EXPECT_FALSE(ctl.WorkerAlive());
    EXPECT_TRUE(host.sink.Messages().empty());
}

}  // namespace
}  // namespace hvhard
