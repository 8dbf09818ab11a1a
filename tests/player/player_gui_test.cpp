// The player window under load and faults, on Qt's offscreen platform:
// key, wheel and drag events at 1 kHz while a video plays (pictures keep
// coming and the view stays within its limits), and a program folder
// that cannot hold CamSetup.xml or the volume file (the player plays with
// the fallback geometry and exits cleanly).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QThread>
#include <QWheelEvent>
#include <cmath>
#include <cstdio>

#include "hardening_util.h"
#include "player/commands.h"
#include "player/path_recorder.h"
#include "player/view_presenter.h"
#include "player_test_util.h"
#include "unwrap/ring_geometry.h"

namespace hvhard {
namespace {

using hv::player::MainWindow;
using hv::player::test::PlayerFixture;
using hv::player::test::WaitFor;

constexpr int kOpenTimeoutMs = 20000;

std::string PlayerVideo() {
    std::string err;
    const std::string p = TestVideo("mp4", 480, 360, 75, false, &err);
    EXPECT_EQ(err, "");
    return p;
}

void Load(MainWindow& w, const std::string& path) {
    const QString q = QString::fromStdString(path);
    w.SetFileChooser([q](QWidget*, const QString&) { return q; });
    w.Command(hv::player::kCmdLoad);
}

// The fixture's player reading the test video's geometry, with "Repeat the
// video" on so that it keeps playing for the whole run.
void RepeatWithTheVideosGeometry(PlayerFixture& f) {
    hv::SetupConfigState s = hv::SetupStartupDefaults(f.Folder().string());
    s.geometry = kVideoGeometry;
    ASSERT_TRUE(hv::WriteConfiguration(f.Folder() / "CamSetup.xml", s).ok);
    f.Recreate();
    f.Window().Command(hv::player::kCmdRepeat);
}

bool Playing(MainWindow& w, uint64_t after = 0) {
    return WaitFor([&] { return w.View() != nullptr && w.Presenter().Presented() > after + 3; },
                   kOpenTimeoutMs);
}

TEST(PlayerUnderLoad, RapidInputAtOneKilohertzKeepsPicturesComing) {
    PlayerFixture f;
    ASSERT_NO_FATAL_FAILURE(RepeatWithTheVideosGeometry(f));
    MainWindow& w = f.Window();
    Load(w, PlayerVideo());
    ASSERT_TRUE(Playing(w));
    QWidget* view = w.View();

    const int runMs = SoakSize(2000, 10000);
    const uint64_t presentedBefore = w.Presenter().Presented();
    QElapsedTimer clock;
    clock.start();
    // Printed, not judged (a test makes no timing claims): worstStep,
    // the longest single pass of the event loop, i.e. the longest the GUI
    // thread was busy with the input and the pictures at one time; worstGap,
    // the longest time between two ticks' ends, which also holds the
    // machine's scheduling delays.
    qint64 worstStepNs = 0, worstGapNs = 0, last = clock.nsecsElapsed(), lastEnd = last;
    long events = 0;
    const int keys[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up,
                        Qt::Key_Down, Qt::Key_Shift, Qt::Key_Control};
    for (long tick = 0; clock.elapsed() < runMs; ++tick) {
        const QPointF p(50 + tick % 500, 40 + (tick * 7) % 300);
        switch (tick % 6) {
            case 0:
                QCoreApplication::postEvent(
                    view, new QKeyEvent(QEvent::KeyPress, keys[(tick / 6) % 6], Qt::NoModifier));
                break;
            case 1:
                QCoreApplication::postEvent(
                    view, new QWheelEvent(p, view->mapToGlobal(p), QPoint(),
                                          QPoint(0, tick % 12 < 6 ? 120 : -120), Qt::NoButton,
                                          Qt::NoModifier, Qt::NoScrollPhase, false));
                break;
            case 2:
                QCoreApplication::postEvent(
                    view, new QMouseEvent(QEvent::MouseButtonPress, p, view->mapToGlobal(p),
                                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
                break;
            case 3:
            case 4:
                QCoreApplication::postEvent(
                    view, new QMouseEvent(QEvent::MouseMove, p, view->mapToGlobal(p), Qt::NoButton,
                                          Qt::LeftButton, Qt::NoModifier));
                break;
            case 5:
                QCoreApplication::postEvent(
                    view, new QMouseEvent(QEvent::MouseButtonRelease, p, view->mapToGlobal(p),
                                          Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
                break;
        }
        ++events;
        QCoreApplication::processEvents();
        const qint64 now = clock.nsecsElapsed();
        worstStepNs = std::max(worstStepNs, now - last);
        worstGapNs = std::max(worstGapNs, now - lastEnd);
        lastEnd = now;
        // The next millisecond tick.
        const qint64 next = (tick + 1) * 1000000;
        if (next > now) QThread::usleep(static_cast<unsigned long>((next - now) / 1000));
        last = clock.nsecsElapsed();
    }
    const uint64_t presented = w.Presenter().Presented() - presentedBefore;
    std::printf(
        "rapid input: %ld events in %lld ms, worst GUI step %.1f ms, worst gap %.1f ms, "
        "%llu pictures\n",
        events, static_cast<long long>(clock.elapsed()), worstStepNs / 1e6, worstGapNs / 1e6,
        static_cast<unsigned long long>(presented));
    EXPECT_GT(presented, static_cast<uint64_t>(runMs / 200)) << "pictures stopped coming";
    const hv::ViewState v = w.Navigation().Snapshot();
    EXPECT_TRUE(std::isfinite(v.pan) && std::isfinite(v.tilt) && std::isfinite(v.fov));
    EXPECT_GE(v.fov, v.minFov);
    EXPECT_LE(v.fov, v.maxFov);
    EXPECT_TRUE(f.boxes.empty());
    w.ShutdownPlayback();
    EXPECT_FALSE(w.Playback().WorkerAlive());
}

// "Record view path" started and stopped many times while a video plays,
// steered between: each round records keyframes and offers its file, and
// memory, threads and descriptors stay flat from the warm-up on (10 rounds
// here; 100 under HV_SOAK_FULL=1, `make soak`, measured from the tenth).
TEST(PlayerSoak, RecordAndStopTheViewPathWhilePlaying) {
    PlayerFixture f;
    ASSERT_NO_FATAL_FAILURE(RepeatWithTheVideosGeometry(f));
    MainWindow& w = f.Window();
    int offered = 0;
    w.SetPathChooser([&offered](QWidget*, const QString&) {
        ++offered;
        return QString();  // not saved
    });
    Load(w, PlayerVideo());
    ASSERT_TRUE(Playing(w));
    const int rounds = SoakSize(10, 100);
    const int warmUp = SoakSize(3, 10);
    const ProcessFigures first = MeasureProcess();
    ProcessFigures warm;
    for (int i = 0; i < rounds; ++i) {
        w.Command(hv::player::kCmdRecordPath);
        ASSERT_TRUE(w.Recorder().Recording()) << "round " << i;
        w.Command(i % 2 == 0 ? hv::player::kCmdRight : hv::player::kCmdLeft);
        const uint64_t n = w.Presenter().Presented();
        ASSERT_TRUE(WaitFor([&] { return w.Presenter().Presented() > n + 2; }, kOpenTimeoutMs))
            << "round " << i;
        w.Command(hv::player::kCmdRecordPath);
        ASSERT_FALSE(w.Recorder().Recording()) << "round " << i;
        EXPECT_FALSE(w.Recorder().Keyframes().empty()) << "round " << i;
        if (i + 1 == warmUp) warm = MeasureProcess();
    }
    const ProcessFigures end = MeasureProcess();
    std::printf("%d record/stop rounds; figures: start %s; after warm-up %s; end %s\n", rounds,
                Describe(first).c_str(), Describe(warm).c_str(), Describe(end).c_str());
    // Idle pool threads (GStreamer's, Qt's) come and go while playing.
    EXPECT_LE(end.threads, warm.threads + 4) << "threads left behind";
    EXPECT_LE(end.descriptors, warm.descriptors + 1) << "descriptors left open";
    EXPECT_LE(end.residentKiB - warm.residentKiB, (SoakFull() ? 48 : 24) * 1024L)
        << "memory grows per round";
    EXPECT_EQ(offered, rounds);
    EXPECT_TRUE(f.boxes.empty());
}

// The program folder cannot take the files (both names are taken by
// folders): opening still plays, with the fallback geometry; leaving the
// program cannot store the volume level and says so, with the reason.
TEST(PlayerFaults, FolderThatCannotHoldItsFilesPlaysWithTheFallback) {
    PlayerFixture f;
    std::filesystem::create_directory(f.Folder() / "CamSetup.xml");
    std::filesystem::create_directory(f.Folder() / "hvplayer.aud");
    f.Recreate();
    MainWindow& w = f.Window();
    Load(w, PlayerVideo());
    ASSERT_TRUE(Playing(w));
    const hv::RingGeometryResult expected = hv::BuildRingGeometry(hv::kFallbackGeometry, 480, 360);
    ASSERT_TRUE(expected.ok);
    EXPECT_EQ(w.Engine().Geometry(), expected.ring);
    EXPECT_EQ(w.Config().geometry, hv::kFallbackGeometry);
    w.ShutdownPlayback();
    EXPECT_FALSE(w.Playback().WorkerAlive());
    ASSERT_EQ(f.boxes.size(), 1u) << "only the volume's failed save";
    EXPECT_EQ(f.boxes[0].caption, QStringLiteral("Volume"));
    EXPECT_TRUE(f.boxes[0].text.contains(QStringLiteral("hvplayer.aud")));
    EXPECT_TRUE(std::filesystem::is_directory(f.Folder() / "CamSetup.xml"));
}

// A CamSetup.xml replaced by binary junk while the player runs: the next
// open plays with the fallback and the file is left as it is.
TEST(PlayerFaults, BinaryConfigurationGivesTheFallbackAndStaysUntouched) {
    PlayerFixture f;
    std::string junk(4096, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 131 + 7);
    WriteFile(f.Folder() / "CamSetup.xml", junk);
    f.Recreate();
    MainWindow& w = f.Window();
    Load(w, PlayerVideo());
    ASSERT_TRUE(Playing(w));
    EXPECT_EQ(w.Config().geometry, hv::kFallbackGeometry);
    w.ShutdownPlayback();
    EXPECT_EQ(ReadFile(f.Folder() / "CamSetup.xml"), junk);
}

}  // namespace
}  // namespace hvhard
