// A paused video with a still view costs nothing: no unwrap, no render. Any
// change that alters the picture (a pan, a flip, a quality) still shows at
// once. Real video from the project's test-video maker.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTest>
#include <filesystem>

#include "config/configuration.h"
#include "player/commands.h"
#include "player/view_presenter.h"
#include "player_test_util.h"
#include "unwrap/unwrap_engine.h"
#include "video/test_video_maker.h"

namespace hv::player::test {
namespace {

constexpr int kOpenTimeoutMs = 20000;

// 2 s at 25 fps.
const std::filesystem::path& Video() {
    static const std::filesystem::path path = MakeDoughnutVideo("idle.mp4", 50);
    return path;
}

TEST(PlayerIdle, PausedStillViewRendersNothingUntilSomethingChanges) {
    ASSERT_TRUE(std::filesystem::exists(Video()));
    PlayerFixture f;
    SetupConfigState s = SetupStartupDefaults(f.Folder().string());
    ASSERT_TRUE(WriteConfiguration(f.Folder() / "CamSetup.xml", s).ok);
    f.Recreate();
    MainWindow& w = f.Window();
    const QString path = QString::fromStdString(Video().string());
    w.SetFileChooser([path](QWidget*, const QString&) { return path; });
    w.Command(kCmdLoad);
    ViewPresenter& p = w.Presenter();
    ASSERT_TRUE(WaitFor([&] { return w.View() != nullptr && p.Presented() > 3; }, kOpenTimeoutMs));

    // Paused, the starting turn stopped: once the last motion has settled,
    // every render request finds nothing changed.
    w.Command(kCmdPause);
    w.Command(kCmdStopMotion);
    auto settle = [&] {
        const uint64_t u = p.RendersUnchanged();
        return WaitFor([&] { return p.RendersUnchanged() > u + 5; }, 5000);
    };
    ASSERT_TRUE(settle()) << "a paused still view keeps rendering";
    const uint64_t renders = p.Renders();
    const uint64_t copied = w.Engine().AcquireReady().Sequence();
    const uint64_t unchanged = p.RendersUnchanged();
    QTest::qWait(1000);
    EXPECT_EQ(p.Renders(), renders);
    EXPECT_EQ(w.Engine().AcquireReady().Sequence(), copied) << "the same picture unwrapped again";
    EXPECT_GT(p.RendersUnchanged(), unchanged);

    // A pan key, a flip and a quality change each show at once.
    uint64_t presented = p.Presented();
    w.Command(kCmdLeft);
    EXPECT_TRUE(WaitFor([&] { return p.Presented() > presented; }, 5000)) << "pan";
    w.Command(kCmdStopMotion);
    ASSERT_TRUE(settle());

    const int mode = w.Engine().CurrentFlipMode();
    presented = p.Presented();
    w.Command(kCmdFlip);
    EXPECT_TRUE(WaitFor(
        [&] { return w.Engine().AcquireReady().Mode() != mode && p.Presented() > presented; },
        5000))
        << "flip";
    ASSERT_TRUE(settle());

    presented = p.Presented();
    w.Command(kCmdDraft);
    EXPECT_TRUE(WaitFor([&] { return p.Presented() > presented; }, 5000)) << "quality";
    ASSERT_TRUE(settle());
    EXPECT_EQ(p.Quality(), QualityMode::Draft);
}

}  // namespace
}  // namespace hv::player::test
