// The player's export features on a real video made by the project's
// test-video maker: File -> Save snapshot.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSlider>
#include <cstdio>

#include "config/configuration.h"
#include "player/commands.h"
#include "player/snapshot.h"
#include "player/view_presenter.h"
#include "player_test_util.h"
#include "video/test_video_maker.h"

namespace hv::player::test {
namespace {

constexpr int kOpenTimeoutMs = 20000;

std::filesystem::path ExportFolder() {
    return std::filesystem::temp_directory_path() /
           ("hvplayer-export-test-" + std::to_string(::getpid()));
}

class RemoveExportFolder : public ::testing::Environment {
  public:
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(ExportFolder(), ec);
    }
};
const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new RemoveExportFolder);

// 2 s at 25 fps, small.
const std::filesystem::path& ExportVideo() {
    static const std::filesystem::path path = [] {
        const auto dir = ExportFolder();
        std::filesystem::create_directories(dir);
        auto p = dir / "ring.mp4";
        TestVideoOptions clip;
        clip.path = p.string();
        clip.width = 480;
        clip.height = 360;
        clip.frames = 50;
        clip.geometry = DoughnutGeometry{};
        EXPECT_EQ(MakeTestVideo(clip), "");
        return p;
    }();
    return path;
}

class PlayerExport : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(ExportVideo()));
        SetupConfigState s = SetupStartupDefaults(f.Folder().string());
        ASSERT_TRUE(WriteConfiguration(f.Folder() / "CamSetup.xml", s).ok);
        f.Recreate();
    }

    // Opens the video and leaves it paused on `frame`, its picture unwrapped.
    void OpenPausedOn(int frame) {
        MainWindow& w = f.Window();
        const QString path = QString::fromStdString(ExportVideo().string());
        w.SetFileChooser([path](QWidget*, const QString&) { return path; });
        w.Command(kCmdLoad);
        ASSERT_TRUE(
            WaitFor([&] { return w.View() && w.Presenter().Presented() > 3; }, kOpenTimeoutMs));
        QSlider* bar = w.Controls().PositionBar();
        bar->setSliderDown(true);
        bar->setSliderPosition(frame);
        bar->setSliderDown(false);
        ASSERT_EQ(w.SeekFrame(), frame);
        const uint64_t n = w.Presenter().Presented();
        ASSERT_TRUE(WaitFor([&] { return w.Presenter().Presented() > n + 3; }, 5000));
    }

    PlayerFixture f;
};

// The snapshot is the view `hvtool view` renders of the same frame and
// view, pixel for pixel, at the derived size and at a chosen one; the
// command offers "<stem>-00m01.200s.png" beside the video.
TEST_F(PlayerExport, SnapshotEqualsToolViewOfTheSameFrame) {
    MainWindow& w = f.Window();
    OpenPausedOn(30);
    w.Command(kCmdStopMotion);
    ViewState view = w.Navigation().Snapshot();
    view.pan = 37.5f;
    view.tilt = -8.25f;
    view.fov = 70.0f;
    w.Navigation().Reset(view, 400.0f / 600.0f);
    // The tilt settles on its pending value over the next frames; the view
    // compared is the one it rests at.
    const uint64_t n = w.Presenter().Presented();
    ASSERT_TRUE(WaitFor([&] { return w.Presenter().Presented() > n + 5; }, 5000));
    view = w.Navigation().Snapshot();

    const QString dir = QString::fromStdString(ExportFolder().string());
    for (const QSize size : {QSize(), QSize(320, 200)}) {
        const QString mine = dir + QStringLiteral("/mine-%1.png").arg(size.width());
        const QString tool = dir + QStringLiteral("/tool-%1.png").arg(size.width());
        ASSERT_TRUE(w.SaveSnapshot(mine, size));
        const ViewState now = w.Navigation().Snapshot();
        ASSERT_EQ(now.pan, view.pan);
        ASSERT_EQ(now.tilt, view.tilt);
        ASSERT_EQ(now.fov, view.fov);
        char pan[32], tilt[32], fov[32];
        std::snprintf(pan, sizeof pan, "%.9g", view.pan);
        std::snprintf(tilt, sizeof tilt, "%.9g", view.tilt);
        std::snprintf(fov, sizeof fov, "%.9g", view.fov);
        QStringList args = {QStringLiteral("view"),
                            QString::fromStdString(ExportVideo().string()),
                            QStringLiteral("--config"),
                            QString::fromStdString((f.Folder() / "CamSetup.xml").string()),
                            QStringLiteral("--frame"),
                            QStringLiteral("30"),
                            QStringLiteral("--pan"),
                            pan,
                            QStringLiteral("--tilt"),
                            tilt,
                            QStringLiteral("--fov"),
                            fov,
                            QStringLiteral("--out"),
                            tool};
        if (!size.isEmpty())
            args << QStringLiteral("--size")
                 << QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        QProcess hvtool;
        hvtool.start(QStringLiteral(HV_TOOL_PATH), args);
        ASSERT_TRUE(hvtool.waitForFinished(60000));
        ASSERT_EQ(hvtool.exitCode(), 0) << hvtool.readAllStandardError().toStdString();

        const QImage a(mine), b(tool);
        ASSERT_FALSE(a.isNull());
        ASSERT_EQ(a.size(), b.size());
        if (!size.isEmpty()) {
            EXPECT_EQ(a.size(), size);
        }
        const QImage ca = a.convertToFormat(QImage::Format_RGB32);
        const QImage cb = b.convertToFormat(QImage::Format_RGB32);
        int differ = 0;
        for (int y = 0; y < ca.height(); ++y)
            for (int x = 0; x < ca.width(); ++x) differ += ca.pixel(x, y) != cb.pixel(x, y);
        EXPECT_EQ(differ, 0) << "at size " << a.width() << "x" << a.height();
    }

    // The command: the dialog offers the video's stem and the time beside
    // the video; what it answers is written.
    QString offered;
    w.SetSnapshotChooser([&offered](QWidget*, const QString& suggested) {
        offered = suggested;
        return suggested;
    });
    w.Command(kCmdSaveSnapshot);
    EXPECT_EQ(QFileInfo(offered).fileName(), QStringLiteral("ring-00m01.200s.png"));
    EXPECT_EQ(QFileInfo(offered).absolutePath(), QFileInfo(dir).absoluteFilePath());
    EXPECT_TRUE(QFileInfo::exists(offered));
    EXPECT_TRUE(f.boxes.empty());
    EXPECT_EQ(w.Action(kCmdSaveSnapshot)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
}

TEST(SnapshotName, MinutesSecondsAndMilliseconds) {
    EXPECT_EQ(SnapshotFileName(QStringLiteral("/v/a.b.mp4"), 0),
              QStringLiteral("a.b-00m00.000s.png"));
    // 2 min 3.456 s in 100 ns units.
    EXPECT_EQ(SnapshotFileName(QStringLiteral("clip.mp4"), 1234560000LL),
              QStringLiteral("clip-02m03.456s.png"));
}

}  // namespace
}  // namespace hv::player::test
