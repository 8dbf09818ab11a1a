// No audio device: run with every audio output ranked away
// (GST_PLUGIN_FEATURE_RANK, see CMakeLists.txt), so the player's sound
// branch cannot open a device.
#include <gtest/gtest.h>

#include "hardening_util.h"
#include "playback_test_util.h"

namespace hvhard {
namespace {

using hvtest::TestPump;
using hvtest::WaitUntil;

constexpr int kTimeoutMs = 30000;

// The picture plays anyway, and the volume commands fail quietly.
TEST(NoAudioDevice, PlayerPlaysThePictureWithoutADevice) {
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
