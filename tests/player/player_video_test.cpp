// Opening real videos (made by the project's test-video maker) through the
// same path as the open dialog: title, picture, position bar, seeking,
// stream information, bad files, reloads, cancel and exit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QSlider>
#include <cstdio>
#include <fstream>

#include "config/configuration.h"
#include "player/commands.h"
#include "player/view_presenter.h"
#include "player_test_util.h"
#include "ui/clickable_label.h"
#include "unwrap/view_region.h"
#include "video/frame_source_graph.h"
#include "video/messages.h"
#include "video/test_video_maker.h"
#include "video/video_info.h"

namespace hv::player::test {
namespace {

constexpr int kOpenTimeoutMs = 20000;

// One folder per process: ctest runs these tests in parallel processes.
std::filesystem::path VideoFolder() {
    return std::filesystem::temp_directory_path() /
           ("hvplayer-video-test-" + std::to_string(::getpid()));
}

class RemoveVideoFolder : public ::testing::Environment {
  public:
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(VideoFolder(), ec);
    }
};
const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new RemoveVideoFolder);

// One small doughnut video shared by the tests of this file.
const std::filesystem::path& TestVideo() {
    static const std::filesystem::path path = [] {
        const auto dir = VideoFolder();
        std::filesystem::create_directories(dir);
        auto p = dir / "doughnut.mp4";
        TestVideoOptions clip;
        clip.path = p.string();
        clip.width = 480;
        clip.height = 360;
        clip.frames = 75;  // 3 s at 25 fps
        clip.geometry = DoughnutGeometry{};
        const std::string err = MakeTestVideo(clip);
        EXPECT_EQ(err, "");
        return p;
    }();
    return path;
}

class PlayerVideo : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(TestVideo()));
        // The ring of the test video: the start-up geometry, saved as hvconfig would.
        SetupConfigState s = SetupStartupDefaults(f.Folder().string());
        ASSERT_TRUE(WriteConfiguration(f.Folder() / "CamSetup.xml", s).ok);
        f.Recreate();
    }

    // The Load command with the dialog answering `path`.
    void Load(const QString& path) {
        MainWindow& w = f.Window();
        w.SetFileChooser([path](QWidget*, const QString&) { return path; });
        w.Command(kCmdLoad);
    }

    bool WaitForPicture(uint64_t afterPresented = 0) {
        return WaitFor(
            [&] {
                return f.Window().View() != nullptr &&
                       f.Window().Presenter().Presented() > afterPresented + 3;
            },
            kOpenTimeoutMs);
    }

    PlayerFixture f;
};

bool Near(QRgb a, uint32_t bgrx, int tol) {
    const int r = (bgrx >> 16) & 0xFF, g = (bgrx >> 8) & 0xFF, b = bgrx & 0xFF;
    return std::abs(qRed(a) - r) <= tol && std::abs(qGreen(a) - g) <= tol &&
           std::abs(qBlue(a) - b) <= tol;
}

TEST_F(PlayerVideo, PlaysShowsThePanoramaAndSeeks) {
    MainWindow& w = f.Window();
    const QString path = QString::fromStdString(TestVideo().string());
    Load(path);
    ASSERT_TRUE(WaitForPicture()) << "no picture";
    EXPECT_EQ(w.windowTitle(), path);
    EXPECT_EQ(w.StartPictureWidget(), nullptr);
    ASSERT_NE(w.findChild<QWidget*>(QStringLiteral("VideoHost")), nullptr);
    EXPECT_EQ(w.View()->geometry(), QRect(QPoint(5, 3), w.ViewSize()));

    // The view starts turning left: the pan goes down from -90.
    EXPECT_LT(w.Navigation().Snapshot().pan, -90.0f);
    // Held still from here, so that a slow machine's longer waits below
    // cannot turn the view away from the direction it checks.
    w.Command(kCmdStopMotion);

    // Look in four directions: between them the four landmarks show up,
    // sky above the horizon and ground below it.
    const uint32_t landmarks[] = {0xDC1E1E, 0xF0DC1E, 0xC828C8, 0x1ED2DC};
    bool seen[4] = {};
    const QImage first = w.View()->Image();
    const float aspect = static_cast<float>(first.height()) / first.width();
    for (float pan : {-90.f, 0.f, 90.f, 180.f}) {
        ViewState start = w.Navigation().Snapshot();
        start.pan = pan;
        start.tilt = 0;
        w.Navigation().Reset(start, aspect);
        const uint64_t n = w.Presenter().Presented();
        ASSERT_TRUE(WaitFor([&] { return w.Presenter().Presented() > n + 2; }, 5000));
        const QImage img = w.View()->Image();  // bottom-up rows
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                for (int k = 0; k < 4; ++k)
                    if (Near(img.pixel(x, y), landmarks[k], 40)) seen[k] = true;
        // Memory row 0 is the bottom of the view: ground; the last row the
        // sky. Most of each row, not one pixel: the video's sun and poles
        // move, and where they are depends on how far it has played.
        int sky = 0, ground = 0;
        for (int x = 0; x < img.width(); ++x) {
            const QRgb top = img.pixel(x, img.height() - 3);
            if (qBlue(top) > qRed(top)) ++sky;
            if (qBlue(img.pixel(x, 2)) < 90) ++ground;
        }
        EXPECT_GT(sky, img.width() * 3 / 4) << "sky at pan " << pan;
        EXPECT_GT(ground, img.width() * 3 / 4) << "ground at pan " << pan;
    }
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(seen[k]) << "landmark " << k;
    // The zoom buttons do what Shift and Ctrl do in the view: toggle the
    // continuous zoom.
    w.Command(kCmdZoomIn);
    EXPECT_TRUE(w.Navigation().Drag().zoomIn);
    w.View()->KeyDown(Qt::Key_Shift);
    EXPECT_FALSE(w.Navigation().Drag().zoomIn);
    w.Command(kCmdZoomOut);
    EXPECT_TRUE(w.Navigation().Drag().zoomOut);
    w.Command(kCmdStopMotion);
    EXPECT_FALSE(w.Navigation().Drag().zoomOut);

    // The position bar follows the video.
    EXPECT_EQ(w.Controls().PositionBar()->maximum(), w.Playback().Format().frameCount);
    EXPECT_TRUE(WaitFor([&] { return w.Controls().PositionBar()->value() > 5; }, 5000));

    // Dragging the thumb seeks to the frame; releasing it leaves the video paused.
    QSlider* bar = w.Controls().PositionBar();
    bar->setSliderDown(true);
    bar->setSliderPosition(40);
    EXPECT_EQ(w.SeekFrame(), 40);
    EXPECT_EQ(w.Playback().Position(), 40 * w.Playback().Format().avgTimePerFrame);
    bar->setSliderDown(false);
    EXPECT_TRUE(w.Playback().VideoOpen());

    // "Video Stream Info" shows the stream's text.
    const RingGeometry ring = w.Engine().Geometry();
    w.Command(kCmdVideoInfo);
    ASSERT_EQ(f.boxes.size(), 1u);
    EXPECT_EQ(f.boxes[0].caption, "Video file information");
    EXPECT_EQ(f.boxes[0].icon, QMessageBox::Information);
    QString expected = QString::fromStdString(
        VideoInfoText(TestVideo().string(), w.Playback().Format(), ring.Wp, ring.Hs()));
    expected.replace("\r\n", "\n");
    EXPECT_EQ(f.boxes[0].text.toStdString(), expected.toStdString());
    EXPECT_TRUE(f.boxes[0].text.startsWith("Video file: doughnut.mp4\n"));
}

// While the video plays, each panorama is unwrapped only where the view
// looks and turns; once the picture stays (paused), it is unwrapped whole,
// so the view can turn anywhere; after a jump of the view the next
// panoramas hold its new part.
TEST_F(PlayerVideo, PlayingUnwrapsWhereTheViewLooksAndPausedUnwrapsItAll) {
    MainWindow& w = f.Window();
    Load(QString::fromStdString(TestVideo().string()));
    ASSERT_TRUE(WaitForPicture()) << "no picture";
    w.Command(kCmdStopMotion);
    // Zoomed in: this small video's panorama is narrow.
    ViewState view = w.Navigation().Snapshot();
    view.fov = view.minFov;
    const QImage first = w.View()->Image();
    const float aspect = float(first.height()) / float(first.width());
    w.Navigation().Reset(view, aspect);
    ASSERT_TRUE(WaitFor([&] { return !w.Engine().AcquireReady().Complete(); }, 5000))
        << "a part of the panorama while playing";
    w.Command(kCmdPause);
    ASSERT_TRUE(WaitFor([&] { return w.Engine().AcquireReady().Complete(); }, 5000))
        << "the whole panorama once paused";
    w.Command(kCmdPlay);
    ASSERT_TRUE(WaitFor([&] { return !w.Engine().AcquireReady().Complete(); }, 5000));
    // A jump to the other side.
    view.pan += 180;
    w.Navigation().Reset(view, aspect);
    const uint64_t n = w.Presenter().Presented();
    ASSERT_TRUE(WaitFor([&] { return w.Presenter().Presented() > n + 2; }, 5000));
    const PanoramaView shown = w.Engine().AcquireReady();
    EXPECT_TRUE(shown.Region().Covers(ViewRegion(*InitViewEngine(shown.Ws(), shown.Hs()).setup,
                                                 w.Navigation().Snapshot(), shown.Geometry(),
                                                 shown.Mode(), 0)));
}

// "Window" renders the view at the video view's own pixel size from the
// next frame on, follows resizes of the window, and "Standard" goes back to
// the derived size.
TEST_F(PlayerVideo, WindowViewResolutionFollowsTheWindowSize) {
    MainWindow& w = f.Window();
    w.show();  // a hidden widget's resizes reach nobody until it is shown
    Load(QString::fromStdString(TestVideo().string()));
    ASSERT_TRUE(WaitForPicture()) << "no picture";
    const QSize standard = w.View()->Image().size();
    const auto showsSize = [&](QSize size) {
        return WaitFor([&] { return w.View()->Image().size() == size; }, 5000);
    };
    w.Command(kCmdViewWindow);
    ASSERT_TRUE(showsSize(w.View()->size())) << "window size";
    for (QSize client : {QSize(1003, 711), QSize(301, 203), QSize(40, 300)}) {
        w.LayoutMainWindow(client);
        const QSize view = w.View()->size();
        ASSERT_TRUE(showsSize(WindowRenderSize(view.width(), view.height())))
            << view.width() << "x" << view.height();
    }
    const uint64_t n = w.Presenter().Presented();
    ASSERT_TRUE(WaitFor([&] { return w.Presenter().Presented() > n + 3; }, 5000))
        << "frames keep coming";
    w.Command(kCmdViewStandard);
    EXPECT_TRUE(showsSize(standard));
}

TEST_F(PlayerVideo, SoundButtonAndLevelBars) {
    MainWindow& w = f.Window();
    Load(QString::fromStdString(TestVideo().string()));
    ASSERT_TRUE(WaitForPicture());
    Pump(50);
    const QColor lit(81, 255, 176), unlit(81, 146, 96);
    for (int k = 1; k <= 5; ++k)
        EXPECT_EQ(w.Controls().LevelBar(k)->palette().color(QPalette::Window), lit);
    w.Command(kCmdSound);
    Pump(20);
    EXPECT_TRUE(w.Playback().SoundMuted());
    EXPECT_EQ(w.Controls().Button(kCmdSound)->NormalPicture().toImage(),
              QPixmap(":/player/images/soundoff.png").toImage());
    for (int k = 1; k <= 5; ++k)
        EXPECT_EQ(w.Controls().LevelBar(k)->palette().color(QPalette::Window), unlit) << k;
    w.Command(kCmdLevel1 + 2);  // bar 3 while muted: sound on at level 3
    Pump(20);
    EXPECT_FALSE(w.Playback().SoundMuted());
    EXPECT_EQ(w.Playback().VolumeLevel(), 3);
    EXPECT_EQ(w.Controls().Button(kCmdSound)->NormalPicture().toImage(),
              QPixmap(":/player/images/soundon.png").toImage());
    for (int k = 1; k <= 5; ++k)
        EXPECT_EQ(w.Controls().LevelBar(k)->palette().color(QPalette::Window), k <= 3 ? lit : unlit)
            << k;

    // The window reads the playback on its own: a change made on the
    // controller directly shows within a poll.
    const auto shows = [&](int level, const char* sound) {
        for (int k = 1; k <= 5; ++k) {
            if (w.Controls().LevelBar(k)->palette().color(QPalette::Window) !=
                (k <= level ? lit : unlit))
                return false;
        }
        return w.Controls().Button(kCmdSound)->NormalPicture().toImage() ==
               QPixmap(QStringLiteral(":/player/images/%1.png").arg(sound)).toImage();
    };
    ASSERT_TRUE(w.Playback().MuteSound());
    EXPECT_TRUE(WaitFor([&] { return shows(0, "soundoff"); }, 2000));
    ASSERT_TRUE(w.Playback().SetVolumeLevel(2));
    EXPECT_TRUE(WaitFor([&] { return shows(2, "soundon"); }, 2000));
}

TEST_F(PlayerVideo, BadFileShowsTheMessageAndPlayerStaysUsable) {
    MainWindow& w = f.Window();
    const auto bad = f.Folder() / "broken.mp4";
    std::ofstream(bad) << "this is not a video at all";
    Load(QString::fromStdString(bad.string()));
    ASSERT_TRUE(WaitFor([&] { return !f.boxes.empty(); }, kOpenTimeoutMs));
    ASSERT_TRUE(WaitFor([&] { return GraphActive.load() == 0; }, kOpenTimeoutMs));
    const auto msg = MessageForStep(FrameSourceProgram::Player, BuildStep::ConnectSource);
    ASSERT_TRUE(msg.has_value());
    QString text = QString::fromStdString(msg->text);
    text.replace("\r\n", "\n");
    EXPECT_EQ(f.boxes[0].text, text);
    EXPECT_EQ(f.boxes[0].caption, QString::fromLatin1(CaptionOf(msg->kind)));
    EXPECT_FALSE(w.Playback().VideoOpen());

    // A good file afterwards plays.
    Load(QString::fromStdString(TestVideo().string()));
    EXPECT_TRUE(WaitForPicture());
}

TEST_F(PlayerVideo, LoadWhilePlayingStopsTheOldVideoAndCancelLeavesIdle) {
    MainWindow& w = f.Window();
    const auto copy = f.Folder() / "second.mp4";
    std::filesystem::copy_file(TestVideo(), copy);
    Load(QString::fromStdString(TestVideo().string()));
    ASSERT_TRUE(WaitForPicture());
    Load(QString::fromStdString(copy.string()));
    ASSERT_TRUE(WaitFor([&] { return w.windowTitle() == QString::fromStdString(copy.string()); },
                        kOpenTimeoutMs));
    EXPECT_TRUE(WaitFor([&] { return w.Playback().PlaybackLoopRunning(); }, kOpenTimeoutMs));
    EXPECT_EQ(w.Playback().Stats().loopsStarted, 2u);

    // Cancel in the dialog: stopped, product title, no info text.
    Load(QString());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Halvora 360 Doughnut Player"));
    EXPECT_FALSE(w.Playback().VideoOpen());
    EXPECT_EQ(w.Playback().PlaybackState(), 0);
    w.Command(kCmdVideoInfo);
    EXPECT_TRUE(f.boxes.empty());
    // The configuration was read again on each open; the dialog opens in the
    // folder of the file chosen last when CamSetup.xml names none.
    QString folderAsked;
    w.SetFileChooser([&](QWidget*, const QString& folder) {
        folderAsked = folder;
        return QString();
    });
    w.Command(kCmdLoad);
    EXPECT_EQ(folderAsked, QString::fromStdString(f.Folder().string()));
}

TEST_F(PlayerVideo, CommandLineFileOpensLikeTheDialog) {
    MainWindow& w = f.Window();
    w.SetFileChooser([](QWidget*, const QString&) -> QString {
        ADD_FAILURE() << "no dialog expected";
        return {};
    });
    w.OpenFile(QString::fromStdString(TestVideo().string()));
    ASSERT_TRUE(WaitForPicture());
    EXPECT_EQ(w.windowTitle(), QString::fromStdString(TestVideo().string()));
}

TEST_F(PlayerVideo, ExitWhilePlayingEndsCleanly) {
    MainWindow& w = f.Window();
    w.show();
    Load(QString::fromStdString(TestVideo().string()));
    ASSERT_TRUE(WaitForPicture());
    f.answer = QMessageBox::Ok;
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(w.close());
    const qint64 ms = t.elapsed();
    EXPECT_EQ(GraphActive.load(), 0);
    EXPECT_FALSE(w.Playback().WorkerAlive());
    EXPECT_TRUE(w.Presenter().Stopped());
    EXPECT_FALSE(w.Presenter().PresentRunning());
    // Input after the exit sequence has no effect.
    const ViewState before = w.Navigation().Snapshot();
    w.View()->KeyDown(Qt::Key_Right);
    EXPECT_FALSE(w.Navigation().Drag().moving && w.Navigation().Drag().pointerX == 15);
    EXPECT_EQ(w.Navigation().Snapshot().pan, before.pan);
    // About half a second on an idle machine (printed, not judged).
    std::printf("exit sequence while playing: %lld ms\n", static_cast<long long>(ms));
    f.DestroyWindow();
}

}  // namespace
}  // namespace hv::player::test
