// The setup utility with a real video: opened without the dialog, pumped by
// the preview worker, fitted with the keypad, saved, stopped.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "config/configuration.h"
#include "ui/clickable_label.h"
#include "setup/cut_keypad.h"
#include "setup/overlay.h"
#include "setup/picture_view.h"
#include "setup/setup_main_window.h"
#include "setup/transform_window.h"
#include "setup_test_util.h"
#include "video/frame_source_graph.h"
#include "video/test_video_maker.h"

namespace hv::setup {
namespace {

using test::BoxRecorder;
using test::TempFolder;
using test::WaitFor;

QString LabelText(QWidget* w, int id) {
    auto* l = w->findChild<QLabel*>(QStringLiteral("ctl%1").arg(id));
    return l ? l->text() : QStringLiteral("<missing>");
}

QString Labels(QWidget* w) {
    QStringList s;
    for (int id : {300, 301, 310, 311, 302, 322}) s << LabelText(w, id);
    return s.join(QLatin1Char(' '));
}

bool RedNear(const QImage& img, int x, int y) {
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            if ((img.pixel(x + dx, y + dy) & 0xFFFFFF) == 0xFF0000) return true;
    return false;
}

TEST(SetupStream, LoadFitSaveAndStop) {
    TempFolder dir;
    TestVideoOptions clip;
    clip.path = (dir.path() / "ring.avi").string();
    clip.width = 640;
    clip.height = 480;
    clip.frames = 150;  // 6 s: outlives the test's steps
    clip.audio = false;
    ASSERT_EQ(MakeTestVideo(clip), "");

    const SetupPaths paths = SetupPaths::ForFolder(dir.path());
    SetupMainWindow w(paths, LoadStartupConfiguration(paths));
    w.show();
    w.Transform()->show();
    QWidget* c = w.centralWidget();

    w.OpenChosenVideo(QString::fromStdString(clip.path));
    EXPECT_TRUE(w.Transform()->PreviewRevealed());
    ASSERT_TRUE(WaitFor([&] { return LabelText(c, 652) == QStringLiteral("Stream ON"); }, 20000))
        << LabelText(c, 652).toStdString();
    EXPECT_TRUE(w.StreamShown());
    EXPECT_EQ(LabelText(c, 304), QStringLiteral("640x480"));
    EXPECT_EQ(LabelText(c, 305), QStringLiteral("25.00 FPS"));
    EXPECT_EQ(w.windowTitle(), QString::fromStdString(clip.path));
    EXPECT_EQ(w.Record().settings.lastFolder, dir.path().string());

    // Both pictures follow the pump.
    const int doughnutShown = w.DoughnutPicture()->PictureCount();
    const int previewShown = w.Transform()->Preview()->PictureCount();
    ASSERT_TRUE(
        WaitFor([&] { return w.DoughnutPicture()->PictureCount() >= doughnutShown + 5; }, 5000));
    EXPECT_GE(w.Transform()->Preview()->PictureCount(), previewShown + 5);

    // Five steps of the external circle, shown in the labels and the overlay
    // (4:3 frame: the ring's centre lands at x 306.1, its outer radius of 160
    // frame pixels at 150 picture pixels, so the red circle's left edge is at
    // 156).
    for (int i = 0; i < 5; ++i) w.Keypad()->Key(kKeyGrowOuter)->click();
    EXPECT_EQ(w.KeypadClicks(), 5);
    EXPECT_EQ(Labels(c), QStringLiteral("101 101 410 400 309 36"));
    EXPECT_TRUE(WaitFor([&] { return RedNear(w.DoughnutPicture()->Picture(), 156, 301); }, 3000));

    for (int i = 0; i < 40; ++i) w.Keypad()->Key(kKeyShrinkInner)->click();
    EXPECT_EQ(LabelText(c, 322), QStringLiteral("-4"));
    w.Keypad()->Key(kKeyReset)->click();
    EXPECT_EQ(Labels(c), QStringLiteral("111 111 390 380 279 36"));
    w.Keypad()->Key(kKeyRight)->click();
    EXPECT_EQ(w.Record().geometry.left, 113);
    // Left 113 is frame column 121, the centre 329.5 * 0.9375, radius 142.5.
    EXPECT_TRUE(WaitFor([&] { return RedNear(w.DoughnutPicture()->Picture(), 166, 301); }, 3000));

    // Stream information.
    {
        BoxRecorder boxes;
        w.Command(kCmdVideoInfo);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Video file information"));
        EXPECT_TRUE(boxes.boxes[0].text.startsWith(QStringLiteral("Frame size: 640x480\n")))
            << boxes.boxes[0].text.toStdString();
        EXPECT_TRUE(boxes.boxes[0].text.endsWith(QStringLiteral("Video Setup: On")));
    }

    // Stop and Run pause and run the stream; the preview stays up.
    w.Command(kCmdStop);
    EXPECT_TRUE(w.StreamShown());
    w.Command(kCmdRun);
    EXPECT_TRUE(w.StreamShown());

    // Save with a stream: the player reads exactly this geometry.
    const int clicks = w.ButtonClicks();
    auto* save = c->findChild<ui::ClickableLabel*>(QStringLiteral("ctl102"));
    ASSERT_NE(save, nullptr);
    bool flashed = false;
    QTimer::singleShot(200, [&] { flashed = save->IsShowingPressed(); });
    w.Command(kCmdSave);
    EXPECT_EQ(w.ButtonClicks(), clicks + 1);
    EXPECT_TRUE(flashed) << "the Save button shows b_save2 while it clicks";
    EXPECT_FALSE(save->IsShowingPressed());
    PlayerConfigState player = PlayerStartupDefaults();
    ASSERT_EQ(ReadConfiguration(paths.configFile, player), ReadOutcome::FromFile);
    EXPECT_EQ(player.geometry, w.Record().geometry);
    EXPECT_EQ(player.lastFolder, dir.path().string());

    // Stop as Load does: the worker releases the stream.
    w.StopPreview();
    EXPECT_EQ(GraphActive.load(), 0);
    EXPECT_FALSE(w.StreamShown());
    EXPECT_TRUE(WaitFor([&] { return LabelText(c, 652) == QStringLiteral("Stream OFF"); }, 3000));
    const int before = w.KeypadClicks();
    w.Keypad()->Key(kKeyLeft)->click();
    EXPECT_EQ(w.KeypadClicks(), before) << "no stream, no step";
    EXPECT_EQ(w.Record().geometry.left, 113);

    // Load the same video again: while the dialog is open the window shows
    // the program's title and no frame size; the reopened stream titles it
    // with the path again.
    EXPECT_EQ(w.windowTitle(), QString::fromStdString(clip.path))
        << "the title outlives the stream";
    QString titleInDialog, sizeInDialog = QStringLiteral("<no dialog>");
    std::string infoInDialog = "<no dialog>";
    QTimer chooser;
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (d == nullptr) return;
        chooser.stop();
        titleInDialog = w.windowTitle();
        sizeInDialog = LabelText(c, 304);
        infoInDialog = w.VideoInfo();
        d->selectFile(QString::fromStdString(clip.path));
        static_cast<QDialog*>(d)->accept();  // QFileDialog::accept checks the choice
    });
    chooser.start(20);
    w.Command(kCmdLoad);
    EXPECT_EQ(titleInDialog, QStringLiteral("Halvora 360 Doughnut Setup Utility"));
    EXPECT_EQ(sizeInDialog, QString());
    EXPECT_EQ(infoInDialog, "");
    ASSERT_TRUE(WaitFor([&] { return LabelText(c, 652) == QStringLiteral("Stream ON"); }, 20000))
        << LabelText(c, 652).toStdString();
    EXPECT_EQ(w.windowTitle(), QString::fromStdString(clip.path));
    EXPECT_EQ(LabelText(c, 304), QStringLiteral("640x480"));
}

TEST(SetupStream, BrokenFileReportsAndReturnsToStreamOff) {
    TempFolder dir;
    test::WriteAll(dir.path() / "broken.avi", std::string(5000, 'x'));
    const SetupPaths paths = SetupPaths::ForFolder(dir.path());
    SetupMainWindow w(paths, LoadStartupConfiguration(paths));
    BoxRecorder boxes;
    w.OpenChosenVideo(QString::fromStdString((dir.path() / "broken.avi").string()));
    ASSERT_TRUE(WaitFor([&] { return !boxes.boxes.empty(); }, 20000));
    EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Error Monitoring"));
    EXPECT_TRUE(boxes.boxes[0].text.startsWith(QStringLiteral("Stream Error 00")))
        << boxes.boxes[0].text.toStdString();
    EXPECT_TRUE(WaitFor([&] { return GraphActive.load() == 0; }, 5000));
    EXPECT_TRUE(WaitFor(
        [&] { return LabelText(w.centralWidget(), 652) == QStringLiteral("Stream OFF"); }, 3000));
    // The fixed text keeps its words; the reason goes into the details.
    ASSERT_FALSE(boxes.details.empty());
    EXPECT_EQ(boxes.details[0].first, boxes.boxes[0].text);
    EXPECT_TRUE(boxes.details[0].second.contains(QStringLiteral("broken.avi")))
        << boxes.details[0].second.toStdString();
    EXPECT_GT(boxes.details[0].second.count(QLatin1Char('\n')), 0)
        << "GStreamer's reason after the file name: " << boxes.details[0].second.toStdString();
}

// A failed open after a shown stream: both pictures go back to their empty
// looks, and Save and the keypad do nothing until a stream is shown again.
TEST(SetupStream, FailedOpenClearsPicturesAndDisablesSaveAndKeypad) {
    TempFolder dir;
    TestVideoOptions clip;
    clip.path = (dir.path() / "ring.avi").string();
    clip.width = 320;
    clip.height = 240;
    clip.frames = 150;
    clip.audio = false;
    ASSERT_EQ(MakeTestVideo(clip), "");
    test::WriteAll(dir.path() / "broken.avi", std::string(5000, 'x'));

    const SetupPaths paths = SetupPaths::ForFolder(dir.path());
    SetupMainWindow w(paths, LoadStartupConfiguration(paths));
    w.show();
    w.Transform()->show();
    QWidget* c = w.centralWidget();
    w.OpenChosenVideo(QString::fromStdString(clip.path));
    ASSERT_TRUE(WaitFor([&] { return LabelText(c, 652) == QStringLiteral("Stream ON"); }, 20000));
    ASSERT_TRUE(WaitFor([&] { return w.Transform()->Preview()->PictureCount() > 2; }, 5000));

    BoxRecorder boxes;
    w.StopPreview();
    w.OpenChosenVideo(QString::fromStdString((dir.path() / "broken.avi").string()));
    ASSERT_TRUE(WaitFor([&] { return !boxes.boxes.empty(); }, 20000));
    ASSERT_TRUE(WaitFor([&] { return GraphActive.load() == 0; }, 5000));
    ASSERT_TRUE(WaitFor([&] { return LabelText(c, 652) == QStringLiteral("Stream OFF"); }, 3000));
    test::WaitFor([] { return false; }, 200);  // the queued clearing

    EXPECT_FALSE(w.StreamShown());
    TransformWindow probe(nullptr, {});
    EXPECT_EQ(w.Transform()->Preview()->Picture(), probe.Preview()->Picture())
        << "the old video's strip is gone";
    const int keys = w.KeypadClicks();
    w.Keypad()->Key(kKeyLeft)->click();
    EXPECT_EQ(w.KeypadClicks(), keys);
    EXPECT_EQ(w.Record().geometry.left, 111);
    const int clicks = w.ButtonClicks();
    w.Command(kCmdSave);
    EXPECT_EQ(w.ButtonClicks(), clicks) << "Save needs a shown stream";
    EXPECT_FALSE(std::filesystem::exists(paths.configFile));

    // A cancelled open likewise.
    w.OpenChosenVideo(QString());
    test::WaitFor([] { return false; }, 100);
    EXPECT_FALSE(w.StreamShown());
    w.Command(kCmdSave);
    EXPECT_FALSE(std::filesystem::exists(paths.configFile));
}

// "Run" on a clip that has played to its end starts it again.
TEST(SetupStream, RunAtTheEndStartsFromTheBeginning) {
    TempFolder dir;
    TestVideoOptions clip;
    clip.path = (dir.path() / "short.avi").string();
    clip.width = 320;
    clip.height = 240;
    clip.frames = 25;  // 1 s: over by the time the preview starts
    clip.audio = false;
    ASSERT_EQ(MakeTestVideo(clip), "");

    const SetupPaths paths = SetupPaths::ForFolder(dir.path());
    SetupMainWindow w(paths, LoadStartupConfiguration(paths));
    w.show();
    w.Transform()->show();
    QWidget* c = w.centralWidget();
    w.OpenChosenVideo(QString::fromStdString(clip.path));
    ASSERT_TRUE(WaitFor([&] { return LabelText(c, 652) == QStringLiteral("Stream ON"); }, 20000));

    // Frozen on the last frame: two pictures a while apart are the same.
    QImage last;
    ASSERT_TRUE(WaitFor(
        [&] {
            const QImage a = w.DoughnutPicture()->Picture();
            test::WaitFor([] { return false; }, 300);
            last = w.DoughnutPicture()->Picture();
            return !a.isNull() && a == last;
        },
        10000));

    w.Command(kCmdRun);
    EXPECT_TRUE(WaitFor([&] { return w.DoughnutPicture()->Picture() != last; }, 5000))
        << "Run at the end plays the clip again";
}

}  // namespace
}  // namespace hv::setup
