// The player's export features on a real video made by the project's
// test-video maker: File -> Save snapshot.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <cstdio>

#include "config/configuration.h"
#include "player/commands.h"
#include "player/export_dialog.h"
#include "player/path_recorder.h"
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

// 10 s, tiny: long enough that the recording test's steering never meets
// the end of the clip, however slow the machine (or a sanitizer) makes it.
const std::filesystem::path& LongVideo() {
    static const std::filesystem::path path = [] {
        const auto dir = ExportFolder();
        std::filesystem::create_directories(dir);
        auto p = dir / "ring.mkv";
        TestVideoOptions clip;
        clip.path = p.string();
        clip.width = 192;
        clip.height = 144;
        clip.frames = 250;
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
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer cannot start hvtool from a process that already runs
    // threads; the normal build compares the two pictures.
    GTEST_SKIP() << "starts hvtool: not under ThreadSanitizer";
#endif
    MainWindow& w = f.Window();
    OpenPausedOn(30);
    w.Command(kCmdStopMotion);
    ViewState view = w.Navigation().Snapshot();
    view.pan = 37.5f;
    view.tilt = -8.25f;
    view.fov = 70.0f;
    w.Navigation().Reset(view, 400.0f / 600.0f);
    // The tilt settles on its pending value over the next frames; the view
    // compared is the one it rests at. Paused, the presenter stops
    // presenting once nothing changes any more: wait for that.
    uint64_t seen = w.Presenter().Presented();
    bool settled = false;
    for (int i = 0; i < 25 && !settled; ++i) {
        WaitFor([] { return false; }, 300);
        const uint64_t now = w.Presenter().Presented();
        settled = now == seen && i > 0;
        seen = now;
    }
    ASSERT_TRUE(settled) << "the paused view never settled";
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

    // At a chosen size: the picture is the view shown when the command was
    // given, even when the view moves while the save dialog is open.
    const QString expected = QDir(dir).filePath(QStringLiteral("expected.png"));
    const QString moved = QDir(dir).filePath(QStringLiteral("moved.png"));
    const QString sized = QDir(dir).filePath(QStringLiteral("sized.png"));
    ASSERT_TRUE(w.SaveSnapshot(expected, QSize(320, 200)));
    w.SetSnapshotSizeChooser([](QWidget*, QSize) { return QSize(320, 200); });
    w.SetSnapshotChooser([&](QWidget*, const QString&) {
        w.Command(kCmdRight);
        WaitFor([] { return false; }, 300);
        return sized;
    });
    w.Command(kCmdSaveSnapshotAtSize);
    ASSERT_TRUE(w.SaveSnapshot(moved, QSize(320, 200)));
    const QImage atSize = QImage(sized).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(atSize.size(), QSize(320, 200));
    EXPECT_EQ(atSize, QImage(expected).convertToFormat(QImage::Format_RGB32));
    EXPECT_NE(atSize, QImage(moved).convertToFormat(QImage::Format_RGB32));
    // Cancelling the size question saves nothing.
    w.SetSnapshotSizeChooser([](QWidget*, QSize) { return QSize(); });
    QFile::remove(sized);
    w.Command(kCmdSaveSnapshotAtSize);
    EXPECT_FALSE(QFileInfo::exists(sized));
    EXPECT_TRUE(f.boxes.empty());
}

TEST(SnapshotName, MinutesSecondsAndMilliseconds) {
    EXPECT_EQ(SnapshotFileName(QStringLiteral("/v/a.b.mp4"), 0),
              QStringLiteral("a.b-00m00.000s.png"));
    // 2 min 3.456 s in 100 ns units.
    EXPECT_EQ(SnapshotFileName(QStringLiteral("clip.mp4"), 1234560000LL),
              QStringLiteral("clip-02m03.456s.png"));
}

// Synthetic steering: a view that changes at later times adds keyframes; an
// unchanged view adds none; a paused time replaces the last one. The JSON
// reads back as the same path.
TEST(PathRecorder, StepsBecomeKeyframesThatReadBack) {
    PathRecorder r;
    ViewState v;
    r.Sample(0.0, v);  // not recording
    EXPECT_TRUE(r.Keyframes().empty());
    r.Start();
    r.Sample(0.0, v);
    v.pan = -80;
    r.Sample(0.5, v);
    r.Sample(0.7, v);  // held: nothing new
    v.tilt = 10;
    r.Sample(1.0, v);
    v.fov = 60;
    r.Sample(1.0, v);  // paused: the last keyframe follows
    v.pan = 190;       // wraps to -170
    r.Sample(1.5, v);
    r.Stop();
    r.Sample(2.0, ViewState{});
    const auto& k = r.Keyframes();
    ASSERT_EQ(k.size(), 4u);
    for (size_t i = 1; i < k.size(); ++i) EXPECT_GT(k[i].t, k[i - 1].t);
    EXPECT_EQ(k[2].tilt, 10.0f);
    EXPECT_EQ(k[2].fov, 60.0f);
    EXPECT_FLOAT_EQ(k[3].pan, -170.0f);

    ViewPath back;
    std::string error;
    ASSERT_TRUE(ParseViewPathJson(ViewPathToJson(r.Path()), &back, &error)) << error;
    ASSERT_EQ(back.keyframes().size(), k.size());
    for (size_t i = 0; i < k.size(); ++i) {
        EXPECT_DOUBLE_EQ(back.keyframes()[i].t, k[i].t);
        EXPECT_FLOAT_EQ(back.keyframes()[i].pan, k[i].pan);
        EXPECT_FLOAT_EQ(back.keyframes()[i].tilt, k[i].tilt);
        EXPECT_FLOAT_EQ(back.keyframes()[i].fov, k[i].fov);
    }
}

// The menu item on a playing video: the arrow buttons' steering is
// recorded at increasing video times; turning it off offers
// "<stem>-path.json", and the file written reads back.
TEST_F(PlayerExport, RecordViewPathWhilePlaying) {
    MainWindow& w = f.Window();
    const QString path = QString::fromStdString(LongVideo().string());
    w.SetFileChooser([path](QWidget*, const QString&) { return path; });
    w.Command(kCmdLoad);
    ASSERT_TRUE(WaitFor([&] { return w.View() && w.Presenter().Presented() > 3; }, kOpenTimeoutMs));
    w.Command(kCmdRecordPath);
    EXPECT_TRUE(w.Action(kCmdRecordPath)->isChecked());
    for (int id : {kCmdRight, kCmdUp, kCmdZoomIn}) {
        w.Command(id);
        const size_t n = w.Recorder().Keyframes().size();
        ASSERT_TRUE(WaitFor([&] { return w.Recorder().Keyframes().size() > n + 1; }, 5000));
    }
    QString offered;
    w.SetPathChooser([&offered](QWidget*, const QString& suggested) {
        offered = suggested;
        return suggested;
    });
    w.Command(kCmdRecordPath);
    EXPECT_FALSE(w.Action(kCmdRecordPath)->isChecked());
    EXPECT_FALSE(w.Recorder().Recording());
    EXPECT_EQ(QFileInfo(offered).fileName(), QStringLiteral("ring-path.json"));  // ring.mkv
    const auto& k = w.Recorder().Keyframes();
    ASSERT_GE(k.size(), 4u);
    for (size_t i = 1; i < k.size(); ++i) EXPECT_GT(k[i].t, k[i - 1].t);

    QFile file(offered);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ViewPath back;
    std::string error;
    ASSERT_TRUE(ParseViewPathJson(file.readAll().toStdString(), &back, &error)) << error;
    EXPECT_EQ(back.keyframes().size(), k.size());
    EXPECT_TRUE(f.boxes.empty());
}

// File -> Export video...: a panorama export of the open video runs on the
// dialog's worker while the player goes on playing; the progress reaches
// the end and the file is there. A cancelled export leaves no file, and a
// window destroyed during an export cancels and joins it.
TEST_F(PlayerExport, ExportDialogRunsAndCancels) {
    MainWindow& w = f.Window();
    EXPECT_EQ(w.OpenExportDialog(), nullptr);  // no video
    const QString path = QString::fromStdString(ExportVideo().string());
    w.SetFileChooser([path](QWidget*, const QString&) { return path; });
    w.Command(kCmdLoad);
    ASSERT_TRUE(WaitFor([&] { return w.View() && w.Presenter().Presented() > 3; }, kOpenTimeoutMs));
    w.Command(kCmdExportVideo);
    ExportDialog* d = w.ExportWindow();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->PathSource()->currentIndex(), ExportDialog::kPathCurrentView);
    d->Mode()->setCurrentIndex(static_cast<int>(ExportMode::Panorama));
    const QString out = QString::fromStdString((ExportFolder() / "pano.mp4").string());
    d->Output()->setText(out);
    ASSERT_TRUE(d->Start());
    const uint64_t presented = w.Presenter().Presented();
    ASSERT_TRUE(WaitFor([&] { return !d->Running(); }, 120000));
    EXPECT_TRUE(d->Result().ok) << d->Result().error;
    EXPECT_EQ(d->Result().frames, 50);
    EXPECT_EQ(d->Progress()->value(), d->Progress()->maximum());
    EXPECT_TRUE(QFileInfo::exists(out));
    EXPECT_GT(w.Presenter().Presented(), presented);  // the player went on

    const QString cancelled = QString::fromStdString((ExportFolder() / "gone.mp4").string());
    d->Output()->setText(cancelled);
    ASSERT_TRUE(d->Start());
    d->Cancel();
    ASSERT_TRUE(WaitFor([&] { return !d->Running(); }, 120000));
    EXPECT_FALSE(d->Result().ok);
    EXPECT_FALSE(QFileInfo::exists(cancelled));

    // Closing the player during an export: cancelled, joined, nothing left.
    const QString closing = QString::fromStdString((ExportFolder() / "closing.mp4").string());
    d->Output()->setText(closing);
    ASSERT_TRUE(d->Start());
    f.DestroyWindow();
    EXPECT_FALSE(QFileInfo::exists(closing));
}

// The "Browse..." buttons: the output chooser proposes "<video>-<mode>.mp4"
// beside the video and fills the field with the name chosen; the path file
// chooser fills its field and picks the file as the view path.
TEST(ExportDialogChoosers, BrowseFillsTheFields) {
    const auto dir = ExportFolder();
    std::filesystem::create_directories(dir);
    const QString folder = QString::fromStdString(dir.string());
    ExportSettings base;
    base.input = (dir / "clip.mp4").string();
    base.output = (dir / "clip-export.mp4").string();
    ExportDialog d(base, ViewPath(), ViewPath({ViewKeyframe{}}), nullptr);
    ASSERT_NE(d.BrowseOutputButton(), nullptr);
    ASSERT_NE(d.BrowsePathFileButton(), nullptr);

    d.Mode()->setCurrentIndex(static_cast<int>(ExportMode::Panorama));
    d.BrowseOutputButton()->click();
    QFileDialog* chooser = d.Chooser();
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(chooser->nameFilters(), QStringList{QStringLiteral("MP4 video (*.mp4)")});
    ASSERT_EQ(chooser->selectedFiles().size(), 1);
    const QFileInfo proposed(chooser->selectedFiles().front());
    EXPECT_EQ(proposed.fileName(), QStringLiteral("clip-panorama.mp4"));
    EXPECT_EQ(proposed.absolutePath(), QFileInfo(folder).absoluteFilePath());
    const QString chosen = folder + QStringLiteral("/chosen.mp4");
    chooser->selectFile(chosen);
    static_cast<QDialog*>(chooser)->accept();  // as its Open / Save button does
    EXPECT_EQ(d.Output()->text(), chosen);

    const QString json = folder + QStringLiteral("/chosen-path.json");
    {
        QFile file(json);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(ViewPathToJson(ViewPath({ViewKeyframe{}})).c_str());
    }
    d.BrowsePathFileButton()->click();
    chooser = d.Chooser();
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->nameFilters(),
              QStringList{QStringLiteral("View path (*.json *.cmd *.txt)")});
    chooser->selectFile(json);
    static_cast<QDialog*>(chooser)->accept();  // as its Open / Save button does
    EXPECT_EQ(d.PathFile()->text(), json);
    EXPECT_EQ(d.PathSource()->currentIndex(), ExportDialog::kPathFile);
    ExportSettings settings;
    std::string error;
    EXPECT_TRUE(d.Settings(&settings, &error)) << error;
}

}  // namespace
}  // namespace hv::player::test
