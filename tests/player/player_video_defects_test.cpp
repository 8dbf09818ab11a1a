// The defects a new user met with a video open, on real videos made by the
// project's test-video maker: a fast thumb drag, a failed open, the High
// renderer's edge, the click at start-up, full screen, Space and a drop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QUrl>
#include <fstream>

#include "config/configuration.h"
#include "player/commands.h"
#include "player/recent_files.h"
#include "player/view_presenter.h"
#include "player_test_util.h"
#include "ui/click_sound.h"
#include "ui/clickable_label.h"
#include "video/frame_source_graph.h"
#include "video/test_video_maker.h"

namespace hv::player::test {
namespace {

constexpr int kOpenTimeoutMs = 20000;

// 4 s at 25 fps: long enough for a drag across many frames.
const std::filesystem::path& Video() {
    static const std::filesystem::path path = MakeDoughnutVideo("defects.mp4", 100);
    return path;
}

class PlayerDefects : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(Video()));
        // The ring of the test video: the start-up geometry.
        SetupConfigState s = SetupStartupDefaults(f.Folder().string());
        ASSERT_TRUE(WriteConfiguration(f.Folder() / "CamSetup.xml", s).ok);
        f.Recreate();
    }
    void Load(const QString& path) {
        f.Window().SetFileChooser([path](QWidget*, const QString&) { return path; });
        f.Window().Command(kCmdLoad);
    }
    bool WaitForPicture(uint64_t after = 0) {
        return WaitFor(
            [&] {
                return f.Window().View() != nullptr &&
                       f.Window().Presenter().Presented() > after + 3;
            },
            kOpenTimeoutMs);
    }
    PlayerFixture f;
};

QPoint HandleCentre(QSlider* bar) {
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.orientation = bar->orientation();
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.subControls = QStyle::SC_All;
    return bar->style()
        ->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, bar)
        .center();
}

void PostMouse(QWidget* to, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QCoreApplication::postEvent(to, new QMouseEvent(type, QPointF(at), to->mapToGlobal(QPointF(at)),
                                                    Qt::LeftButton, buttons, Qt::NoModifier));
}

TEST_F(PlayerDefects, FastThumbDragLeavesTheVideoPausedAtTheReleasedFrame) {
    MainWindow& w = f.Window();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    Load(QString::fromStdString(Video().string()));
    ASSERT_TRUE(WaitForPicture());
    w.Command(kCmdPause);
    QSlider* bar = w.Controls().PositionBar();
    ASSERT_TRUE(WaitFor([&] { return bar->maximum() > 50; }, 5000));
    Pump(300);
    // The whole drag is queued at once, as a fast hand delivers it: the moves
    // and the release arrive while earlier moves are still being handled.
    const QPoint start = HandleCentre(bar);
    int released = -1;
    QObject::connect(bar, &QSlider::sliderReleased, [&] { released = bar->value(); });
    PostMouse(bar, QEvent::MouseButtonPress, start, Qt::LeftButton);
    for (int dx = 6; dx <= 240; dx += 6)
        PostMouse(bar, QEvent::MouseMove, start + QPoint(dx, 0), Qt::LeftButton);
    PostMouse(bar, QEvent::MouseButtonRelease, start + QPoint(240, 0), Qt::NoButton);
    ASSERT_TRUE(WaitFor([&] { return released >= 0; }, 10000));
    ASSERT_GT(released, 20);
    EXPECT_EQ(w.SeekFrame(), released);
    const int64_t target = released * w.Playback().Format().avgTimePerFrame;
    EXPECT_EQ(w.Playback().Position(), target);
    EXPECT_TRUE(w.Playback().UserPaused());
    // A second later the loop's own reads still find the video there: no
    // seek ran it on after the release, and the thumb stayed.
    const uint64_t reads = w.Playback().Stats().positionReads;
    ASSERT_TRUE(WaitFor([&] { return w.Playback().Stats().positionReads > reads + 6; }, 5000));
    EXPECT_NEAR(static_cast<double>(w.Playback().Position()), static_cast<double>(target),
                static_cast<double>(w.Playback().Format().avgTimePerFrame));
    EXPECT_EQ(bar->value(), released);
}

TEST_F(PlayerDefects, FailedOpenReturnsToTheStartPictureWithAnInactiveTransport) {
    MainWindow& w = f.Window();
    Load(QString::fromStdString(Video().string()));
    ASSERT_TRUE(WaitForPicture());
    EXPECT_TRUE(w.Controls().Button(kCmdPlay)->isEnabled());
    const auto bad = f.Folder() / "broken.mp4";
    std::ofstream(bad) << "not a video";
    Load(QString::fromStdString(bad.string()));
    ASSERT_TRUE(WaitFor([&] { return !f.boxes.empty(); }, kOpenTimeoutMs));
    ASSERT_TRUE(WaitFor([&] { return w.StartPictureWidget() != nullptr; }, kOpenTimeoutMs));
    EXPECT_EQ(w.View(), nullptr);
    EXPECT_EQ(w.windowTitle(), QString::fromLatin1(kAppTitle));
    EXPECT_EQ(w.Controls().PositionBar()->maximum(), 1);
    for (int id : {kCmdRestart, kCmdPlay, kCmdPause})
        EXPECT_FALSE(w.Controls().Button(id)->isEnabled()) << id;
    // A cancelled open afterwards, and a good one, still work.
    Load(QString());
    EXPECT_NE(w.StartPictureWidget(), nullptr);
    Load(QString::fromStdString(Video().string()));
    ASSERT_TRUE(WaitForPicture());
    EXPECT_TRUE(w.Controls().Button(kCmdPause)->isEnabled());
    Load(QString());
    EXPECT_NE(w.StartPictureWidget(), nullptr);
    EXPECT_EQ(w.View(), nullptr);
}

TEST_F(PlayerDefects, HighQualityShowsNoUnwrittenEdge) {
    MainWindow& w = f.Window();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.OpenFile(QString::fromStdString(Video().string()));
    ASSERT_TRUE(WaitForPicture());
    // A file from the command line is no click.
    EXPECT_EQ(w.Click().PlayCount(), 0);
    const auto edgesDark = [&] {
        const QImage shown = w.View()->grab().toImage();
        int black = 0;
        for (int y = 0; y < shown.height(); ++y)
            if ((shown.pixel(shown.width() - 1, y) & 0xFFFFFF) == 0) ++black;
        for (int x = 0; x < shown.width(); ++x)
            if ((shown.pixel(x, shown.height() - 1) & 0xFFFFFF) == 0) ++black;
        return black;
    };
    for (bool soften : {false, true}) {
        w.Presenter().SetSoften(soften);
        const uint64_t n = w.Presenter().Presented();
        ASSERT_TRUE(WaitFor([&] { return w.Presenter().Presented() > n + 2; }, 5000));
        const QImage img = w.View()->Image();
        EXPECT_EQ(w.View()->WrittenPart(),
                  QRect(0, 1, img.width() - (soften ? 2 : 1), img.height() - 1));
        EXPECT_EQ(edgesDark(), 0) << "soften " << soften;
    }
    w.SetQualityMode(static_cast<int>(QualityMode::Draft));
    const uint64_t n = w.Presenter().Presented();
    ASSERT_TRUE(WaitFor([&] { return w.Presenter().Presented() > n + 2; }, 5000));
    EXPECT_EQ(w.View()->WrittenPart(), w.View()->Image().rect());
}

TEST_F(PlayerDefects, FullScreenSpaceHomeAndADroppedFile) {
    MainWindow& w = f.Window();
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    // A file dropped from a file manager opens as from the File menu.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(Video().string()))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
    ASSERT_TRUE(WaitForPicture());
    EXPECT_EQ(w.windowTitle(), QString::fromStdString(Video().string()));

    // Space pauses and plays; Home restarts.
    QTest::keyClick(&w, Qt::Key_Space);
    EXPECT_TRUE(w.Playback().UserPaused());
    QTest::keyClick(&w, Qt::Key_Space);
    EXPECT_FALSE(w.Playback().UserPaused());
    const uint64_t restarts = w.Playback().Stats().restarts;
    QTest::keyClick(&w, Qt::Key_Home);
    EXPECT_EQ(w.Playback().Stats().restarts, restarts + 1);

    // F11: full screen without the row, which comes back at the bottom edge.
    QTest::keyClick(&w, Qt::Key_F11);
    Pump(50);
    EXPECT_TRUE(w.isFullScreen());
    EXPECT_FALSE(w.Controls().isVisible());
    EXPECT_EQ(w.View()->size(), w.centralWidget()->size());
    QTest::mouseMove(w.View(), QPoint(20, w.View()->height() - 2));
    EXPECT_TRUE(w.Controls().isVisible());
    QTest::mouseMove(w.View(), QPoint(20, 20));
    EXPECT_FALSE(w.Controls().isVisible());
    QTest::keyClick(&w, Qt::Key_Escape);
    Pump(50);
    EXPECT_FALSE(w.isFullScreen());
    EXPECT_TRUE(w.Controls().isVisible());
    EXPECT_EQ(w.View()->size(), w.ViewSize());
    // A double-click on the view toggles it too.
    QTest::mouseDClick(w.View(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 30));
    EXPECT_TRUE(w.isFullScreen());
    QTest::mouseDClick(w.View(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 30));
    EXPECT_FALSE(w.isFullScreen());
}

TEST_F(PlayerDefects, RecentVideosKeepTheLastEightAndDropMissingOnes) {
    const auto list = f.Folder() / "config" / "recent-videos";
    {
        RecentFiles r(list);
        for (int i = 0; i < 10; ++i) r.Add(QStringLiteral("/videos/%1.mp4").arg(i));
        r.Add(QStringLiteral("/videos/5.mp4"));  // moves to the front
    }
    RecentFiles again(list);
    ASSERT_EQ(again.Files().size(), RecentFiles::kMaxFiles);
    EXPECT_EQ(again.Files().first(), QStringLiteral("/videos/5.mp4"));
    EXPECT_EQ(again.Files()[1], QStringLiteral("/videos/9.mp4"));
    EXPECT_EQ(again.Files().last(), QStringLiteral("/videos/2.mp4"));

    // A video that played joins the list; a missing one chosen is removed
    // with a message.
    MainWindow& w = f.Window();
    w.SetRecentFilesLocation(list);
    const QString video = QString::fromStdString(Video().string());
    w.OpenRecent(video);
    ASSERT_TRUE(WaitForPicture());
    EXPECT_EQ(w.Recent().Files().first(), video);
    w.OpenRecent(QStringLiteral("/videos/5.mp4"));
    ASSERT_EQ(f.boxes.size(), 1u);
    EXPECT_TRUE(f.boxes[0].text.contains(QStringLiteral("no longer exists")));
    EXPECT_FALSE(RecentFiles(list).Files().contains(QStringLiteral("/videos/5.mp4")));
    EXPECT_EQ(w.windowTitle(), video);  // the playing video is untouched
}

}  // namespace
}  // namespace hv::player::test
